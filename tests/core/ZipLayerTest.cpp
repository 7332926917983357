#include "core/ZipLayer.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestZipWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using testing_support::ReadBytes;
using testing_support::TestZipItem;
using testing_support::TestZipWriter;
using testing_support::WriteBytes;

namespace
{

TestZipItem Item(const QByteArray& name, const QByteArray& data = "content")
{
    TestZipItem item;
    item.name = name;
    item.data = data;
    return item;
}

TestZipItem UnixItem(const QByteArray& name, uint32_t mode, const QByteArray& data = "content")
{
    TestZipItem item = Item(name, data);
    item.hostSystem = 3;
    item.externalAttributes = TestZipWriter::UnixAttributes(mode);
    return item;
}

// Every file and folder below root, relative to it, sorted.
QStringList TreeOf(const QString& root)
{
    QStringList paths;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

class ZipLayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Unpacked files go to outer/base, so anything that escapes the base folder shows up in outer.
        ASSERT_TRUE(QDir().mkpath(Base()));
    }
    void TearDown() override
    {
        if (handle)
            CloseZip(handle);
        // Read-only files and folders must not stop the temporary folder from being removed.
        QDirIterator it(
            dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            chmod(QFile::encodeName(it.next()).constData(), 0755);
    }

    QString Outer() const { return dir.filePath("outer"); }
    QString Base() const { return dir.filePath("outer/base"); }
    QString ArchivePath() const { return dir.filePath("test.zip"); }

    ZipHandle* Build(const QList<TestZipItem>& items)
    {
        TestZipWriter writer(ArchivePath());
        for (const TestZipItem& item : items)
            EXPECT_TRUE(writer.Add(item)) << item.name.constData();
        EXPECT_TRUE(writer.Close());
        return OpenBuilt();
    }
    ZipHandle* OpenBuilt()
    {
        handle = OpenZip(ArchivePath());
        if (handle)
            SetUnzipBaseDir(handle, Base());
        return handle;
    }
    // Unpacks every item to its cleaned name and returns the codes.
    std::vector<ZipResult> UnzipAll()
    {
        std::vector<ZipResult> codes;
        ZipEntry entry;
        for (int i = 0; GetZipItem(handle, i, &entry) == ZIP_OK; ++i)
            codes.push_back(UnzipItem(handle, i, entry.name));
        return codes;
    }

    QTemporaryDir dir;
    ZipHandle* handle = nullptr;
};

TEST_F(ZipLayerTest, CountsItemsAndDescribesEachOne)
{
    ASSERT_TRUE(Build({ Item("a.txt", "alpha"), Item("b/c.txt", QByteArray(1000, 'x')), Item("d.txt") }));
    ZipEntry entry;
    entry.name = "stale";
    ASSERT_EQ(GetZipItem(handle, -1, &entry), ZIP_OK);
    EXPECT_EQ(entry.index, 3);
    EXPECT_TRUE(entry.name.isEmpty());
    EXPECT_EQ(entry.attributes, 0u);
    EXPECT_EQ(entry.modificationTime, 0u);

    ASSERT_EQ(GetZipItem(handle, 1, &entry), ZIP_OK);
    EXPECT_EQ(entry.index, 1);
    EXPECT_EQ(entry.name, "b/c.txt");
    EXPECT_EQ(entry.uncompressedSize, 1000u);
    EXPECT_LT(entry.compressedSize, 1000u);
    // Backwards after forwards, and the same item twice.
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(entry.name, "a.txt");
    EXPECT_EQ(entry.uncompressedSize, 5u);
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(entry.name, "a.txt");
    ASSERT_EQ(GetZipItem(handle, 2, &entry), ZIP_OK);
    EXPECT_EQ(entry.name, "d.txt");
}

TEST_F(ZipLayerTest, BadArgumentsAndHandlesGiveCodesAndAnEmptyEntry)
{
    ASSERT_TRUE(Build({ Item("a.txt"), Item("b.txt"), Item("c.txt") }));
    ZipEntry entry;
    entry.name = "stale";
    entry.uncompressedSize = 7;
    EXPECT_EQ(GetZipItem(handle, 3, &entry), ZIP_ERR_ARGS);
    EXPECT_TRUE(entry.name.isEmpty());
    EXPECT_EQ(entry.uncompressedSize, 0u);
    EXPECT_EQ(GetZipItem(handle, -2, &entry), ZIP_ERR_ARGS);
    EXPECT_EQ(UnzipItem(handle, 3, "x"), ZIP_ERR_ARGS);
    EXPECT_EQ(UnzipItem(handle, -1, "x"), ZIP_ERR_ARGS);

    EXPECT_EQ(GetZipItem(nullptr, 0, &entry), ZIP_ERR_ARGS);
    EXPECT_EQ(UnzipItem(nullptr, 0, "x"), ZIP_ERR_ARGS);
    EXPECT_EQ(CloseZip(nullptr), ZIP_ERR_ARGS);
    SetUnzipBaseDir(nullptr, "/tmp");

    ZipHandle notForUnzipping { 2, nullptr };
    EXPECT_EQ(GetZipItem(&notForUnzipping, 0, &entry), ZIP_ERR_NOT_UNZIP);
    EXPECT_EQ(UnzipItem(&notForUnzipping, 0, "x"), ZIP_ERR_NOT_UNZIP);
    EXPECT_EQ(CloseZip(&notForUnzipping), ZIP_ERR_NOT_UNZIP);

    EXPECT_EQ(CloseZip(handle), ZIP_OK);
    handle = nullptr;
    EXPECT_EQ(OpenZip(dir.filePath("missing.zip")), nullptr);
    ASSERT_TRUE(WriteBytes(dir.filePath("text.zip"), "this is not a zip archive at all"));
    EXPECT_EQ(OpenZip(dir.filePath("text.zip")), nullptr);
}

TEST_F(ZipLayerTest, CleansDrivesLeadingSeparatorsAndInnerParentSteps)
{
    ASSERT_TRUE(Build({ Item("C:\\x\\a.txt"), Item("\\a.txt"), Item("dir\\..\\a.txt"), Item("/abs/b.txt"),
        Item("D:/\\//c.txt"), Item("x/y/../../z.txt"),
        Item("stra\xC3\x9f"
             "e.txt") }));
    const QStringList expected = { "x\\a.txt", "a.txt", "a.txt", "abs/b.txt", "c.txt", "../z.txt",
        QString::fromUtf8("stra\xC3\x9f"
                          "e.txt") };
    ZipEntry entry;
    for (int i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(GetZipItem(handle, i, &entry), ZIP_OK);
        EXPECT_EQ(entry.name, expected[i]);
    }
    // A leading ".." is not an inner step; it survives cleaning and is refused when unpacking.
    EXPECT_EQ(CleanZipItemName("../x"), "../x");
    EXPECT_EQ(CleanZipItemName("a/../../b"), "../b");
    EXPECT_EQ(CleanZipItemName("a:b:c"), "c");

    TestZipItem longName = Item(QByteArray(300, 'n'));
    ASSERT_TRUE(CloseZip(handle) == ZIP_OK);
    ASSERT_TRUE(Build({ longName }));
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(entry.name.size(), kZipMaxName);
}

TEST_F(ZipLayerTest, UnixAndDosAttributesBecomeAttributesAndFilePermissions)
{
    TestZipItem dosReadOnly = Item("dos-ro.txt");
    dosReadOnly.externalAttributes = ZIP_ATTR_READONLY | ZIP_ATTR_ARCHIVE;
    TestZipItem dosHidden = Item("dos-hidden.txt");
    dosHidden.hostSystem = 11;
    dosHidden.externalAttributes = ZIP_ATTR_HIDDEN | ZIP_ATTR_SYSTEM | 0x00800000; // high word is not a mode here
    TestZipItem dosFolder = Item("dosdir/", "");
    dosFolder.externalAttributes = ZIP_ATTR_DIRECTORY;
    ASSERT_TRUE(Build({ UnixItem("rw.txt", 0100644), UnixItem("ro.txt", 0100444), UnixItem("unixdir/", 040755, ""),
        dosReadOnly, dosHidden, dosFolder }));

    const uint32_t expected[]
        = { ZIP_ATTR_ARCHIVE, ZIP_ATTR_ARCHIVE | ZIP_ATTR_READONLY, ZIP_ATTR_ARCHIVE | ZIP_ATTR_DIRECTORY,
              ZIP_ATTR_READONLY | ZIP_ATTR_ARCHIVE, ZIP_ATTR_HIDDEN | ZIP_ATTR_SYSTEM, ZIP_ATTR_DIRECTORY };
    ZipEntry entry;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(GetZipItem(handle, i, &entry), ZIP_OK);
        EXPECT_EQ(entry.attributes, expected[i]) << entry.name.toStdString();
    }
    EXPECT_EQ(UnzipAll(), std::vector<ZipResult>(6, ZIP_OK));

