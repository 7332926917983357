#include "ui/stationlist/StationsListCtrl.h"

#include "core/XMLSettings.h"
#include "stations/StationsListWorker.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/stationlist/StationsListFixture.h"
#include "ui/stationlist/StationDlg.h"
#include "ui/stationlist/StationsListDelegate.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdio>

using testing_support::ReadBytes;
using testing_support::ScriptedMessageBoxes;
using testing_support::WriteBytes;
using ui_testing::ActionByText;
using ui_testing::ActionTexts;
using ui_testing::DialogScript;
using ui_testing::PopupScript;

namespace
{

const char* kDatabase = "N \t title\n"
                        "Alpha\t \tPop\tAustria\t \thttp://alpha\t\n"
                        "Bravo Rock FM\t \tRock\tGermany\tGerman\thttp://bravo\t\n"
                        "K Station\t \tK-Pop\tKorea\t \thttp://k\t\n"
                        "P&R\t \tPop Rock\tUK\tEnglish\thttp://pr1\thttp://p&r2\t\n"
                        "pop lower\t \tpop\tUK\t \thttp://pl\t\n"
                        "Zulu\t \t \tFrance\t \thttp://zulu\t\n";
const char* kOwn = "N \t title\n"
                   "alpha\t \tJazz\tAustria\t \thttp://mine\t\n";

class StationsListCtrlTest : public StationsListFixture
{
protected:
    void SetUp() override
    {
        WriteFiles(kDatabase, kOwn);
        Create();
    }
};

TEST_F(StationsListCtrlTest, ShowingLoadsTheCatalogueAndHidingFreesIt)
{
    EXPECT_EQ(list->GetVisibleCount(), 0); // nothing is read before the list is shown
    list->UpdateVisibility();
    Settle();
    EXPECT_EQ(Column(0), QStringList({ "Alpha", "alpha", "Bravo Rock FM", "K Station", "P&R", "pop lower", "Zulu" }));
    CStationItem station;
    ASSERT_TRUE(list->FindStationBySource(station, "http://mine"));
    EXPECT_TRUE(station.IsUserStation());

    AppendOwn("Hand Made\t \tJazz\tAustria\t \thttp://hand\t\n");
    list->Hide();
    Settle();
    EXPECT_EQ(CatalogueSize(), 0u);
    EXPECT_EQ(list->GetVisibleCount(), 0);
    list->ShowIfNeeded(true);
    Settle();
    EXPECT_TRUE(Column(0).contains("Hand Made"));

    // Hidden and shown again before the worker saw it hidden: the files are still read afresh.
    AppendOwn("Quick One\t \tJazz\tAustria\t \thttp://quick\t\n");
    list->ShowIfNeeded(false);
    list->ShowIfNeeded(true);
    Settle();
    EXPECT_TRUE(Column(0).contains("Quick One"));

    WriteBytes(folder.FilePath("Stations/stations.kvd"), QByteArray(kDatabase) + "New DB\t \tPop\tAT\t \thttp://n\t\n");
    list->ReloadCatalogue();
    Settle();
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(Column(0).contains("New DB"));

    list->Stop();
    EXPECT_EQ(CatalogueSize(), 0u);
    list->UpdateVisibility(); // closing: nothing is loaded any more
    PumpFor(100);
    EXPECT_EQ(CatalogueSize(), 0u);
}

// A catalogue large enough that the worker's pass can be caught while it loads and while it scans.
TEST_F(StationsListCtrlTest, ANewCatalogueOrHidingAtAnyPointOfAPassIsNeverLost)
{
    constexpr int kStations = 20000;
    auto install = [this](const QByteArray& marker) {
        QByteArray text = "N \t title\n";
        for (int i = 0; i < kStations; ++i)
            text += "Station " + QByteArray::number(i) + "\t \tPop\tAustria\t \thttp://s" + QByteArray::number(i)
                + "\t\n";
        text += marker + "\t \tPop\tAustria\t \thttp://marker\t\n";
        // Renamed into place, so that a load never meets half a file.
        const QString next = folder.FilePath("Stations/next.part");
        ASSERT_TRUE(WriteBytes(next, text));
        ASSERT_EQ(std::rename(QFile::encodeName(next).constData(),
                      QFile::encodeName(folder.FilePath("Stations/stations.kvd")).constData()),
            0);
    };
    install("First");
    QElapsedTimer timer;
    timer.start();
    list->UpdateVisibility();
    Settle();
    const qint64 passMs = std::max<qint64>(timer.elapsed(), 20);
    ASSERT_GE(list->FindTitleIndex("First"), 0);

    constexpr int kRounds = 6;
    for (int round = 0; round < kRounds; ++round) {
        const int delayMs = int(passMs * round / kRounds);
        SCOPED_TRACE(delayMs);
        const QByteArray older = "Older " + QByteArray::number(round);
        const QByteArray newer = "Newer " + QByteArray::number(round);
        install(older);
        list->ReloadCatalogue();
        PumpFor(delayMs);
        install(newer);
        list->ReloadCatalogue();
        Settle();
        EXPECT_GE(list->FindTitleIndex(QString::fromLatin1(newer)), 0) << "the newer catalogue is shown";
        EXPECT_EQ(list->GetVisibleCount(), kStations + 2);

        list->ReloadCatalogue();
        PumpFor(delayMs);
        list->Hide();
        Settle();
        EXPECT_EQ(CatalogueSize(), 0u) << "a hidden list holds no catalogue";
        list->UpdateVisibility();
        Settle();
    }
}

TEST_F(StationsListCtrlTest, SearchWordsColumnFiltersAndSortOrder)
{
    list->UpdateVisibility();
    Settle();
    list->SetSearchText("  rock  fm ");
    Settle();
    EXPECT_EQ(Column(0), QStringList({ "Bravo Rock FM" }));
    const int passes = list->Worker().PassCount();
    list->SetSearchText("ROCK  FM"); // the same text in other letters: no new pass
    PumpFor(50);
    EXPECT_EQ(list->Worker().PassCount(), passes);
    list->SetSearchText("");
    Settle();

    // The genre menu lists the shown genres in genre order, each change of exact text once.
    QStringList offered;
    {
        PopupScript pick([&](QMenu* menu) {
            offered = ActionTexts(menu);
            return ActionByText(menu, "Pop");
        });
        list->ShowHeaderMenu(2, list->mapToGlobal(QPoint(10, 5)));
    }
    ASSERT_EQ(offered.size(), 6);
    EXPECT_EQ(offered.first(), "Jazz");
    EXPECT_TRUE(offered.contains("pop"));
    EXPECT_EQ(offered.last(), "Rock");
    Settle();
    const QStringList genres = Column(2); // sorted by genre since the menu opened
    ASSERT_EQ(genres.size(), 4);
    EXPECT_EQ(genres.first(), "K-Pop");
    EXPECT_EQ(genres.last(), "Pop Rock");
    EXPECT_EQ(list->model()->headerData(2, Qt::Horizontal).toString(), "* Genre");
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), 2);

    {
        PopupScript dismiss([&](QMenu* menu) {
            offered = ActionTexts(menu);
            return nullptr;
        });
        list->ShowHeaderMenu(2, list->mapToGlobal(QPoint(10, 5)));
    }
    EXPECT_EQ(offered.mid(0, 2), QStringList({ "Remove Filter", "-" }));
    EXPECT_TRUE(list->Filter().HasFilter(CStationItem::SlotGenre));

    list->OnColumnClick(0);
    list->OnColumnClick(2); // a click on the filtered column removes its filter
    Settle();
    EXPECT_FALSE(list->Filter().HasFilter(CStationItem::SlotGenre));
    EXPECT_EQ(list->model()->headerData(2, Qt::Horizontal).toString(), "Genre");
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(Column(2).mid(0, 3), QStringList({ "", "Jazz", "K-Pop" }));

    list->OnColumnClick(0);
    list->OnColumnClick(0);
    Settle();
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), 0);
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(Column(0).first(), "Zulu");

    bool wasChecked = true;
    {
        PopupScript own([&](QMenu* menu) {
            QAction* action = ActionByText(menu, "Show only my own stations");
            wasChecked = action && action->isChecked();
            return action;
        });
        list->ShowHeaderMenu(0, list->mapToGlobal(QPoint(10, 5)));
    }
    EXPECT_FALSE(wasChecked);
    Settle();
    EXPECT_EQ(Column(0), QStringList({ "alpha" }));
}

