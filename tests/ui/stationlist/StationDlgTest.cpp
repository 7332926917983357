#include "ui/stationlist/StationDlg.h"

#include "core/MessageBox.h"
#include "core/StationItem.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/UiTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using ui_testing::DialogScript;

namespace
{

class StationDlgTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ui_testing::EnsureApplication(); }

    testing_support::TempProgramFolder folder;
};

CStationItem Parse(const QString& line)
{
    CStationItem item;
    item.ParseLine(line);
    return item;
}

TEST_F(StationDlgTest, SaveRebuildsTheRecordFromTheFields)
{
    CStationItem station = Parse("Radio A\thttp://web\tPop\tAustria\tde\thttp://s1\thttp://s2\t");
    station.MarkAsUser();
    station.GetSearchKey();

    CStationDlg dialog;
    dialog.SetItem(station);
    DialogScript<CStationDlg> script({ [](CStationDlg* d) {
        EXPECT_EQ(d->TitleEdit()->text(), "Radio A");
        EXPECT_EQ(d->WebPageEdit()->text(), "http://web");
        EXPECT_EQ(d->GenreEdit()->text(), "Pop");
        EXPECT_EQ(d->CountryEdit()->text(), "Austria");
        EXPECT_EQ(d->SourceEdit(1)->text(), "http://s2");
        // Boxes 1 and 3 filled, 2 empty; the same URL twice, and once in other letters.
        d->SourceEdit(0)->setText("http://one");
        d->SourceEdit(1)->clear();
        d->SourceEdit(2)->setText("http://three");
        d->SourceEdit(3)->setText("http://three");
        d->SourceEdit(4)->setText("HTTP://THREE");
        d->TitleEdit()->setText(" Radio B "); // not trimmed
        d->SaveButton()->click();
    } });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.windowTitle(), "Station details");

    CStationItem result;
    result.SetCurrentSource(4);
    dialog.GetItem(result);
    EXPECT_EQ(result.GetTitle(), " Radio B ");
    EXPECT_EQ(result.GetCountry(), "Austria");
    EXPECT_TRUE(result.GetLanguage().isEmpty()); // 'de' is gone
    EXPECT_TRUE(result.GetAt(CStationItem::SlotSearchKey).isEmpty());
    EXPECT_TRUE(result.IsUserStation()); // the marker is carried over
    EXPECT_EQ(result.GetCurrentSource(), 0);
    QStringList sources;
    result.GetSources(sources);
    EXPECT_EQ(sources.mid(0, 3), QStringList({ "http://one", "http://three", "HTTP://THREE" }));
    EXPECT_LE(sources.size(), 4); // at most one empty slot at the end
}

TEST_F(StationDlgTest, CaptionFollowsTheTitleAndCancelKeepsTheFields)
{
    CStationDlg dialog;
    DialogScript<CStationDlg> script({
        [](CStationDlg* d) {
            EXPECT_EQ(d->windowTitle(), "Create new station");
            d->TitleEdit()->setText("Typed");
            d->SaveButton()->click();
        },
        [](CStationDlg* d) {
            EXPECT_EQ(d->windowTitle(), "Station details");
            EXPECT_EQ(d->TitleEdit()->text(), "Typed"); // kept between showings
            d->TitleEdit()->setText("Changed");
            d->CancelButton()->click();
        },
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    CStationItem result;
    dialog.GetItem(result);
    EXPECT_EQ(result.GetTitle(), "Typed");
    EXPECT_FALSE(result.IsUserStation());
}

TEST_F(StationDlgTest, PastedTabsAndLineBreaksStayOneStationsFileLine)
{
    CStationDlg dialog;
    DialogScript<CStationDlg> script({ [](CStationDlg* d) {
        d->TitleEdit()->setText("a\tb\nc");
        d->GenreEdit()->setText("x\r\ny");
        d->SourceEdit(0)->setText("http://a\tb");
        d->SaveButton()->click();
    } });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    CStationItem station;
    dialog.GetItem(station);
    station.MarkAsUser();

    const QString path = folder.FilePath("mystations.kvd");
    WriteUserStationsFile(path, { station });
    const QList<QByteArray> lines = testing_support::ReadBytes(path).split('\n');
    ASSERT_EQ(lines.size(), 3); // header, the station, and nothing after the last line end
    const std::vector<CStationItem> read = ReadStationsFile(path, true);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].GetTitle(), "a b c");
    EXPECT_EQ(read[0].GetGenre(), "x  y");
    EXPECT_EQ(read[0].GetSource(0), "http://a b");
}

} // namespace