    auto writable = [&](const char* name) { return QFileInfo(Base() + "/" + name).permissions() & QFile::WriteOwner; };
    EXPECT_TRUE(writable("rw.txt"));
    EXPECT_FALSE(writable("ro.txt"));
    EXPECT_FALSE(writable("dos-ro.txt"));
    EXPECT_TRUE(writable("dos-hidden.txt"));
    EXPECT_TRUE(QFileInfo(Base() + "/unixdir").isDir());
    EXPECT_TRUE(QFileInfo(Base() + "/dosdir").isDir());

    // Unpacking again replaces the read-only file.
    EXPECT_EQ(UnzipItem(handle, 1, "ro.txt"), ZIP_OK);
    EXPECT_EQ(ReadBytes(Base() + "/ro.txt"), "content");
}

TEST_F(ZipLayerTest, TimesComeFromTheExtendedTimestampOrTheLocalDosTime)
{
    TestZipItem stamped = Item("stamped.txt");
    stamped.extendedModified = 1600000000;
    stamped.extendedAccessed = 1600000500;
    TestZipItem otherBlockFirst = Item("other.txt");
    otherBlockFirst.extraLocal = QByteArray("\x34\x12\x03\x00xyz", 7); // an unknown block before the timestamp
    otherBlockFirst.extendedModified = 1500000000;
    TestZipItem plain = Item("plain.txt");
    plain.modified = QDateTime(QDate(2019, 1, 20), QTime(8, 15, 42), Qt::LocalTime);
    TestZipItem truncatedStamp = Item("truncated.txt");
    truncatedStamp.extraLocal = QByteArray("\x55\x54\x01\x00\x01", 5); // flags say a time follows, none does
    ASSERT_TRUE(Build({ stamped, otherBlockFirst, plain, truncatedStamp }));

    const ZipFileTime plainTime = FileTimeFromUnixTime(plain.modified.toSecsSinceEpoch());
    ZipEntry entry;
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(entry.modificationTime, FileTimeFromUnixTime(1600000000));
    EXPECT_EQ(entry.accessTime, FileTimeFromUnixTime(1600000500));
    EXPECT_EQ(entry.creationTime, FileTimeFromUnixTime(stamped.modified.toSecsSinceEpoch()));
    ASSERT_EQ(GetZipItem(handle, 1, &entry), ZIP_OK);
    EXPECT_EQ(entry.modificationTime, FileTimeFromUnixTime(1500000000));
    ASSERT_EQ(GetZipItem(handle, 2, &entry), ZIP_OK);
    EXPECT_EQ(entry.modificationTime, plainTime);
    EXPECT_EQ(entry.accessTime, plainTime);
    ASSERT_EQ(GetZipItem(handle, 3, &entry), ZIP_OK);
    EXPECT_EQ(entry.modificationTime, FileTimeFromUnixTime(truncatedStamp.modified.toSecsSinceEpoch()));

    EXPECT_EQ(UnzipAll(), std::vector<ZipResult>(4, ZIP_OK));
    EXPECT_EQ(QFileInfo(Base() + "/stamped.txt").lastModified().toSecsSinceEpoch(), 1600000000);
    EXPECT_EQ(QFileInfo(Base() + "/stamped.txt").lastRead().toSecsSinceEpoch(), 1600000500);
    EXPECT_EQ(QFileInfo(Base() + "/plain.txt").lastModified(), plain.modified);
}

