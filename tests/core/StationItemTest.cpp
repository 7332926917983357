#include "core/StationItem.h"
#include "core/StdioFileUTF8.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::ReadBytes;
using testing_support::SourceDir;
using testing_support::WriteBytes;

namespace
{

CStationItem Parse(const QString& line)
{
    CStationItem item;
    item.ParseLine(line);
    return item;
}

TEST(StationItemTest, NewAndResetRecordsHoldElevenEmptySlots)
{
    CStationItem item;
    EXPECT_EQ(item.GetSize(), 11);
    item.SetTitle("x");
    item.AddSource("http://a");
    item.SetCurrentSource(3);
    item.Reset();
    EXPECT_EQ(item.GetSize(), 11);
    EXPECT_EQ(item.GetCurrentSource(), 0);
    EXPECT_TRUE(item.GetTitle().isEmpty());
    EXPECT_TRUE(item.GetSource(0).isEmpty()); // no such slot
}

TEST(StationItemTest, AddSourceFillsFreeSlotsKeepsUniqueAndStopsAtNineteen)
{
    CStationItem item;
    EXPECT_EQ(item.AddSource("http://a"), 11);
    EXPECT_EQ(item.AddSource("http://a"), 11); // exact duplicate: nothing stored
    EXPECT_EQ(item.AddSource("HTTP://A"), 12); // letter case counts
    EXPECT_EQ(item.AddSource(""), 13); // empty values are stored too...
    EXPECT_EQ(item.AddSource("x"), 13); // ...and a slot under 2 characters counts as free
    EXPECT_EQ(item.AddSource("http://b"), 13);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(item.AddSource(QString("http://s%1").arg(i)), 14 + i);
    EXPECT_EQ(item.AddSource("http://one-too-many"), 30);
    EXPECT_EQ(item.GetSize(), 30);
    QStringList sources;
    item.GetSources(sources);
    EXPECT_EQ(sources.size(), 19);
    EXPECT_EQ(sources.first(), "http://a");
}

TEST(StationItemTest, CopyTakesEverySlotButNotTheCurrentSource)
{
    CStationItem item = Parse("A\tw\tg\tc\tl\tS1\tS2\t");
    item.GetSearchKey();
    item.SetCurrentSource(1);
    CStationItem copy(item);
    EXPECT_EQ(copy.GetCurrentSource(), 0);
    EXPECT_EQ(copy.GetAt(10), item.GetAt(10));
    EXPECT_EQ(copy.GetSource(1), "S2");
    copy.SetCurrentSource(1);
    EXPECT_EQ(copy.GetCurrentSourceUrl(), "S2");
}

TEST(StationItemTest, ParseLineFollowsTheFieldRules)
{
    // A double TAB is one separator, so an empty field cannot be written as two TABs.
    CStationItem a = Parse("Title\t\tgenre");
    EXPECT_EQ(a.GetTitle(), "Title");
    EXPECT_EQ(a.GetWebPage(), "genre");
    EXPECT_TRUE(a.GetGenre().isEmpty());
    EXPECT_EQ(a.GetSize(), 11);

    CStationItem b = Parse("A\t \tPop\tDE\tde\tS1\t");
    EXPECT_EQ(b.GetTitle(), "A");
    EXPECT_EQ(b.GetWebPage(), " "); // the web page is kept as read
    EXPECT_EQ(b.GetGenre(), "Pop");
    EXPECT_EQ(b.GetCountry(), "DE");
    EXPECT_EQ(b.GetLanguage(), "de");
    EXPECT_EQ(b.GetSize(), 13);
    EXPECT_EQ(b.GetSource(0), "S1");
    EXPECT_TRUE(b.GetSource(1).isEmpty());

    CStationItem c = Parse("Only a title");
    EXPECT_EQ(c.GetTitle(), "Only a title");
    EXPECT_EQ(c.GetSize(), 11);

    CStationItem d
        = Parse("\t\t  Trimmed \u3000\t w \t\vGenre\f\tCountry\r\t lang \t  http://x  \thttp://x\tHTTP://X\t");
    EXPECT_EQ(d.GetTitle(), "Trimmed");
    EXPECT_EQ(d.GetWebPage(), " w ");
    EXPECT_EQ(d.GetGenre(), "Genre");
    EXPECT_EQ(d.GetCountry(), "Country");
    EXPECT_EQ(d.GetLanguage(), "lang");
    EXPECT_EQ(d.GetSource(0), "http://x");
    EXPECT_EQ(d.GetSource(1), "HTTP://X");
    EXPECT_TRUE(d.GetSource(2).isEmpty());
    EXPECT_EQ(d.GetSize(), 14);

    // A no-break space is not white space to the C library, so it stays.
    EXPECT_EQ(Parse(QString::fromUtf8("\xC2\xA0x ")).GetTitle(), QString::fromUtf8("\xC2\xA0x"));
}

TEST(StationItemTest, ParseLineKeepsTheFirstNineteenOfTwentyFiveSources)
{
    QString line = "T\tw\tg\tc\tl\t";
    for (int i = 0; i < 25; ++i)
        line += QString("http://s%1\t").arg(i);
    CStationItem item = Parse(line);
    EXPECT_EQ(item.GetSize(), 30);
    EXPECT_EQ(item.GetSource(18), "http://s18");
    EXPECT_TRUE(item.GetSource(19).isEmpty());
}

TEST(StationItemTest, ParseLineSurvivesHostileLines)
{
    EXPECT_EQ(Parse(QString(5000, QLatin1Char('\t'))).GetSize(), 11);
    EXPECT_EQ(Parse(QString()).GetSize(), 11);
    const QString huge(100 * 1024, QLatin1Char('x'));
    CStationItem item = Parse(huge + "\tw\tg\tc\tl\t" + huge + "\t");
    EXPECT_EQ(item.GetTitle().size(), huge.size());
    EXPECT_EQ(item.GetSource(0).size(), huge.size());
}

TEST(StationItemTest, FormatLineWritesBlanksForEmptyFieldsAndNeverTheLanguage)
{
    CStationItem user = Parse("Radio\thttp://web\tJazz\tFrance\tfr\thttp://a\thttp://b\t");
    user.MarkAsUser();
    EXPECT_EQ(user.FormatLine(), "Radio\thttp://web\tJazz\tFrance\t \thttp://a\thttp://b\t");

    CStationItem empty;
    EXPECT_EQ(empty.FormatLine(), " \t \t \t \t \t");
    empty.SetAtGrow(11, "x"); // one character is written, an empty source is not
    empty.SetAtGrow(12, "");
    EXPECT_EQ(empty.FormatLine(), " \t \t \t \t \tx\t");
}

TEST(StationItemTest, SearchKeyJoinsFieldsUpperCasedAndIsCached)
{
    CStationItem item;
    item.SetTitle("Rock FM");
    item.SetGenre("Rock");
    item.SetCountry("Germany");
    item.SetLanguage("German");
    EXPECT_EQ(item.GetSearchKey(), "ROCK FMROCKGERMANYGERMAN");
    item.SetTitle("changed");
    EXPECT_EQ(item.GetSearchKey(), "ROCK FMROCKGERMANYGERMAN"); // setters keep the cache
    item.ParseLine("Straße\t \tÉté\tö\t \tu\t");
    EXPECT_EQ(item.GetSearchKey(), QString::fromUtf8("STRAßEÉTÉÖ ")); // one-to-one upper-casing
}

TEST(StationItemTest, UserMarker)
{
    CStationItem item;
    EXPECT_FALSE(item.IsUserStation());
    item.SetFlags("x<u>y");
    EXPECT_TRUE(item.IsUserStation());
    item.Reset();
    item.MarkAsUser();
    EXPECT_EQ(item.GetFlags(), "<u>");
}

class StationsFileTest : public ::testing::Test
{
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(StationsFileTest, ShippedCatalogueReadsCompletely)
{
    const QString path = SourceDir() + "/res/Stations/stations.kvd";
    const QByteArray bytes = ReadBytes(path);
    ASSERT_FALSE(bytes.isEmpty());
    const qsizetype stationLines = bytes.count("\r\n") - 1;

    const std::vector<CStationItem> stations = ReadStationsFile(path, false);
    EXPECT_EQ(qsizetype(stations.size()), stationLines);
    for (const CStationItem& station : stations) {
        ASSERT_FALSE(station.GetTitle().isEmpty());
        ASSERT_FALSE(station.GetCountry().isEmpty()) << station.GetTitle().toStdString();
        ASSERT_TRUE(station.GetSource(0).startsWith("http")) << station.GetTitle().toStdString();
        ASSERT_FALSE(station.IsUserStation());
    }
}

TEST_F(StationsFileTest, UserStationsWriteBackByteForByte)
{
    const QString in = Path("mystations.kvd");
    ASSERT_TRUE(WriteBytes(in,
        "header is not looked at\n"
        "Radio Eins\thttp://radioeins.example\tPop\tGermany\tGerman\thttp://a.example/live\thttp://b.example/live\t\r\n"
        "\xC3\x84rger FM\t \t \tAustria\t \thttp://c.example/\xC3\xA4\t\n"
        "No Sources\t \tTalk\tFrance\r\n"));
    std::vector<CStationItem> stations = ReadStationsFile(in, true);
    ASSERT_EQ(stations.size(), 3u);
    CStationItem database = Parse("Not mine\t \t \tItaly\t \thttp://d.example\t");
    stations.insert(stations.begin() + 1, database);

    const QString out = Path("written.kvd");
    WriteUserStationsFile(out, stations);
    EXPECT_EQ(ReadBytes(out),
        QByteArray(
            "N \t title \t web \t Country \t genre \t Language \t Source \t\r\n"
            "Radio Eins\thttp://radioeins.example\tPop\tGermany\t \thttp://a.example/live\thttp://b.example/live\t\r\n"
            "\xC3\x84rger FM\t \t \tAustria\t \thttp://c.example/\xC3\xA4\t\r\n"
            "No Sources\t \tTalk\tFrance\t \t\r\n"));
}

TEST_F(StationsFileTest, BadFilesReadWithoutACrash)
{
    const QString path = Path("stations-bad.kvd");
    // No header: the first station is taken for the header.
    ASSERT_TRUE(WriteBytes(path, "First\t \t \tX\t \thttp://1\t\r\nSecond\t \t \tY\t \thttp://2"));
    auto stations = ReadStationsFile(path, false);
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0].GetTitle(), "Second"); // last line without a line end still counts

