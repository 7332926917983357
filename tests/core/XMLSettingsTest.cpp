#include "core/XMLSettings.h"
#include "core/MessageBox.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace
{

const QByteArray BARE_TEMPLATE = R"(<?xml version="1.0"?><XMLConfigSettings/>)";

class XMLSettingsTest : public ::testing::Test
{
protected:
    void TearDown() override { SetScreenPixelsPerInchProvider(nullptr); }

    QString Path(const char* name = "settings.xml") const { return folder.FilePath(QString::fromUtf8(name)); }

    testing_support::TempProgramFolder folder;
    testing_support::ScriptedMessageBoxes messageBoxes;
    QStringList& boxes = messageBoxes.texts;
};

TEST_F(XMLSettingsTest, SectionAndKeyNestElementsAndBlanksBecomeUnderscores)
{
    EXPECT_EQ(CXMLSettings::SplitPath("General", "Window x"), QStringList({ "General", "Window_x" }));
    EXPECT_EQ(CXMLSettings::SplitPath("\\General\\ ", "Volume"), QStringList({ "General", "Volume" }));
    EXPECT_EQ(CXMLSettings::SplitPath("a\\\\b", "c"), QStringList({ "a", "b", "c" }));
    EXPECT_EQ(
        CXMLSettings::SplitPath("Properties\\General", "Title"), QStringList({ "Properties", "General", "Title" }));

    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.SetString("General", "Window x", "1"), 0);
        EXPECT_EQ(settings.SetString("\\General\\ ", "Volume", "2"), 0);
        EXPECT_EQ(settings.GetString("General", "Volume", "", false), "2");
        EXPECT_EQ(settings.SetString("a\\\\b", "c", "3"), 0);
    }
    EXPECT_EQ(ReadBytes(Path()),
        R"(<?xml version="1.0"?><XMLConfigSettings><General><Window_x>1</Window_x>)"
        R"(<Volume>2</Volume></General><a><b><c>3</c></b></a></XMLConfigSettings>)");
}

TEST_F(XMLSettingsTest, MissingFileIsCreatedFromTheTemplateOnlyWhenTheObjectGoes)
{
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("General", "Title", "fallback", false), "fallback");
    }
    EXPECT_EQ(ReadBytes(Path()), BARE_TEMPLATE);

    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("General", "Title", "created", true), "created");
        EXPECT_EQ(ReadBytes(Path()), BARE_TEMPLATE) << "nothing is written before the object goes";
        EXPECT_EQ(settings.GetString("General", "Title", "other", true), "created");
    }
    EXPECT_EQ(ReadBytes(Path()),
        R"(<?xml version="1.0"?><XMLConfigSettings><General><Title>created</Title></General></XMLConfigSettings>)");
}

TEST_F(XMLSettingsTest, HandEditedLayoutAndWhiteSpaceInValuesSurviveALoadAndSave)
{
    const QByteArray original = "<?xml version=\"1.0\"?>\n"
                                "<!-- edited by hand -->\n"
                                "<XMLConfigSettings>\n"
                                "    <General>\n"
                                "        <Bitrate> auto </Bitrate>\n"
                                "        <Blank>   </Blank>\n"
                                "        <Markup>a &amp; b <![CDATA[<c>]]></Markup>\n"
                                "    </General>\n"
                                "</XMLConfigSettings>\n";
    ASSERT_TRUE(WriteBytes(Path(), original));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("General", "Bitrate", "", false), " auto ");
        EXPECT_EQ(settings.GetString("General", "Blank", "x", false), "   ");
        EXPECT_EQ(settings.GetString("General", "Markup", "", false), "a & b <c>");
    }
    EXPECT_EQ(ReadBytes(Path()), original) << "reading alone never writes";

    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.SetString("General", "New", " x < y "), 0);
    }
    QByteArray expected = original;
    expected.replace("    </General>", "    <New> x &lt; y </New></General>");
    EXPECT_EQ(ReadBytes(Path()), expected);
}

TEST_F(XMLSettingsTest, ElementWithChildrenReadsAllTextBelowItAndWritingReplacesThem)
{
    ASSERT_TRUE(WriteBytes(Path(), "<r><Skin>a<x>b<y>c</y></x>d<!-- no -->e</Skin><Empty></Empty></r>"));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("", "Skin", "", false), "abcde");
        EXPECT_EQ(settings.GetString("", "Empty", "default", true), "") << "an empty element is a value";
        EXPECT_EQ(settings.GetInt("", "Empty", 42, true), 0);
        EXPECT_EQ(settings.SetString("Skin", "", "plain"), 0);
        EXPECT_EQ(settings.GetString("Skin", "x", "gone", false), "gone");
    }
    EXPECT_EQ(ReadBytes(Path()), "<r><Skin>plain</Skin><Empty/></r>");
}