TEST_F(ZipLayerTest, DosDateConversionRejectsImpossibleDates)
{
    const uint16_t date = uint16_t(((2020 - 1980) << 9) | (2 << 5) | 29), time = uint16_t((23 << 11) | (59 << 5) | 29);
    const QDateTime local(QDate(2020, 2, 29), QTime(23, 59, 58), Qt::LocalTime);
    EXPECT_EQ(DosDateTimeToFileTime(date, time), FileTimeFromUnixTime(local.toSecsSinceEpoch()));
    EXPECT_EQ(DosDateTimeToFileTime(uint16_t(((2021 - 1980) << 9) | (2 << 5) | 29), 0), 0u); // no 29 February
    EXPECT_EQ(DosDateTimeToFileTime(uint16_t((13 << 5) | 1), 0), 0u); // month 13
    EXPECT_EQ(DosDateTimeToFileTime(uint16_t((1 << 5) | 1), uint16_t(24 << 11)), 0u); // hour 24
    EXPECT_EQ(DosDateTimeToFileTime(0, 0), 0u); // day 0
    EXPECT_EQ(FileTimeFromUnixTime(0), 116444736000000000u);
    EXPECT_EQ(UnixTimeFromFileTime(FileTimeFromUnixTime(-5)), -5);
}

TEST_F(ZipLayerTest, UnpacksUnderTheBaseFolderCreatingFoldersOrToAnAbsoluteDestination)
{
    ASSERT_TRUE(Build({ Item("f.txt", "hello"), Item("folder/", "") }));
    // The base folder defaults to the current folder at opening time.
    {
        const QString previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(Outer()));
        ZipHandle* other = OpenZip(ArchivePath());
        QDir::setCurrent(previous);
        ASSERT_TRUE(other);
        EXPECT_EQ(UnzipItem(other, 0, "here.txt"), ZIP_OK);
        EXPECT_EQ(ReadBytes(Outer() + "/here.txt"), "hello");
        EXPECT_EQ(CloseZip(other), ZIP_OK);
    }
    EXPECT_EQ(UnzipItem(handle, 0, "sub\\deep/f.txt"), ZIP_OK);
    EXPECT_EQ(ReadBytes(Base() + "/sub/deep/f.txt"), "hello");
    const QString absolute = dir.filePath("elsewhere/x/f.txt");
    EXPECT_EQ(UnzipItem(handle, 0, absolute), ZIP_OK);
    EXPECT_EQ(ReadBytes(absolute), "hello");
    EXPECT_EQ(UnzipItem(handle, 1, "made/by/folder/item"), ZIP_OK);
    EXPECT_TRUE(QFileInfo(Base() + "/made/by/folder/item").isDir());

    // A file where a folder must go, or a folder where the file must go, fails to create the output.
    ASSERT_TRUE(WriteBytes(Base() + "/blocker", "x"));
    EXPECT_EQ(UnzipItem(handle, 0, "blocker/f.txt"), ZIP_ERR_FILE);
    EXPECT_EQ(UnzipItem(handle, 0, "sub"), ZIP_ERR_FILE);

    // A missing base folder is created; a trailing separator is not doubled.
    SetUnzipBaseDir(handle, dir.filePath("new/base/"));
    EXPECT_EQ(UnzipItem(handle, 0, "f.txt"), ZIP_OK);
    EXPECT_EQ(ReadBytes(dir.filePath("new/base/f.txt")), "hello");
}

