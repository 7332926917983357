// The station list on the shipped catalogue: whole-catalogue order, random searches against a reference
// computed here, and quick successive searches.
#include "core/CharUpper.h"
#include "core/StationItem.h"
#include "stations/StationFilter.h"
#include "tests/ui/stationlist/StationsListFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <random>
#include <tuple>

using testing_support::SourceDir;

namespace
{

using Row = std::tuple<QString, QString, QString, QString>; // title, country, genre, language

// Threads of this process running a station list's worker.
int WorkerThreads()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + "/comm"));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == CStationsListWorker::kThreadName)
            ++count;
    }
    return count;
}

class ShippedCatalogueTest : public StationsListFixture
{
protected:
    void SetUp() override
    {
        m_database = ReadStationsFile(SourceDir() + "/res/Stations/stations.kvd", false);
        // Own stations: some under titles of their own, some under titles of the database.
        std::mt19937 random(11);
        QByteArray own = "N \t title\n";
        for (int i = 0; i < 300; ++i) {
            CStationItem station = m_database[random() % m_database.size()];
            if (i % 3 != 0)
                station.SetTitle("My " + station.GetTitle());
            own += station.FormatLine().toUtf8() + "\n";
        }
        WriteFiles(QByteArray(), own);
        m_stations = m_database;
        for (CStationItem& station : ReadStationsFile(OwnPath(), true))
            m_stations.push_back(station);
        for (CStationItem& station : m_stations)
            m_keys.append(CharUpper(station.GetTitle() + station.GetGenre() + station.GetCountry()
                + station.GetLanguage() + station.GetWebPage()));
    }

    void CreateOnShippedCatalogue()
    {
        Create();
        list->Init(SourceDir() + "/res/Stations/stations*.kvd", OwnPath());
        list->UpdateVisibility();
        Settle();
    }

    // The rule written out plainly: own mode, every word in the upper-cased fields, every filter inside
    // its upper-cased field.
    std::vector<Row> Reference(const CStationFilter& filter) const
    {
        std::vector<Row> rows;
        for (size_t i = 0; i < m_stations.size(); ++i) {
            const CStationItem& station = m_stations[i];
            bool match = !filter.ownStationsOnly || station.IsUserStation();
            for (const QString& word : filter.words)
                match = match && m_keys[qsizetype(i)].contains(word);
            for (int slot : { 1, 2, 3 })
                match = match && CharUpper(station.GetAt(slot)).contains(filter.columnFilters[size_t(slot)]);
            if (match)
                rows.emplace_back(station.GetTitle(), station.GetCountry(), station.GetGenre(), station.GetLanguage());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::vector<Row> Shown() const
    {
        std::vector<Row> rows;
        const QAbstractItemModel* model = list->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            rows.emplace_back(model->index(r, 0).data().toString(), model->index(r, 1).data().toString(),
                model->index(r, 2).data().toString(), model->index(r, 3).data().toString());
        }
        return rows;
    }

    // Shown rows equal the reference as a set, in the order of the list's sort column.
    void ExpectShownMatchesReference(const std::string& label)
    {
        std::vector<Row> shown = Shown();
        const int column = list->Filter().sortColumn;
        const bool ascending = list->Filter().ascending;
        for (size_t i = 1; i < shown.size(); ++i) {
            const int order = CompareStationText(list->model()->index(int(i - 1), column).data().toString(),
                list->model()->index(int(i), column).data().toString());
            ASSERT_TRUE(ascending ? order <= 0 : order >= 0) << label << " out of order at row " << i;
        }
        std::sort(shown.begin(), shown.end());
        const std::vector<Row> expected = Reference(list->Filter());
        ASSERT_EQ(shown.size(), expected.size()) << label;
        EXPECT_TRUE(shown == expected) << label;
    }

    std::vector<CStationItem> m_database;
    std::vector<CStationItem> m_stations;
    QStringList m_keys;
};

QString RandomPiece(std::mt19937& random, const QString& text)
{
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (tokens.isEmpty())
        return QString();
    const QString token = tokens[random() % tokens.size()];
    const qsizetype length = 1 + random() % std::min<qsizetype>(4, token.size());
    const qsizetype start = random() % (token.size() - length + 1);
    const QString piece = token.mid(start, length);
    return random() % 2 ? piece.toLower() : piece;
}

TEST_F(ShippedCatalogueTest, RandomSearchesFiltersAndModesMatchTheReference)
{
    CreateOnShippedCatalogue();
    ASSERT_EQ(list->GetVisibleCount(), 30922 + 300);
    ExpectShownMatchesReference("everything");

    std::mt19937 random(2024);
    for (int round = 0; round < 50; ++round) {
        // Words and filters mostly come from one station, so that most rounds find something.
        const bool ownOnly = random() % 5 == 0;
        const size_t own = m_database.size();
        const CStationItem& anchor
            = m_stations[ownOnly ? own + random() % (m_stations.size() - own) : random() % m_stations.size()];
        for (int clicks = int(random() % 3); clicks > 0; --clicks)
            list->OnColumnClick(int(random() % 4));
        for (int slot : { 1, 2, 3 }) {
            QString value;
            if (random() % 10 < 3)
                value = random() % 2 ? anchor.GetAt(slot) : RandomPiece(random, anchor.GetAt(slot));
            list->SetColumnFilter(slot, value);
        }
        list->SetOwnStationsOnly(ownOnly);
        QStringList words;
        for (int n = int(random() % 6); n > 0; --n)
            words.append(RandomPiece(random, anchor.GetTitle()));
        list->SetSearchText(words.join(random() % 2 ? "  " : " "));
        Settle();
        ExpectShownMatchesReference("round " + std::to_string(round));
        if (HasFatalFailure())
            return;
    }
}

TEST_F(ShippedCatalogueTest, QuickSearchChangesEndWithTheLastTextAndNoThreadOutlivesTheList)
{
    EXPECT_EQ(WorkerThreads(), 0);
    CreateOnShippedCatalogue();
    EXPECT_EQ(WorkerThreads(), 1);

    const int passesBefore = list->Worker().PassCount();
    std::mt19937 random(5);
    QString text;
    int mostThreads = 0;
    for (int i = 0; i < 100; ++i) {
        text = RandomPiece(random, m_stations[random() % m_stations.size()].GetTitle());
        list->SetSearchText(text);
        mostThreads = std::max(mostThreads, WorkerThreads());
        if (i % 10 == 0)
            PumpFor(1);
    }
    Settle();
    EXPECT_EQ(mostThreads, 1);
    EXPECT_LT(list->Worker().PassCount() - passesBefore, 100); // requests during a pass were folded
    EXPECT_EQ(list->Filter().words[0], CharUpper(text));
    ExpectShownMatchesReference("last text");

    list.reset();
    EXPECT_EQ(WorkerThreads(), 0);
}

} // namespace