TEST_F(XMLSettingsTest, IntegersReadLikeTheCLibrary)
{
    ASSERT_TRUE(WriteBytes(Path(),
        "<r><s><a>12abc</a><b>abc</b><c> \t-7</c><d>+5</d><e>99999999999</e>"
        "<f>-99999999999</f><g>- 3</g></s></r>"));
    CXMLSettings settings(Path());
    EXPECT_EQ(settings.GetInt("s", "a", 1, false), 12);
    EXPECT_EQ(settings.GetInt("s", "b", 1, false), 0);
    EXPECT_EQ(settings.GetInt("s", "c", 1, false), -7);
    EXPECT_EQ(settings.GetInt("s", "d", 1, false), 5);
    EXPECT_EQ(settings.GetInt("s", "e", 1, false), INT32_MAX);
    EXPECT_EQ(settings.GetInt("s", "f", 1, false), INT32_MIN);
    EXPECT_EQ(settings.GetInt("s", "g", 1, false), 0);
    EXPECT_EQ(settings.GetInt("s", "missing", -12, true), -12);
    EXPECT_EQ(settings.GetString("s", "missing", "", false), "-12");
    EXPECT_EQ(settings.SetInt("s", "h", -2147483647 - 1), 0);
    EXPECT_EQ(settings.GetString("s", "h", "", false), "-2147483648");
}

TEST_F(XMLSettingsTest, RectanglesAreWrittenUnscaledAndReadScaledToTheScreen)
{
    {
        CXMLSettings settings(Path());
        const RECT rect = settings.GetRect("Window", 10, 20, 100, 50);
        EXPECT_EQ(rect.left, 10);
        EXPECT_EQ(rect.top, 20);
        EXPECT_EQ(rect.right, 110);
        EXPECT_EQ(rect.bottom, 70);
    }
    SetScreenPixelsPerInchProvider([] { return std::pair<int, int>(120, 120); });
    {
        CXMLSettings settings(Path());
        const RECT rect = settings.GetRect("Window", 1, 1, 1, 1);
        EXPECT_EQ(rect.left, 13);
        EXPECT_EQ(rect.top, 25);
        EXPECT_EQ(rect.right, 138);
        EXPECT_EQ(rect.bottom, 88);
        EXPECT_EQ(settings.GetIntScaled("Window", "height", 0, false), 63); // 62.5 rounds up
    }
    EXPECT_EQ(ReadBytes(Path()),
        R"(<?xml version="1.0"?><XMLConfigSettings><Window><x>10</x><y>20</y>)"
        R"(<width>100</width><height>50</height></Window></XMLConfigSettings>)");

    SetScreenPixelsPerInchProvider([] { return std::pair<int, int>(144, 0); }); // 0: unknown, taken as 96
    CXMLSettings settings(Path());
    const RECT rect = settings.GetRect("Window", 0, 0, 0, 0);
    EXPECT_EQ(rect.left, 15);
    EXPECT_EQ(rect.right, 165);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.bottom, 70);
}

TEST_F(XMLSettingsTest, ColoursReadAsBgrAndArgbAndMissingOnesAreWrittenAsUnset)
{
    ASSERT_TRUE(WriteBytes(Path(), "<r><c><a>255,10,20,30</a><b>-5,1,2,3</b><c>,,128,,1</c><d>7,300</d></c></r>"));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetColor("c", "a", 0x123456), 0x001E140Au);
        EXPECT_EQ(settings.GetColorArgb("c", "a", 0x123456), 0xFF0A141Eu);
        EXPECT_EQ(settings.GetColor("c", "b", 0x123456), 0x123456u);
        EXPECT_EQ(settings.GetColorArgb("c", "b", 0x123456), 0x123456u);
        EXPECT_EQ(settings.GetColorArgb("c", "c", 0), 0x80010000u) << "runs of commas separate like one";
        EXPECT_EQ(settings.GetColor("c", "d", 0), 0x0000002Cu) << "low byte only, missing parts are 0";
        EXPECT_EQ(settings.GetColor("c", "missing", 0xABCDEF), 0xABCDEFu);
    }
    CXMLSettings settings(Path());
    EXPECT_EQ(settings.GetString("c", "missing", "", false), "-1");
}