TEST_F(ZipLayerTest, AFileItemIsWrittenToAFileOrTheCallFails)
{
    ASSERT_TRUE(Build({ Item("f.txt", "hello"), Item("folder/", "") }));
    const QString absoluteFolder = dir.filePath("elsewhere") + "/";
    for (const QString& destination : { QString("out/"), QString("out\\"), QString("/"), QString(), absoluteFolder })
        EXPECT_EQ(UnzipItem(handle, 0, destination), ZIP_ERR_FILE) << destination.toStdString();
    EXPECT_EQ(TreeOf(Outer()), QStringList { "base" });
    EXPECT_FALSE(QFileInfo::exists(absoluteFolder));
    // A folder item still takes a destination that ends in a separator.
    EXPECT_EQ(UnzipItem(handle, 1, "out/"), ZIP_OK);
    EXPECT_TRUE(QFileInfo(Base() + "/out").isDir());
}

TEST_F(ZipLayerTest, HostileNamesAndLinksNeverWriteOutsideTheBaseFolder)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath("target")));
    ASSERT_TRUE(QFile::link(dir.filePath("target"), Base() + "/planted"));
    ASSERT_TRUE(Build({ Item("../../x"), Item("..\\escape.txt"), Item("a/../../b.txt"), Item("/etc/x"),
        Item("C:\\..\\..\\evil.txt"), Item(".."), Item("./../dot.txt"), UnixItem("link", 0120777, "/etc"),
        UnixItem("link/passwd", 0100644, "owned"), Item("planted/through.txt"), UnixItem("dirlink", 0120777, ".."),
        UnixItem("dirlink/up.txt", 0100644), Item("ok.txt"), Item("../up.txt") }));
    const std::vector<ZipResult> codes = UnzipAll();
    // "../../x", "./../dot.txt" and "C:\..\..\evil.txt" lose their ".." steps in cleaning and stay inside.
    const std::vector<ZipResult> expected = { ZIP_OK, ZIP_ERR_FILE, ZIP_ERR_FILE, ZIP_OK, ZIP_OK, ZIP_ERR_FILE, ZIP_OK,
        ZIP_ERR_FILE, ZIP_OK, ZIP_ERR_FILE, ZIP_ERR_FILE, ZIP_OK, ZIP_OK, ZIP_ERR_FILE };
    EXPECT_EQ(codes, expected);

    // Only base changed, with plain files and folders; the planted link was not followed.
    EXPECT_EQ(TreeOf(Outer()),
        QStringList({ "base", "base/dirlink", "base/dirlink/up.txt", "base/dot.txt", "base/etc", "base/etc/x",
            "base/evil.txt", "base/link", "base/link/passwd", "base/ok.txt", "base/planted", "base/x" }));
    EXPECT_TRUE(TreeOf(dir.filePath("target")).isEmpty());
    EXPECT_TRUE(QFileInfo(Base() + "/link").isDir());
    EXPECT_EQ(ReadBytes(Base() + "/link/passwd"), "owned");

    // Explicit hostile destinations are refused the same way.
    EXPECT_EQ(UnzipItem(handle, 12, "../../escape.txt"), ZIP_ERR_FILE);
    EXPECT_EQ(UnzipItem(handle, 12, "sub/../../escape.txt"), ZIP_ERR_FILE);
    EXPECT_EQ(UnzipItem(handle, 12, "planted/x.txt"), ZIP_ERR_FILE);
    EXPECT_FALSE(QFileInfo::exists(Outer() + "/escape.txt"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("escape.txt")));

    // An existing link at the output's place is replaced by the file, not written through.
    ASSERT_TRUE(WriteBytes(dir.filePath("victim.txt"), "keep"));
    ASSERT_TRUE(QFile::link(dir.filePath("victim.txt"), Base() + "/ok.txt.link"));
    EXPECT_EQ(UnzipItem(handle, 12, "ok.txt.link"), ZIP_OK);
    EXPECT_EQ(ReadBytes(dir.filePath("victim.txt")), "keep");
    EXPECT_FALSE(QFileInfo(Base() + "/ok.txt.link").isSymLink());
}