    ASSERT_TRUE(WriteBytes(path,
        "h\r\n\xFF\xFE\tw\t\xC3\tc\t \thttp://\xF0\x28\t\r\n" + QByteArray(100 * 1024, 'z') + "\r\n"
            + QByteArray(300, '\t') + "\r\nafter tabs\r\n\r\nnever read\r\n"));
    stations = ReadStationsFile(path, false);
    ASSERT_EQ(stations.size(), 4u); // the empty line ends the reading
    EXPECT_TRUE(stations[0].GetTitle().contains(QChar(QChar::ReplacementCharacter)));
    EXPECT_EQ(stations[1].GetTitle().size(), 100 * 1024);
    EXPECT_TRUE(stations[2].GetTitle().isEmpty());
    EXPECT_EQ(stations[3].GetTitle(), "after tabs");

    EXPECT_THROW(ReadStationsFile(Path("missing.kvd"), false), CFileException);
}

TEST_F(StationsFileTest, DatabaseFileIsTheFirstMatchInTheStationsFolder)
{
    const QString app = dir.path() + "/";
    EXPECT_TRUE(FindStationsDatabaseFile(app).isEmpty());
    ASSERT_TRUE(QDir(dir.path()).mkpath("Stations"));
    ASSERT_TRUE(WriteBytes(app + "Stations/other.kvd", "x"));
    ASSERT_TRUE(WriteBytes(app + "Stations/stations2.kvd", "x"));
    ASSERT_TRUE(WriteBytes(app + "Stations/stations1.kvd", "x"));
    EXPECT_EQ(FindStationsDatabaseFile(app), app + "Stations/stations1.kvd");
}

