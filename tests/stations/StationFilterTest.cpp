#include "stations/StationFilter.h"

#include "core/CharUpper.h"

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

// Which of the stations the filter keeps, through the search index the worker uses.
std::vector<QString> Kept(const CStationFilter& filter, std::vector<CStationItem> items)
{
    CStationStore stations;
    for (const CStationItem& item : items)
        stations.Insert(stations.Size(), item);
    // Like the worker, the index is built only where the filter needs it.
    CStationSearchIndex index;
    if (filter.NeedsSearchIndex())
        index.Build(stations);
    std::vector<QString> kept;
    for (size_t i = 0; i < stations.Size(); ++i) {
        if (filter.Matches(stations, filter.NeedsSearchIndex() ? &index : nullptr, i))
            kept.push_back(stations.Title(i));
    }
    return kept;
}

TEST(StationFilterTest, WordsFiltersAndOwnModeMustAllHold)
{
    CStationFilter filter;
    filter.words = CStationFilter::SplitSearchWords("rock  fm");
    // Words match in any field and in any order; fields are joined without a gap.
    EXPECT_EQ(Kept(filter, { Station("Radio FM", "Germany", "Rock"), Station("Rock Antenne", "Germany", "Rock") }),
        std::vector<QString> { "Radio FM" });
    filter.words = CStationFilter::SplitSearchWords("fmrock");
    EXPECT_EQ(Kept(filter, { Station("Radio FM", "Germany", "Rock") }).size(), 1u);

    filter.words = {};
    filter.columnFilters[CStationItem::SlotGenre] = "POP";
    const std::vector<CStationItem> stations { Station("A", "Korea", "K-Pop"), Station("B", "UK", "Pop Rock"),
        Station("C", "UK", "Rock"), Station("D pop", "UK", ""), Station("E", "uk", "pop rock", true) };
    EXPECT_EQ(Kept(filter, stations), (std::vector<QString> { "A", "B", "E" }));
    filter.columnFilters[CStationItem::SlotCountry] = "UK";
    EXPECT_EQ(Kept(filter, stations), (std::vector<QString> { "B", "E" }));
    filter.ownStationsOnly = true;
    EXPECT_EQ(Kept(filter, stations), std::vector<QString> { "E" });
    filter.ownStationsOnly = false;
    filter.columnFilters[CStationItem::SlotLanguage] = "DE";
    EXPECT_TRUE(Kept(filter, stations).empty());

    // With no word and no column filter, the list is read without a search index.
    CStationFilter plain;
    EXPECT_FALSE(plain.NeedsSearchIndex());
    EXPECT_EQ(Kept(plain, stations).size(), stations.size());
    plain.ownStationsOnly = true;
    EXPECT_FALSE(plain.NeedsSearchIndex());
    EXPECT_EQ(Kept(plain, stations), std::vector<QString> { "E" });

    // A key cached in a record is not taken over: the index joins the fields afresh.
    CStationItem stale = Station("F", "UK", "Pop");
    stale.SetAtGrow(CStationItem::SlotSearchKey, "OTHER");
    filter.columnFilters[CStationItem::SlotLanguage].clear();
    filter.words = CStationFilter::SplitSearchWords("other");
    EXPECT_TRUE(Kept(filter, { stale }).empty());
    filter.words = CStationFilter::SplitSearchWords("fpop");
    EXPECT_EQ(Kept(filter, { stale }), std::vector<QString> { "F" });
}

TEST(StationFilterTest, WordsAreFoundInKeysOfEitherWidthAsInTheirText)
{
    // Keys of one byte a character and keys of wider ones, some of them only after upper-casing
    // ("ÿ" and "µ" have upper cases beyond 255).
    const std::vector<CStationItem> stations { Station("Café Crème", "France", "Jazz"), Station("ÿes", "", "Pop"),
        Station("Жара FM", "Россия", "Pop"), Station("µ-Radio", "Schweiz", ""), Station("AB", "", ""),
        Station("", "", "") };
    const QStringList words { "é", "FÉ C", "CAFE", "ÿ", "Ÿ", "Ж", "ара f", "µ", "Μ", "M-RADIO", "AB", "ABX", "B",
        "ZJAZZ", "SCHWEIZ", "POP", " ", "РОССИЯ" };
    for (const QString& text : words) {
        CStationFilter filter;
        filter.words = CStationFilter::SplitSearchWords(text);
        std::vector<QString> expected;
        for (const CStationItem& station : stations) {
            const QString key = CharUpper(station.GetTitle() + station.GetGenre() + station.GetCountry()
                + station.GetLanguage() + station.GetWebPage());
            bool all = true;
            for (const QString& word : filter.words)
                all = all && key.contains(word);
            if (all)
                expected.push_back(station.GetTitle());
        }
        EXPECT_EQ(Kept(filter, stations), expected) << text.toStdString();
    }
}

} // namespace