TEST_F(ZipLayerTest, TenThousandItemsAreListedAndUnpacked)
{
    {
        TestZipWriter writer(ArchivePath());
        for (int i = 0; i < 10000; ++i) {
            TestZipItem item = Item(
                QByteArray("d") + QByteArray::number(i % 10) + "/f" + QByteArray::number(i), QByteArray::number(i));
            item.compress = false; // keeps building the archive quick
            ASSERT_TRUE(writer.Add(item));
        }
        ASSERT_TRUE(writer.Close());
    }
    ASSERT_TRUE(OpenBuilt());
    ZipEntry entry;
    ASSERT_EQ(GetZipItem(handle, -1, &entry), ZIP_OK);
    EXPECT_EQ(entry.index, 10000);
    const std::vector<ZipResult> codes = UnzipAll();
    EXPECT_EQ(codes, std::vector<ZipResult>(10000, ZIP_OK));
    EXPECT_EQ(ReadBytes(Base() + "/d7/f9997"), "9997");
    ASSERT_EQ(GetZipItem(handle, 5, &entry), ZIP_OK);
    EXPECT_EQ(entry.name, "d5/f5");
}

TEST_F(ZipLayerTest, ZipBombsAreRefusedByTheSizeLimits)
{
    {
        TestZipWriter writer(ArchivePath());
        ASSERT_TRUE(writer.AddZeros("bomb.bin", 1ull << 30));
        // Headers that claim a small item while the data inflates to 1 GB.
        ASSERT_TRUE(writer.AddLyingZeros("liar.bin", 1ull << 30, 1000, 0));
        ASSERT_TRUE(writer.Add(Item("small.txt", QByteArray(600 * 1024, 's'))));
        ASSERT_TRUE(writer.Add(Item("small2.txt", QByteArray(600 * 1024, 't'))));
        ASSERT_TRUE(writer.Close());
    }
    EXPECT_LT(QFileInfo(ArchivePath()).size(), 16 << 20); // 2 GB of zeros in a few megabytes
    ASSERT_TRUE(OpenBuilt());
    ZipEntry entry;
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(entry.uncompressedSize, 1u << 30);

    EXPECT_EQ(UnzipItem(handle, 0, "bomb.bin"), ZIP_ERR_DATA);
    EXPECT_FALSE(QFileInfo::exists(Base() + "/bomb.bin"));
    // The lying item stops at its claimed size, where the checksum gives it away.
    EXPECT_EQ(UnzipItem(handle, 1, "liar.bin"), ZIP_ERR_DATA);
    EXPECT_LE(QFileInfo(Base() + "/liar.bin").size(), 1000);

    // The total through one handle is bounded as well.
    SetUnzipLimits(handle, kUnzipItemLimit, 1 << 20);
    EXPECT_EQ(UnzipItem(handle, 2, "small.txt"), ZIP_OK);
    EXPECT_EQ(UnzipItem(handle, 3, "small2.txt"), ZIP_ERR_DATA);
    EXPECT_FALSE(QFileInfo::exists(Base() + "/small2.txt"));
}

