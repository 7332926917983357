#include "stations/StationStore.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace
{

// Everything a record holds that the store keeps: every slot but the search key.
QStringList Slots(const CStationItem& station)
{
    QStringList texts;
    for (int slot = 0; slot < station.GetSize(); ++slot)
        texts.append(slot == CStationItem::SlotSearchKey ? QString() : station.GetAt(slot));
    return texts;
}

// A text of the given length from a pool of characters: ASCII, Latin-1 beyond ASCII, wider ones, a
// surrogate pair and a lone surrogate.
QString Text(std::mt19937& random, int length)
{
    static const char16_t pool[]
        = { u'a', u'Z', u' ', u'/', u'é', u'ÿ', u'\u00A0', u'Ж', u'€', 0xD83C, 0xDFB5, 0xDC00 };
    QString text;
    for (int i = 0; i < length; ++i)
        text.append(QChar(pool[random() % std::size(pool)]));
    return text;
}

TEST(StationStoreTest, StationsComeBackAsTheyWentIn)
{
    std::mt19937 random(3);
    CStationStore store;
    std::vector<CStationItem> expected;
    for (int i = 0; i < 400; ++i) {
        CStationItem station;
        // Short texts, texts whose length needs more than one header byte, and empty ones.
        station.SetTitle(Text(random, int(random() % 4 == 0 ? 200 + random() % 300 : random() % 30)));
        station.SetCountry(i % 3 ? QStringLiteral("Österreich") : QString());
        station.SetGenre(Text(random, int(random() % 3)));
        station.SetLanguage(i % 2 ? QStringLiteral("Deutsch") : QStringLiteral("deutsch"));
        station.SetWebPage(i % 5 ? QStringLiteral(" ") : Text(random, 12));
        if (i % 4 == 0)
            station.MarkAsUser();
        for (int n = int(random() % 21); n > 0; --n)
            station.AddSource(random() % 6 ? Text(random, int(random() % 80)) : QString());
        station.GetSearchKey(); // a cached key is not kept
        const size_t at = random() % (expected.size() + 1);
        store.Insert(at, station);
        expected.insert(expected.begin() + qsizetype(at), station);
    }
    // A station longer than a block of texts, and stations after it in the block being filled.
    CStationItem huge;
    huge.SetTitle(QString(300000, QChar(u'Ж')));
    huge.AddSource(QStringLiteral("http://after.huge"));
    store.Insert(0, huge);
    expected.insert(expected.begin(), huge);
    CStationItem after;
    after.SetTitle(QStringLiteral("after"));
    store.Insert(1, after);
    expected.insert(expected.begin() + 1, after);

    // Changes: a station rewritten, one moved, one removed.
    CStationItem changed = expected[10];
    changed.SetTitle(QStringLiteral("changed"));
    changed.AddSource(QStringLiteral("http://changed"));
    store.Replace(10, changed);
    expected[10] = changed;
    EXPECT_EQ(store.Reposition(20, [] { return size_t(5); }), 5u);
    const CStationItem moved = expected[20];
    expected.erase(expected.begin() + 20);
    expected.insert(expected.begin() + 5, moved);
    store.Erase(7);
    expected.erase(expected.begin() + 7);

    ASSERT_EQ(store.Size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const CStationItem& want = expected[i];
        const CStationItem got = store.Get(i);
        ASSERT_EQ(Slots(got), Slots(want)) << "station " << i;
        EXPECT_EQ(got.GetCurrentSource(), 0);
        EXPECT_EQ(store.Title(i), want.GetTitle());
        EXPECT_EQ(store.IsUserStation(i), want.IsUserStation());
        EXPECT_EQ(store.SourceSlots(i), want.GetSize() - CStationItem::SlotFirstSource);
        for (int slot = 0; slot < CStationItem::MaxSlots + 1; ++slot) {
            const QString field
                = slot < want.GetSize() && slot != CStationItem::SlotSearchKey ? want.GetAt(slot) : QString();
            ASSERT_EQ(store.Field(i, slot), field) << "station " << i << " slot " << slot;
        }
        QString joined;
        store.JoinKeyFields(i, joined);
        EXPECT_EQ(
            joined, want.GetTitle() + want.GetGenre() + want.GetCountry() + want.GetLanguage() + want.GetWebPage());
        EXPECT_EQ(store.KeyLength(i), joined.size());
    }

    // Equal values are one shared value; values that differ in case are not.
    std::map<QString, std::set<uint32_t>> ids;
    for (size_t i = 0; i < expected.size(); ++i) {
        for (int slot : CStationStore::kSharedSlots)
            ids[expected[i].GetAt(slot)].insert(store.SharedId(i, slot));
    }
    std::set<uint32_t> all;
    for (const auto& [value, numbers] : ids) {
        EXPECT_EQ(numbers.size(), 1u) << value.toStdString();
        all.insert(numbers.begin(), numbers.end());
    }
    EXPECT_EQ(all.size(), ids.size());
    EXPECT_EQ(*ids[QString()].begin(), 0u);

    store.Clear();
    EXPECT_TRUE(store.Empty());
    EXPECT_EQ(store.SharedCount(), 1u); // the empty text
    store.Insert(0, changed);
    EXPECT_EQ(Slots(store.Get(0)), Slots(changed));
}

TEST(StationStoreTest, SourcesAreFoundWithTheCaseRuleAsked)
{
    CStationStore store;
    CStationItem station;
    station.SetTitle(QStringLiteral("Ö1"));
    station.SetAtGrow(CStationItem::SlotFirstSource, QStringLiteral("http://a"));
    station.SetAtGrow(CStationItem::SlotFirstSource + 1, QString());
    station.SetAtGrow(CStationItem::SlotFirstSource + 2, QStringLiteral("http://ÄÖÜ/Жар"));
    store.Insert(0, station);
    EXPECT_EQ(store.FindSource(0, QStringLiteral("http://äöü/жар"), Qt::CaseInsensitive), 2);
    EXPECT_EQ(store.FindSource(0, QStringLiteral("http://äöü/жар"), Qt::CaseSensitive), -1);
    EXPECT_EQ(store.FindSource(0, QStringLiteral("HTTP://A"), Qt::CaseInsensitive), 0);
    EXPECT_EQ(store.FindSource(0, QString(), Qt::CaseSensitive), 1);
    EXPECT_EQ(store.FindSource(0, QStringLiteral("http://a/"), Qt::CaseInsensitive), -1);
}

} // namespace
