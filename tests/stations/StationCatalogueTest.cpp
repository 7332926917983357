#include "stations/StationCatalogue.h"

#include "stations/StationFilter.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace
{

CStationItem Station(const QString& title, const QString& source = QString(), bool own = false)
{
    CStationItem item;
    item.ParseLine(title + "\t \tPop\tAustria\t \t" + source + "\t");
    if (own)
        item.MarkAsUser();
    return item;
}

QStringList Titles(CStationCatalogue& catalogue)
{
    QStringList titles;
    for (size_t i = 0; i < catalogue.Stations().Size(); ++i)
        titles.append(catalogue.Stations().Title(i));
    return titles;
}

void ExpectInTitleOrder(CStationCatalogue& catalogue)
{
    const CStationStore& stations = catalogue.Stations();
    for (size_t i = 1; i < stations.Size(); ++i)
        ASSERT_LE(CompareStationText(stations.Title(i - 1), stations.Title(i)), 0)
            << "at " << i << ": " << stations.Title(i - 1).toStdString() << " / " << stations.Title(i).toStdString();
}

TEST(StationCatalogueTest, InsertionKeepsTitleOrderAndPutsEqualTitlesRightAfter)
{
    CStationCatalogue catalogue;
    catalogue.MergeStation(Station("Alpha", "http://db"));
    catalogue.MergeStation(Station("Beta"));
    catalogue.MergeStation(Station("alpha", "http://own", true));
    catalogue.MergeStation(Station("ALPHA", "http://own2", true));
    EXPECT_EQ(Titles(catalogue), QStringList({ "Alpha", "alpha", "ALPHA", "Beta" }));
    EXPECT_FALSE(catalogue.Stations().IsUserStation(0));
    EXPECT_TRUE(catalogue.Stations().IsUserStation(1));

    // Many titles in random order, with case variants and repeats, always stay in order.
    std::mt19937 random(7);
    const QStringList words { "x", "X", "radio", "Radio", "RÄDIO", "rädio", "zeta", "", "a b", "A", "ß", "SS" };
    for (int i = 0; i < 3000; ++i) {
        const QString title = words[random() % words.size()] + words[random() % words.size()];
        catalogue.MergeStation(Station(title));
    }
    EXPECT_EQ(catalogue.Stations().Size(), 3004u);
    ExpectInTitleOrder(catalogue);
    EXPECT_GE(catalogue.FindTitleIndex("RADIORADIO"), 0);
    EXPECT_EQ(catalogue.FindTitleIndex("radio radio"), -1);

    // A record inserted is the catalogue's own: no search key, first source current.
    CStationItem keyed = Station("Keyed", "http://k");
    keyed.GetSearchKey();
    catalogue.MergeStation(keyed);
    const CStationItem inserted = catalogue.Stations().Get(size_t(catalogue.FindTitleIndex("keyed")));
    EXPECT_TRUE(inserted.GetAt(CStationItem::SlotSearchKey).isEmpty());

    catalogue.SetClosing();
    EXPECT_FALSE(catalogue.MergeStation(Station("Late")));
}

TEST(StationCatalogueTest, LookupsBySourceAndTitle)
{
    CStationCatalogue catalogue;
    catalogue.MergeStation(Station("Zulu", "http://shared"));
    CStationItem two = Station("Mike", "http://first");
    two.AddSource("http://SHARED");
    catalogue.MergeStation(two);
    catalogue.MergeStation(Station("Alpha", "http://shared"));

    CStationItem out;
    ASSERT_TRUE(catalogue.FindStationBySource(out, "http://Shared"));
    EXPECT_EQ(out.GetTitle(), "Zulu"); // the last one in title order
    EXPECT_EQ(out.GetCurrentSource(), 0);
    ASSERT_TRUE(catalogue.FindStationBySource(out, "http://first"));
    EXPECT_EQ(out.GetTitle(), "Mike");
    catalogue.RemoveAt(catalogue.FindTitleIndex("zulu"));
    ASSERT_TRUE(catalogue.FindStationBySource(out, "http://shared"));
    EXPECT_EQ(out.GetTitle(), "Mike");
    EXPECT_EQ(out.GetCurrentSource(), 1); // the matching slot's source number
    EXPECT_FALSE(catalogue.FindStationBySource(out, ""));

    catalogue.FindOrAddStation(out, "mike", "http://unknown"); // by title, case ignored
    EXPECT_EQ(out.GetTitle(), "Mike");
    catalogue.FindOrAddStation(out, "Nobody", "http://nowhere");
    EXPECT_EQ(out.GetTitle(), "Nobody");
    QStringList sources;
    out.GetSources(sources);
    EXPECT_EQ(sources, QStringList({ "http://nowhere" }));
    EXPECT_EQ(catalogue.Stations().Size(), 2u);

    // While another thread holds the lock, a lookup gives up after its wait and finds nothing.
    std::atomic<bool> held { false };
    std::atomic<bool> release { false };
    std::thread holder([&] {
        CStationCatalogue::Lock lock = catalogue.LockUnbounded();
        held = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    while (!held)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(catalogue.FindStationByTitle(out, "Mike"));
    EXPECT_FALSE(catalogue.FindStationBySource(out, "http://first"));
    release = true;
    holder.join();
}

TEST(StationCatalogueTest, WithoutFilesTheFirstSaveCreatesTheUserFile)
{
    testing_support::TempProgramFolder folder;
    CStationCatalogue catalogue;
    catalogue.SetFiles(folder.FilePath("Stations/stations*.kvd"), folder.FilePath("mystations.kvd"));
    catalogue.Load(); // neither file: an empty catalogue and no message
    EXPECT_TRUE(catalogue.Stations().Empty());
    catalogue.MergeStation(Station("Mine", "http://m", true));
    catalogue.MergeStation(Station("Theirs", "http://t"));
    ASSERT_TRUE(catalogue.SaveUserStations());
    catalogue.Load();
    ASSERT_EQ(catalogue.Stations().Size(), 1u);
    EXPECT_TRUE(catalogue.Stations().IsUserStation(0));
}

} // namespace