TEST_F(XMLSettingsTest, TimesRoundTripInLocalTimeAndMalformedOnesThrow)
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    ASSERT_TRUE(WriteBytes(Path(),
        "<r><t><a>2010/06/21/14/05</a><b>2010/13/01/00/00</b><c>1899/12/31/00/00</c>"
        "<d>2010/02/31/00/00</d><e>2010/06/21</e><f>2010//06/21/14</f><g>garbage</g>"
        "<h>2010/06/21/24/00</h></t></r>"));
    CXMLSettings settings(Path());
    std::tm expected {};
    expected.tm_year = 110;
    expected.tm_mon = 5;
    expected.tm_mday = 21;
    expected.tm_hour = 14;
    expected.tm_min = 5;
    expected.tm_isdst = -1;
    EXPECT_EQ(settings.GetTime("t", "a", 0), std::mktime(&expected));
    EXPECT_EQ(settings.GetTime("t", "a", 0), std::time_t(1277121900)); // 12:05 UTC, summer time

    auto resultOf = [&](const char* key) -> uint32_t {
        try {
            settings.GetTime("t", key, 0);
        } catch (const CSettingsTimeException& e) {
            return e.GetResultCode();
        }
        return 0;
    };
    EXPECT_EQ(resultOf("b"), E_FAIL);
    EXPECT_EQ(resultOf("c"), E_FAIL);
    EXPECT_EQ(resultOf("h"), E_FAIL);
    EXPECT_EQ(resultOf("e"), E_INVALIDARG) << "three numbers leave the hour without a minute";
    EXPECT_EQ(resultOf("g"), E_INVALIDARG);

    std::tm march {};
    march.tm_year = 110;
    march.tm_mon = 2;
    march.tm_mday = 3;
    march.tm_isdst = -1;
    EXPECT_EQ(settings.GetTime("t", "d", 0), std::mktime(&march)) << "31 February rolls over";
    expected.tm_min = 0;
    expected.tm_isdst = -1;
    EXPECT_EQ(settings.GetTime("t", "f", 0), std::mktime(&expected)) << "four numbers: the minute is 0";

    EXPECT_EQ(settings.GetTime("t", "missing", 1277121900), 1277121900);
    EXPECT_EQ(settings.GetString("t", "missing", "none", false), "none") << "a missing time is not created";
    EXPECT_TRUE(settings.SetTime("t", "written", 1277121959));
    EXPECT_EQ(settings.GetString("t", "written", "", false), "2010/06/21/14/05");
    unsetenv("TZ");
    tzset();
}

TEST_F(XMLSettingsTest, FolderAndSwitchingFiles)
{
    EXPECT_EQ(CXMLSettings("/data/Kavrilune.xml").GetFolder(), "/data/");
    EXPECT_EQ(CXMLSettings("settings.xml").GetFolder(), "");

    ASSERT_TRUE(WriteBytes(Path("Upper.xml"), "<r/>"));
    ASSERT_TRUE(WriteBytes(Path("upper.xml"), "<r/>"));
    {
        CXMLSettings settings(Path("Upper.xml"));
        EXPECT_EQ(settings.SetString("s", "k", "kept"), 0);
        settings.SetFileName(Path("Upper.xml")); // same path: the document stays
        EXPECT_EQ(settings.GetString("s", "k", "", false), "kept");
        settings.SetFileName(Path("upper.xml")); // another file: the change is dropped
        EXPECT_EQ(settings.GetString("s", "k", "none", false), "none");
        EXPECT_EQ(settings.SetString("s", "other", "v"), 0);
    }
    EXPECT_EQ(ReadBytes(Path("Upper.xml")), "<r/>");
    EXPECT_EQ(ReadBytes(Path("upper.xml")), "<r><s><other>v</other></s></r>");
}

TEST_F(XMLSettingsTest, MalformedFileIsLoggedLeftUntouchedAndGivesDefaults)
{
    const QByteArray malformed = "<r>\n  <a>1</a>\n  <b>2</c>\n</r>\n";
    ASSERT_TRUE(WriteBytes(Path(), malformed));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("", "a", "default", false), "default");
        const QStringList entries = folder.LogEntries();
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(entries[0], "LoadXML Malformed XML Error");
        EXPECT_EQ(entries[1], "Start-end tags mismatch at line 3, column 9");
        EXPECT_EQ(entries[2], Path());

        EXPECT_EQ(settings.SetString("", "a", "x"), -1);
        EXPECT_EQ(settings.GetInt("", "b", 7, true), 7); // the creating read tries to write and fails
        EXPECT_EQ(folder.LogEntries().size(), 3) << "a file that failed to load is neither read nor logged again";
    }
    EXPECT_EQ(ReadBytes(Path()), malformed);
    EXPECT_TRUE(boxes.isEmpty()) << "nothing is shown to the user";
}