TEST_F(StationsFileTest, AWriteThatFailsPartWayKeepsTheOldUserStations)
{
    testing_support::ScratchMount disk(Path("disk"), 64 << 10);
    if (!disk.IsMounted())
        GTEST_SKIP() << "needs root to mount a scratch file system";
    const QString path = disk.Folder() + "/mystations.kvd";
    std::vector<CStationItem> stations;
    stations.push_back(Parse("Mine\t \tPop\tGermany\t \thttp://mine.example/live\t"));
    stations.back().MarkAsUser();
    WriteUserStationsFile(path, stations);
    const QByteArray before = ReadBytes(path);
    ASSERT_FALSE(before.isEmpty());

    // Fill the disk, then ask for a file larger than the room left.
    QFile filler(disk.Folder() + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) { }
    filler.close();
    for (int i = 0; i < 500; ++i) {
        stations.push_back(Parse(QString("Station %1\t \tRock\tFrance\t \thttp://s%1.example/stream\t").arg(i)));
        stations.back().MarkAsUser();
    }
    EXPECT_THROW(WriteUserStationsFile(path, stations), CFileException);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(QDir(disk.Folder()).entryList(QDir::Files | QDir::Hidden), (QStringList { "filler", "mystations.kvd" }));

    // The same write goes through once there is room again.
    ASSERT_TRUE(QFile::remove(disk.Folder() + "/filler"));
    WriteUserStationsFile(path, stations);
    EXPECT_EQ(ReadStationsFile(path, true).size(), stations.size());
}

} // namespace