TEST_F(StationsListCtrlTest, OwnStationsAreAddedEditedAndDeletedWithTheirMessages)
{
    list->UpdateVisibility();
    Settle();
    {
        ScriptedMessageBoxes boxes;
        list->OnCommand(CStationsListCtrl::kCommandDetails);
        list->OnCommand(CStationsListCtrl::kCommandDelete);
        EXPECT_EQ(boxes.texts, QStringList(2, "Please select a radio station."));

        list->selectRow(RowOf("Alpha"));
        EXPECT_FALSE(list->DeleteUserStation());
        EXPECT_EQ(boxes.texts.last(), "You cannot delete predefined stations.");
        EXPECT_EQ(CatalogueSize(), 7u);
    }

    // A title that exists in other letters is refused, and the typed fields come back.
    {
        ScriptedMessageBoxes boxes;
        DialogScript<CStationDlg> editor({
            [](CStationDlg* d) {
                d->TitleEdit()->setText("ZULU");
                d->SourceEdit(0)->setText("http://new");
                d->SaveButton()->click();
            },
            [](CStationDlg* d) {
                EXPECT_EQ(d->SourceEdit(0)->text(), "http://new");
                d->TitleEdit()->setText("New One");
                d->SaveButton()->click();
            },
        });
        list->AddUserStation();
        EXPECT_EQ(
            boxes.texts, QStringList({ "There is another station with the same name. Please choose another name." }));
        EXPECT_EQ(editor.shown, 2);
    }
    EXPECT_TRUE(ReadBytes(OwnPath()).contains("New One\t \t \t \t \thttp://new\t"));
    Settle();
    EXPECT_TRUE(Column(0).contains("New One"));

    // Details from the row menu change the catalogue's record, which moves to its place in title order.
    list->selectRow(RowOf("New One"));
    {
        DialogScript<CStationDlg> editor({ [](CStationDlg* d) {
            EXPECT_EQ(d->windowTitle(), "Station details");
            d->TitleEdit()->setText("Aardvark");
            d->SaveButton()->click();
        } });
        PopupScript details([](QMenu* menu) { return ActionByText(menu, "Details"); });
        list->ShowRowMenu(list->mapToGlobal(QPoint(5, 5)));
    }
    {
        CStationCatalogue::Lock lock = list->Catalogue().LockUnbounded();
        EXPECT_EQ(list->Catalogue().FindTitleIndex("aardvark"), 0);
        EXPECT_EQ(list->Catalogue().FindTitleIndex("New One"), -1);
        EXPECT_TRUE(list->Catalogue().Stations().IsUserStation(0));
    }
    EXPECT_FALSE(ReadBytes(OwnPath()).contains("New One"));
    Settle();
    EXPECT_EQ(Column(0).first(), "Aardvark");

    // Deleting an own station after Yes takes it out of the file.
    list->selectRow(RowOf("Aardvark"));
    {
        ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
        EXPECT_TRUE(list->DeleteUserStation());
        EXPECT_EQ(boxes.texts, QStringList({ "Are you really sure you want to delete the station \"Aardvark\"?" }));
    }
    EXPECT_FALSE(ReadBytes(OwnPath()).contains("Aardvark"));
    EXPECT_TRUE(ReadBytes(OwnPath()).contains("alpha"));

    // Not a user station: nothing changes.
    list->selectRow(RowOf("Zulu"));
    {
        ScriptedMessageBoxes boxes;
        DialogScript<CStationDlg> editor({ [](CStationDlg* d) {
            d->TitleEdit()->setText("Renamed");
            d->SaveButton()->click();
        } });
        list->EditSelected();
        EXPECT_EQ(boxes.texts, QStringList({ "You cannot change predefined stations." }));
    }
    Settle();
    EXPECT_TRUE(Column(0).contains("Zulu"));
}