TEST_F(XMLSettingsTest, BinaryAndNotOneDocumentFilesCountAsMalformed)
{
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 131 + 7) % 256);
    const std::pair<QByteArray, QString> cases[] = {
        { binary, "" },
        { "<!-- only a comment -->", "No document element found" },
        { "<a/><b/>", "Only one top level element is allowed at line 1, column 6" },
        { "<a/>trailing", "Text is not allowed outside the root element at line 1, column 5" },
        { " <?xml version=\"1.0\"?><a/>",
            "The XML declaration must be at the start of the document at line 1, column 4" },
    };
    for (const auto& [bytes, reason] : cases) {
        ASSERT_TRUE(WriteBytes(Path(), bytes));
        const int before = int(folder.LogEntries().size());
        {
            CXMLSettings settings(Path());
            EXPECT_EQ(settings.GetString("", "a", "default", true), "default");
        }
        EXPECT_EQ(ReadBytes(Path()), bytes);
        const QStringList entries = folder.LogEntries().mid(before, 3);
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(entries[0], "LoadXML Malformed XML Error");
        if (!reason.isEmpty()) {
            EXPECT_EQ(entries[1], reason);
        }
    }
}

TEST_F(XMLSettingsTest, AFileOfWhiteSpaceOnlyCountsAsMissingAndIsRewrittenAtTheFirstSave)
{
    for (const QByteArray& blank : { QByteArray(), QByteArray("  \r\n\t\n"), QByteArray("\xEF\xBB\xBF\n") }) {
        ASSERT_TRUE(WriteBytes(Path(), blank));
        {
            CXMLSettings settings(Path());
            EXPECT_EQ(settings.GetString("", "a", "default", false), "default");
            EXPECT_EQ(settings.SetString("General", "Volume", "7"), 0);
        }
        EXPECT_EQ(ReadBytes(Path()),
            R"(<?xml version="1.0"?><XMLConfigSettings><General><Volume>7</Volume></General></XMLConfigSettings>)");
        EXPECT_TRUE(folder.LogEntries().isEmpty());
        // Nor does it go aside: there is nothing in it to keep.
        ASSERT_TRUE(WriteBytes(Path(), blank));
        EXPECT_EQ(SetAsideMalformedSettingsFile(Path()), QString());
        EXPECT_EQ(ReadBytes(Path()), blank);
    }
}

TEST_F(XMLSettingsTest, AMalformedFileIsSetAsideUnderAFreeNameAndTheNextSaveStartsFromTheTemplate)
{
    const QByteArray malformed = "<r><a>1</a><b>2</c></r>";
    ASSERT_TRUE(WriteBytes(Path(), malformed));
    ASSERT_TRUE(WriteBytes(Path() + ".broken", "an older one"));
    EXPECT_EQ(SetAsideMalformedSettingsFile(Path()), Path() + ".broken-2");
    EXPECT_FALSE(QFileInfo::exists(Path()));
    EXPECT_EQ(ReadBytes(Path() + ".broken-2"), malformed);
    EXPECT_EQ(ReadBytes(Path() + ".broken"), "an older one");
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.SetString("", "a", "x"), 0);
    }
    EXPECT_EQ(ReadBytes(Path()), R"(<?xml version="1.0"?><XMLConfigSettings><a>x</a></XMLConfigSettings>)");

    // A well-formed file, a missing one and a folder stay where they are.
    EXPECT_EQ(SetAsideMalformedSettingsFile(Path()), QString());
    EXPECT_EQ(SetAsideMalformedSettingsFile(Path("missing.xml")), QString());
    EXPECT_FALSE(QFileInfo::exists(Path("missing.xml")));
    ASSERT_TRUE(QDir().mkpath(Path("folder.xml")));
    EXPECT_EQ(SetAsideMalformedSettingsFile(Path("folder.xml")), QString());
    EXPECT_TRUE(QFileInfo(Path("folder.xml")).isDir());
}

