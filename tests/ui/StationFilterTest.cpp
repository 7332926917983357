#include "ui/StationFilter.h"

#include <gtest/gtest.h>

namespace
{

CStationItem Station(const QString& title, const QString& country, const QString& genre, bool own = false)
{
    CStationItem item;
    item.SetTitle(title);
    item.SetCountry(country);
    item.SetGenre(genre);
    if (own)
        item.MarkAsUser();
    return item;
}

TEST(StationFilterTest, SearchTextSplitsIntoUpToFourUpperCasedWords)
{
    using Words = std::array<QString, CStationFilter::kSearchWords>;
    EXPECT_EQ(CStationFilter::SplitSearchWords("rock  fm"), (Words { "ROCK", "FM", "", "" }));
    EXPECT_EQ(CStationFilter::SplitSearchWords("  a b c d e"), (Words { "A", "B", "C", "D" }));
    EXPECT_EQ(CStationFilter::SplitSearchWords("straße émission"), (Words { "STRAßE", "ÉMISSION", "", "" }));
    EXPECT_EQ(CStationFilter::SplitSearchWords(""), Words {});
}

TEST(StationFilterTest, WordsFiltersAndOwnModeMustAllHold)
{
    CStationFilter filter;
    filter.words = CStationFilter::SplitSearchWords("rock  fm");
    CStationItem radioFm = Station("Radio FM", "Germany", "Rock");
    CStationItem rockOnly = Station("Rock Antenne", "Germany", "Rock");
    EXPECT_TRUE(filter.Matches(radioFm)); // words in any field, in any order
    EXPECT_FALSE(filter.Matches(rockOnly));

    filter.words = {};
    filter.columnFilters[CStationItem::SlotGenre] = "POP";
    CStationItem kpop = Station("A", "Korea", "K-Pop");
    CStationItem popRock = Station("B", "UK", "Pop Rock");
    CStationItem rock = Station("C", "UK", "Rock");
    EXPECT_TRUE(filter.Matches(kpop));
    EXPECT_TRUE(filter.Matches(popRock));
    EXPECT_FALSE(filter.Matches(rock));

    filter.columnFilters[CStationItem::SlotCountry] = "UK";
    EXPECT_FALSE(filter.Matches(kpop));
    EXPECT_TRUE(filter.Matches(popRock));

    filter.ownStationsOnly = true;
    CStationItem ownPopRock = Station("D", "UK", "pop rock", true);
    EXPECT_FALSE(filter.Matches(popRock));
    EXPECT_TRUE(filter.Matches(ownPopRock));
}

TEST(StationFilterTest, SortsByTheColumnIgnoringCaseEitherWay)
{
    std::vector<std::unique_ptr<CStationItem>> stations;
    for (const char* genre : { "rock", "Jazz", "pop", "Ambient", "jazz" })
        stations.push_back(std::make_unique<CStationItem>(Station("T", "C", genre)));
    std::vector<unsigned> indices { 0, 1, 2, 3, 4 };
    CStationFilter filter;
    filter.sortColumn = CStationItem::SlotGenre;
    filter.Sort(indices, stations);
    EXPECT_EQ(indices.front(), 3u);
    EXPECT_EQ(indices.back(), 0u);
    EXPECT_EQ(CompareStationText(stations[indices[1]]->GetGenre(), "JAZZ"), 0);
    filter.ascending = false;
    filter.Sort(indices, stations);
    EXPECT_EQ(indices.front(), 0u);
    EXPECT_EQ(indices.back(), 3u);
}

} // namespace