TEST_F(StationsListCtrlTest, AddingWhileHiddenKeepsTheOtherOwnStationsAndAFailedSaveCanBeRetried)
{
    // The list was never shown: the catalogue is not in memory, yet the file keeps "alpha".
    {
        DialogScript<CStationDlg> editor({ [](CStationDlg* d) {
            d->TitleEdit()->setText("Hidden Add");
            d->SaveButton()->click();
        } });
        list->AddUserStation();
    }
    EXPECT_TRUE(ReadBytes(OwnPath()).contains("alpha\t"));
    EXPECT_TRUE(ReadBytes(OwnPath()).contains("Hidden Add\t"));

    WriteBytes(folder.FilePath("plain"), "x");
    list->Catalogue().SetFiles(DatabasePattern(), folder.FilePath("plain/mystations.kvd"));
    ScriptedMessageBoxes boxes([](const QString&, unsigned type) { return (type & MB_ICONERROR) ? IDYES : IDOK; });
    DialogScript<CStationDlg> editor({
        [](CStationDlg* d) {
            d->TitleEdit()->setText("Unsaved");
            d->SaveButton()->click();
        },
        [](CStationDlg* d) { d->SaveButton()->click(); }, // the retry meets the same failure, not a duplicate
        [](CStationDlg* d) { d->CancelButton()->click(); },
    });
    list->AddUserStation();
    const QString failed = "A problem appeared while creating new station. Do you want to try again?";
    EXPECT_EQ(boxes.texts, QStringList({ failed, failed }));
    EXPECT_EQ(editor.shown, 3);
}