TEST_F(XMLSettingsTest, TheFileMutexHoldsALockFileBesideTheFileAgainstOtherProcesses)
{
    // Another process's lock is another open file of the lock file: one made here stands in for it.
    const QByteArray lockPath = QFile::encodeName(Path() + ".lock");
    auto otherTakes = [&] {
        const int fd = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const bool taken = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0)
            close(fd);
        return taken;
    };
    CSettingsFileMutex& mutex = SettingsFileMutex(Path());
    {
        std::lock_guard outer(mutex);
        {
            std::lock_guard inner(mutex); // the threads of one process nest
            EXPECT_FALSE(otherTakes());
        }
        EXPECT_FALSE(otherTakes()) << "the inner holder does not let the file go";
    }
    EXPECT_TRUE(otherTakes());

    // A holder that never lets go is waited for once; later sequences go on without the file's lock at
    // once, and it is logged once.
    const int stuck = open(lockPath.constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(stuck, 0);
    ASSERT_EQ(flock(stuck, LOCK_EX), 0);
    QElapsedTimer clock;
    clock.start();
    {
        std::lock_guard lock(mutex);
    }
    EXPECT_LT(clock.elapsed(), 6000);
    clock.restart();
    for (int sequence = 0; sequence < 3; ++sequence)
        std::lock_guard lock(mutex);
    EXPECT_LT(clock.elapsed(), 1000) << "a stuck holder is not waited for again";
    EXPECT_EQ(folder.LogEntries().size(), 1) << folder.LogEntries().join('\n').toStdString();
    close(stuck);
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(otherTakes()) << "the lock is taken again once it is free";
    }

    // ... and that clears the memory: while the other process holds it, a read-modify-write here waits.
    const int other = open(lockPath.constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    std::atomic<bool> inside = false;
    std::thread writer([&] {
        std::lock_guard lock(mutex);
        inside = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(inside);
    close(other);
    writer.join();
    EXPECT_TRUE(inside);
}

TEST_F(XMLSettingsTest, DeeplyNestedTenMegabyteFileIsReadWrittenAndSaved)
{
    const int depth = 1'400'000; // 7 bytes a level: 10 MB
    QByteArray bytes;
    bytes.reserve(depth * 7 + 8);
    for (int i = 0; i < depth; ++i)
        bytes += "<a>";
    bytes += "deep";
    for (int i = 0; i < depth; ++i)
        bytes += "</a>";
    ASSERT_GE(bytes.size(), 9'800'000);
    ASSERT_TRUE(WriteBytes(Path(), bytes));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("a", "a", "", false), "deep");
        EXPECT_EQ(settings.SetString("a", "a", "flat"), 0);
    }
    EXPECT_EQ(ReadBytes(Path()), "<a><a><a>flat</a></a></a>");
}

TEST_F(XMLSettingsTest, DoctypeAndExternalEntitiesAreNeverResolvedOrFetched)
{
    testing_support::LoopbackHttpServer server;
    server.RouteFixed("/evil.dtd", 200, "application/xml-dtd", "<!ENTITY fetched \"FETCHED\">");
    server.RouteFixed("/secret", 200, "text/plain", "SECRET");
    const QByteArray document = "<?xml version=\"1.0\"?>\n"
                                "<!DOCTYPE r SYSTEM \""
        + server.Url("/evil.dtd").toUtf8()
        + "\" [\n"
          "  <!ENTITY file SYSTEM \"file:///etc/passwd\">\n"
          "  <!ENTITY web SYSTEM \""
        + server.Url("/secret").toUtf8()
        + "\">\n"
          "  <!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
          "]>\n"
          "<r><a>&file;</a><b>&web;</b><c>&fetched;</c><d>&lol2;</d></r>";
    ASSERT_TRUE(WriteBytes(Path(), document));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("", "a", "", false), "&file;");
        EXPECT_EQ(settings.GetString("", "b", "", false), "&web;");
        EXPECT_EQ(settings.GetString("", "c", "", false), "&fetched;");
        EXPECT_EQ(settings.GetString("", "d", "", false), "&lol2;");
        EXPECT_EQ(settings.SetString("", "e", "1"), 0);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(server.ConnectionCount(), 0);
    const QByteArray saved = ReadBytes(Path());
    EXPECT_TRUE(saved.contains("<!DOCTYPE r SYSTEM")) << "the declaration is kept as it was";
    EXPECT_FALSE(saved.contains("root:"));
    EXPECT_TRUE(saved.endsWith("<e>1</e></r>"));
}