TEST_F(ZipLayerTest, EncryptedItemsNeedThePassword)
{
    TestZipItem secret = Item("secret.txt", "classified");
    secret.password = "opensesame";
    TestZipItem stored = Item("stored.txt", "stored secret");
    stored.password = "opensesame";
    stored.compress = false;
    ASSERT_TRUE(Build({ secret, stored }));
    EXPECT_EQ(UnzipItem(handle, 0, "secret.txt"), ZIP_ERR_PASSWORD);
    EXPECT_FALSE(QFileInfo::exists(Base() + "/secret.txt"));
    ASSERT_EQ(CloseZip(handle), ZIP_OK);

    handle = OpenZip(ArchivePath(), "wrong");
    ASSERT_TRUE(handle);
    SetUnzipBaseDir(handle, Base());
    EXPECT_EQ(UnzipItem(handle, 0, "secret.txt"), ZIP_ERR_PASSWORD);
    EXPECT_FALSE(QFileInfo::exists(Base() + "/secret.txt"));
    ASSERT_EQ(CloseZip(handle), ZIP_OK);

    handle = OpenZip(ArchivePath(), "opensesame");
    ASSERT_TRUE(handle);
    SetUnzipBaseDir(handle, Base());
    EXPECT_EQ(UnzipItem(handle, 0, "secret.txt"), ZIP_OK);
    EXPECT_EQ(ReadBytes(Base() + "/secret.txt"), "classified");
    EXPECT_EQ(UnzipItem(handle, 1, "stored.txt"), ZIP_OK);
    EXPECT_EQ(ReadBytes(Base() + "/stored.txt"), "stored secret");
}