TEST_F(StationsListCtrlTest, PlayCommandsKeysAndSourcesReachTheOwner)
{
    list->UpdateVisibility();
    Settle();
    {
        ScriptedMessageBoxes boxes;
        list->OnCommand(CStationsListCtrl::kCommandPlay);
        EXPECT_EQ(boxes.texts.size(), 1);
    }
    list->selectRow(RowOf("P&R"));
    QStringList items;
    QStringList sources;
    {
        PopupScript play([&](QMenu* menu) {
            items = ActionTexts(menu);
            if (QAction* sub = ActionByText(menu, "Select a source"); sub && sub->menu())
                sources = ActionTexts(sub->menu());
            return ActionByText(menu, "Play");
        });
        list->ShowRowMenu(list->mapToGlobal(QPoint(5, 5)));
    }
    EXPECT_EQ(
        items, QStringList({ "Play", "Select a source", "Details", "Add New Station", "-", "Delete the station" }));
    EXPECT_EQ(sources, QStringList({ "http://pr1", "http://p&&r2" }));
    list->OnCommand(CStationsListCtrl::kCommandSource + 1);

    QKeyEvent enter(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QString(), true);
    QKeyEvent space(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(list.get(), &enter);
    QApplication::sendEvent(list.get(), &repeated);
    QApplication::sendEvent(list.get(), &space);
    PumpFor(20);
    std::vector<WPARAM> plays;
    for (const auto& message : owner.messages) {
        if (message.message == WM_STATIONS_LIST_PLAY)
            plays.push_back(message.wParam);
    }
    EXPECT_EQ(plays, (std::vector<WPARAM> { 0, 1, 0, 0 }));

    CStationItem selected;
    ASSERT_TRUE(list->GetSelectedStation(selected, 1));
    EXPECT_EQ(selected.GetCurrentSourceUrl(), "http://p&r2");
    list->clearSelection();
    EXPECT_FALSE(list->GetSelectedStation(selected, 1));
    EXPECT_EQ(selected.GetCurrentSource(), 1);
}

TEST_F(StationsListCtrlTest, SkinColumnWidthsAndBackground)
{
    const QString skinPath = folder.FilePath("skin.kvn");
    WriteBytes(skinPath,
        "<XMLConfigSettings><List><HighLightColor>128,0,255,0</HighLightColor>"
        "<HighLightTextColor>255,255,0,0</HighLightTextColor><TextColor>255,0,0,255</TextColor>"
        "<BkColor>255,1,2,3</BkColor><Transparent>1</Transparent><visible>0</visible>"
        "<x>20</x><y>30</y><width>300</width><height>200</height></List></XMLConfigSettings>");
    {
        CXMLSettings skin(skinPath);
        list->LoadSkin(skin, "List", QRect(11, 33, 369, 153));
    }
    EXPECT_EQ(list->geometry(), QRect(20, 30, 300, 200));
    EXPECT_EQ(list->Delegate().HighlightColor(), QColor(0, 255, 0, 128));
    EXPECT_EQ(list->Delegate().HighlightTextColor(), QColor(255, 0, 0));
    EXPECT_EQ(list->Delegate().TextColor(), QColor(0, 0, 255));
    EXPECT_EQ(list->BkColor(), QColor(1, 2, 3));
    EXPECT_TRUE(list->isHidden());
    EXPECT_FALSE(list->Worker().IsActive());

    ReplaceInFile(skinPath, "<visible>0</visible>", "<visible>1</visible>");
    {
        CXMLSettings skin(skinPath);
        list->LoadSkin(skin, "List", QRect(11, 33, 369, 153));
    }
    EXPECT_TRUE(list->isVisible());
    Settle();

    // The background under the list shows through where no rows are.
    QPixmap surface(400, 300);
    surface.fill(Qt::blue);
    {
        QPainter painter(&surface);
        painter.fillRect(list->geometry(), Qt::red);
    }
    list->CaptureBackground(surface);
    list->selectRow(0);
    const QImage shown = list->viewport()->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(shown.width() - 2, shown.height() - 2)), QColor(Qt::red));
    // The selected row is the skin's translucent green over that background, nothing else.
    const QColor selected(shown.pixel(shown.width() - 2, list->rowViewportPosition(0) + 2));
    EXPECT_NEAR(selected.red(), 127, 3);
    EXPECT_NEAR(selected.green(), 128, 3);
    EXPECT_EQ(selected.blue(), 0);

    const QString settingsPath = folder.FilePath("Kavrilune.xml");
    WriteBytes(settingsPath,
        "<XMLConfigSettings><General><StationList><ColumnWidth0>5</ColumnWidth0>"
        "</StationList></General></XMLConfigSettings>");
    {
        CXMLSettings settings(settingsPath);
        list->LoadColumnWidths(settings, "General\\StationList");
    }
    QHeaderView* header = list->horizontalHeader();
    EXPECT_EQ(header->sectionSize(0), 8);
    EXPECT_FALSE(ReadBytes(settingsPath).contains("ColumnWidth1")); // missing keys are not created
    int total = 0;
    for (int i = 0; i < 4; ++i)
        total += header->sectionSize(i);
    EXPECT_NEAR(total, list->viewport()->width(), 3); // the other columns fill the width

    header->resizeSection(1, 100); // the user widens a column: those after it give way
    EXPECT_EQ(header->sectionSize(1), 100);
    EXPECT_GE(header->sectionSize(3), 10);
    {
        CXMLSettings settings(settingsPath);
        list->SaveColumnWidths(settings, "General\\StationList");
    }
    CXMLSettings saved(settingsPath);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(
            saved.GetInt("General\\StationList", QString("ColumnWidth%1").arg(i), -1, false), header->sectionSize(i));
}

} // namespace