TEST_F(XMLSettingsTest, InvalidNamesAndTextFailClearlyAndWriteNothing)
{
    const QByteArray original = "<r><s><k>v</k></s></r>";
    ASSERT_TRUE(WriteBytes(Path(), original));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.SetString("s", "1abc", "x"), -2);
        EXPECT_EQ(settings.SetString("s", "a<b", "x"), -2);
        EXPECT_EQ(settings.SetString("s\\new", "a/b", "x"), -2);
        EXPECT_EQ(settings.SetString("bad&section", "k", "x"), -2);
        EXPECT_EQ(settings.SetString("s", QString(QChar(0xD800)), "x"), -2);
        EXPECT_EQ(settings.GetString("s", "-dash", "default", true), "default");
        EXPECT_EQ(settings.GetInt("s", "1abc", 5, true), 5);
        EXPECT_EQ(settings.SetString("s", "text", QString("bell\x07")), -3);
        EXPECT_EQ(settings.SetString("s", "text", QString(QChar(0xDC00))), -3);
        EXPECT_EQ(settings.GetString("s", "k", "", false), "v");
        EXPECT_EQ(settings.GetString("s", "new", "none", false), "none") << "no partial path was created";
    }
    EXPECT_EQ(ReadBytes(Path()), original);
    EXPECT_TRUE(folder.LogEntries().filter("Not a valid XML element name").size() >= 5);

    EXPECT_TRUE(CXMLSettings::IsValidElementName(QString::fromUtf8("Größe")));
    EXPECT_TRUE(CXMLSettings::IsValidElementName("_a-b.c:d9"));
    EXPECT_FALSE(CXMLSettings::IsValidElementName(""));
    EXPECT_FALSE(CXMLSettings::IsValidElementName(".a"));
}

TEST_F(XMLSettingsTest, DeclaredEncodingIsReadAndTheSavedFileDeclaresNoOther)
{
    ASSERT_TRUE(WriteBytes(Path(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><n>Caf\xE9</n></r>"));
    {
        CXMLSettings settings(Path());
        EXPECT_EQ(settings.GetString("", "n", "", false), QString::fromUtf8("Café"));
        EXPECT_EQ(settings.SetString("", "m", QString::fromUtf8("Ünï")), 0);
    }
    EXPECT_EQ(ReadBytes(Path()), "<?xml version=\"1.0\"?><r><n>Caf\xC3\xA9</n><m>\xC3\x9Cn\xC3\xAF</m></r>");

    // An encoding named under another attribute still decides how the file is read: it goes as well.
    for (const char* declaration : { "<?xml version=\"1.0\" versionencoding=\"ISO-8859-1\"?>",
             "<?xml version=\"1.0 encoding='ISO-8859-1'\" standalone=\"yes\"?>" }) {
        ASSERT_TRUE(WriteBytes(Path(), QByteArray(declaration) + "<r><n>Caf\xE9</n></r>"));
        {
            CXMLSettings settings(Path());
            EXPECT_EQ(settings.SetString("", "m", QString::fromUtf8("Ünï")), 0);
        }
        CXMLSettings again(Path());
        EXPECT_EQ(again.GetString("", "m", "", false), QString::fromUtf8("Ünï")) << declaration;
        EXPECT_FALSE(ReadBytes(Path()).contains("ISO-8859-1")) << declaration;
    }
}

TEST_F(XMLSettingsTest, UnwritableFolderLosesChangesQuietly)
{
    testing_support::ScratchMount mount(folder.FilePath("ro"), 1 << 20);
    if (!mount.IsMounted())
        GTEST_SKIP() << "needs root to mount a scratch file system";
    const QString path = mount.Folder() + "/settings.xml";
    ASSERT_TRUE(WriteBytes(path, "<r><k>old</k></r>"));
    ASSERT_TRUE(mount.MakeReadOnly());
    {
        CXMLSettings settings(path);
        EXPECT_EQ(settings.SetString("", "k", "new"), 0);
        EXPECT_EQ(settings.GetString("", "k", "", false), "new");
    }
    EXPECT_EQ(ReadBytes(path), "<r><k>old</k></r>");
    {
        CXMLSettings settings(mount.Folder() + "/missing/settings.xml");
        EXPECT_EQ(settings.GetString("", "k", "template", true), "template");
    }
    EXPECT_FALSE(QFileInfo::exists(mount.Folder() + "/missing"));
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