TEST_F(ZipLayerTest, TruncatedAndCorruptedArchivesGiveCodesWithoutCrashing)
{
    ASSERT_TRUE(Build({ Item("one.txt", QByteArray(3000, 'a')), UnixItem("two/three.txt", 0100644, "three") }));
    CloseZip(handle);
    handle = nullptr;
    const QByteArray good = ReadBytes(ArchivePath());
    ASSERT_FALSE(good.isEmpty());
    const QString damaged = dir.filePath("damaged.zip");

    auto exercise = [&](const QByteArray& bytes) {
        EXPECT_TRUE(WriteBytes(damaged, bytes));
        ZipHandle* h = OpenZip(damaged);
        if (!h)
            return;
        SetUnzipBaseDir(h, Base());
        ZipEntry entry;
        GetZipItem(h, -1, &entry);
        for (int i = 0; i < entry.index && i < 4; ++i) {
            ZipEntry item;
            if (GetZipItem(h, i, &item) == ZIP_OK)
                UnzipItem(h, i, "out" + QString::number(i));
        }
        EXPECT_EQ(CloseZip(h), ZIP_OK);
    };
    for (qsizetype length = 0; length < good.size(); length += 7)
        exercise(good.left(length));
    for (qsizetype at = 0; at < good.size(); ++at) {
        QByteArray bytes = good;
        bytes[at] = char(bytes[at] ^ 0x5A);
        exercise(bytes);
    }
    EXPECT_TRUE(TreeOf(Outer()).filter(QRegularExpression("^(?!base)")).isEmpty());

    // Damaged compressed data and a damaged local header are reported as such.
    QByteArray bytes = good;
    bytes[30 + 7 + 1] = char(bytes[30 + 7 + 1] ^ 0xFF); // inside the first item's deflate stream
    ASSERT_TRUE(WriteBytes(damaged, bytes));
    handle = OpenZip(damaged);
    ASSERT_TRUE(handle);
    SetUnzipBaseDir(handle, Base());
    EXPECT_EQ(UnzipItem(handle, 0, "one.txt"), ZIP_ERR_DATA);
    CloseZip(handle);

    bytes = good;
    bytes[0] = 'X'; // the first local header's signature
    ASSERT_TRUE(WriteBytes(damaged, bytes));
    handle = OpenZip(damaged);
    ASSERT_TRUE(handle);
    ZipEntry entry;
    EXPECT_EQ(GetZipItem(handle, 0, &entry), ZIP_ERR_LOCAL_HEADER);
    EXPECT_TRUE(entry.name.isEmpty());
    EXPECT_EQ(GetZipItem(handle, 1, &entry), ZIP_OK);
    EXPECT_EQ(entry.name, "two/three.txt");
}

} // namespace
