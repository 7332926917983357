#include "tests/ui/mainwindow/MainWindowFixture.h"

#include "core/Localization.h"
#include "core/XMLSettings.h"
#include "ui/controls/GdipButton.h"
#include "ui/stationlist/StationsListCtrl.h"

#include "tests/ui/support/UiTestSupport.h"

#include <QDir>
#include <QMenu>
#include <QScreen>

using namespace testing_support;
using ui_testing::MainWindowFixture;
using ui_testing::PopupScript;

namespace
{

// A menu as text: "Text=id" with "*" when checked and "~" when disabled, "Text>" for a submenu, "-" for
// a separator.
QStringList Describe(const QMenu& menu)
{
    QStringList items;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator())
            items.append("-");
        else if (action->menu())
            items.append(action->text() + ">");
        else
            items.append(QStringLiteral("%1=%2%3%4")
                             .arg(action->text())
                             .arg(action->data().toInt())
                             .arg(action->isChecked() ? "*" : "")
                             .arg(action->isEnabled() ? "" : "~"));
    }
    return items;
}

const QMenu& Submenu(const QMenu& menu, const QString& title)
{
    for (const QAction* action : menu.actions())
        if (action->menu() && action->text() == title)
            return *action->menu();
    static QMenu none;
    ADD_FAILURE() << "no submenu " << title.toStdString();
    return none;
}

CStationItem Station(const QString& title, const QStringList& sources)
{
    CStationItem station;
    station.SetTitle(title);
    for (const QString& source : sources)
        station.AddSource(source);
    return station;
}

class MainWindowMenusTest : public MainWindowFixture
{
protected:
    // Runs a command as a menu or button would, with popups answered by pick.
    void RunWithPopup(int command, std::function<QAction*(QMenu*)> pick)
    {
        PopupScript script(std::move(pick));
        window->OnCommand(command);
    }
};

TEST_F(MainWindowMenusTest, TheMainMenuListsItsItemsInOrderWithTextsIdsAndMarksForEachState)
{
    Start();
    std::unique_ptr<QMenu> menu = window->Menus().BuildMainMenu();
    EXPECT_EQ(Describe(*menu),
        QStringList({ "Play=1000", "Mute=1027", "Rec=1051", "Details=1031", "Add New Station=1034", "-", "Favorites>",
            "Back>", "Equalizer>", "Window>", "Clipboard>", "-", "Language>", "Options=1041", "About=16", "Exit=1" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Favorites")),
        QStringList({ "No stations selected yet=0~", "-", "Add to favorites=1324", "Move selected favorite up=1409",
            "Remove from favorites=1325" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Equalizer")),
        QStringList({ "Off=2000*", "Jazz=2001", "Pop=2002", "Rock=2003", "Classic=2004" }));
    EXPECT_EQ(
        Describe(Submenu(*menu, "Window")), QStringList({ "Always on top=1077", "Expand/Collapse=1076", "Hide=1075" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Clipboard")),
        QStringList({ "Copy URL to Clipboard=1030", "Play URL from Clipboard=1079" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Language")), QStringList({ "English=2024*" }));

    // Playing, muted and recording; the equaliser on its second preset; on top and hidden.
    window->Radio().SetCurrentStation(Station("Rock & Roll FM", { "http://127.0.0.1:9/rr" }));
    window->Favorites().AddAndSave("Rock & Roll FM", "http://127.0.0.1:9/rr", 0);
    window->Favorites().AddAndSave("Other", "http://127.0.0.1:9/o", 0);
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false); // wished, kept for the player
    window->Playback().OnPlay();
    window->Playback().OnMute();
    window->OnCommand(2003);
    EXPECT_EQ(window->Radio().GetEqualizerPreset(), 2);
    window->OnCommand(CKavriluneDlg::kCommandOnTop);
    window->OnCommand(CKavriluneDlg::kCommandMinimize);
    ASSERT_FALSE(window->Presence().IsShown());
    window->History().WaitForThreads(); // the play went into the history on a worker

    menu = window->Menus().BuildMainMenu();
    const QStringList items = Describe(*menu);
    EXPECT_EQ(items.mid(0, 3), QStringList({ "Stop=1000", "Unmute=1027", "Stop Rec=1051" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Equalizer")),
        QStringList({ "Off=2000", "Jazz=2001", "Pop=2002", "Rock=2003*", "Classic=2004" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Window")),
        QStringList({ "Always on top=1077*", "Expand/Collapse=1076", "Hide=1075*" }));
    EXPECT_EQ(Describe(Submenu(*menu, "Favorites")).mid(0, 2), QStringList({ "Other=1326", "Rock && Roll FM=1327*" }))
        << "the playing station is marked, and its \"&\" shows as one";
    EXPECT_EQ(Describe(Submenu(*menu, "Back")).value(0), "Rock && Roll FM=1374*");

    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    window->Playback().OnStop();
}

TEST_F(MainWindowMenusTest, LanguageAndEqualizerCommandsTakeEffect)
{
    Start();
    QDir().mkpath(program.Path() + "lang");
    ASSERT_TRUE(
        skin_test::WriteSkinFile(program.Path() + "lang/Deutsch.lng", "<MainWindow><Play>Spielen</Play></MainWindow>"));
    std::unique_ptr<QMenu> menu = window->Menus().BuildMainMenu();
    ASSERT_EQ(Describe(Submenu(*menu, "Language")), QStringList({ "Deutsch=2024", "English=2025*" }));
    window->OnCommand(2024);
    EXPECT_EQ(GetLanguageFileName(), "Deutsch.lng");
    EXPECT_TRUE(window->Settings().IsDirty());
    EXPECT_EQ(window->Controls().Button(CKavriluneDlg::kCommandPlay)->TooltipText(), "Spielen")
        << "the buttons were relabelled";
    menu = window->Menus().BuildMainMenu(); // a switch forgets the last menu's files
    window->OnCommand(2024 + 1);
    EXPECT_EQ(GetLanguageFileName(), "English.lng");

    window->OnCommand(2000);
    EXPECT_EQ(window->Radio().GetEqualizerPreset(), -1);
    window->OnCommand(2004);
    EXPECT_EQ(window->Radio().GetEqualizerPreset(), 3);
}

TEST_F(MainWindowMenusTest, TheSourcesMenuListsEveryAddressAndPlaysTheChosenOne)
{
    QDir().mkpath(program.Path() + "Stations");
    ASSERT_TRUE(WriteBytes(
        program.FilePath("Stations/stations.kvd"), "N \t title\nTwin\t \tPop\tUK\t \thttp://t1\thttp://t2\t\n"));
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDNO; });
    window->Radio().SetCurrentStation(Station("Three", { "u1", "u2", "a&b" }));
    std::unique_ptr<QMenu> menu = window->Menus().BuildSourcesMenu();
    EXPECT_EQ(Describe(*menu), QStringList({ "u1=1*", "u2=2", "a&&b=3" }));

    // Asked first while recording; declining keeps the station.
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    RunWithPopup(CKavriluneDlg::kCommandSources, [](QMenu* shown) { return shown->actions().value(2); });
    EXPECT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(window->Radio().GetStationUrl(), "u1");
    EXPECT_EQ(window->Radio().GetPlayerCount(), 0);
    window->Radio().StopRecording(true, false);

    RunWithPopup(CKavriluneDlg::kCommandSources, [](QMenu* shown) { return shown->actions().value(0); });
    EXPECT_EQ(window->Radio().GetPlayerCount(), 0) << "the source in use is not played again";
    RunWithPopup(CKavriluneDlg::kCommandSources, [](QMenu* shown) { return shown->actions().value(2); });
    EXPECT_EQ(window->Radio().GetStationUrl(), "a&b");
    EXPECT_EQ(window->Radio().GetStationName(), "Three");
    EXPECT_EQ(boxes.texts.size(), 1);

    // One address alone: the catalogue's record of the station gives the others.
    ASSERT_TRUE(PumpUntil([this] { return window->Controls().list->GetVisibleCount() == 1; }, 10000));
    window->Radio().SetCurrentStation(Station("Twin", { "http://t2" }));
    EXPECT_EQ(Describe(*window->Menus().BuildSourcesMenu()), QStringList({ "http://t1=1", "http://t2=2*" }));
    window->Playback().OnStop();
}

TEST_F(MainWindowMenusTest, AddingToFavouritesMovesAKnownStationUpAndAFullListSaysSo)
{
    Start();
    ScriptedMessageBoxes boxes;
    window->Radio().SetCurrentStation(Station("First", { "http://127.0.0.1:9/1" }));
    window->OnCommand(1324);
    window->Radio().SetCurrentStation(Station("Second", { "http://127.0.0.1:9/2" }));
    window->OnCommand(1324);
    window->Radio().SetCurrentStation(Station("First", { "http://127.0.0.1:9/1b" }));
    window->OnCommand(1324);
    EXPECT_TRUE(boxes.texts.isEmpty()) << "a favourite added again moves to the front";
    QString title, source;
    window->Favorites().GetByCommandId(1326, title, source);
    EXPECT_EQ(title, "First");
    EXPECT_EQ(source, "http://127.0.0.1:9/1b");

    window->Radio().SetCurrentStation(Station("Second", { "http://127.0.0.1:9/2c" }));
    window->OnCommand(1409);
    window->Favorites().GetByCommandId(1326, title, source);
    EXPECT_EQ(title, "Second") << "moved up";
    EXPECT_EQ(source, "http://127.0.0.1:9/2c");
    window->Menus().BuildFavoritesMenu(); // marks the playing station as the current favourite
    window->OnCommand(1325);
    window->Favorites().GetByCommandId(1326, title, source);
    EXPECT_EQ(title, "First") << "the current one was removed";

    for (int i = 0; i < 29; ++i)
        window->Favorites().AddAndSave(QStringLiteral("Station %1").arg(i), QStringLiteral("http://s/%1").arg(i), 0);
    window->Radio().SetCurrentStation(Station("One Too Many", { "http://127.0.0.1:9/x" }));
    window->OnCommand(1324);
    EXPECT_EQ(boxes.texts, QStringList { GetLangString(705) });
    window->Radio().SetCurrentStation(CStationItem());
    window->OnCommand(1324);
    EXPECT_EQ(boxes.texts.value(1), GetLangString(706)) << "nothing to add";
}

TEST_F(MainWindowMenusTest, TheFavouritesMenuOpensBesideItsButtonUpwardsInTheLowerHalfOfTheScreen)
{
    Start();
    const QRect screen = window->screen()->geometry();
    for (const bool lower : { true, false }) {
        window->move(screen.x() + 40, lower ? screen.center().y() - 150 : screen.y() - 200);
        const CGdipButton& button = *window->Controls().Button(CKavriluneDlg::kCommandFavorites);
        const QRect place(button.mapToGlobal(QPoint(0, 0)), button.size());
        ASSERT_EQ(place.y() > screen.center().y(), lower);
        QRect shown;
        RunWithPopup(CKavriluneDlg::kCommandFavorites, [&shown](QMenu* menu) {
            shown = menu->geometry();
            return nullptr;
        });
        EXPECT_EQ(shown.x() + shown.width(), place.x() + place.width());
        if (lower)
            EXPECT_EQ(shown.y() + shown.height(), place.y()) << "the menu's bottom meets the button's top";
        else
            EXPECT_EQ(shown.y(), place.y() + place.height()) << "the menu hangs from the button's bottom";
    }
}

TEST_F(MainWindowMenusTest, OnTopMakesAToolWindowKeepingItsOutlineAndIsSaved)
{
    Start();
    const QRegion outline = window->mask();
    const QPoint position = window->pos();
    window->OnCommand(CKavriluneDlg::kCommandOnTop);
    EXPECT_TRUE(window->Presence().IsOnTop());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->mask(), outline);
    EXPECT_EQ(window->pos(), position);
    EXPECT_FALSE(window->Controls().Button(CKavriluneDlg::kCommandOnTop)->IsAlternate());
    window->Settings().SaveSettings(window->Settings().TakeSettingsSnapshot());
    EXPECT_TRUE(SettingsText().contains("<OnTop>1</OnTop>"));

    window->OnCommand(CKavriluneDlg::kCommandOnTop);
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window->Controls().Button(CKavriluneDlg::kCommandOnTop)->IsAlternate());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowMenusTest, TheTrayOpensTheMainMenuAndHidesOrShowsTheWindow)
{
    Start();
    bool opened = false;
    {
        PopupScript script([&opened](QMenu* menu) {
            opened = menu->actions().value(0) && menu->actions().value(0)->data().toInt() == 1000;
            return nullptr;
        });
        tray->RightClick();
        ASSERT_TRUE(PumpUntil([&opened] { return opened; }, 5000));
    }
    tray->available = true;
    window->Options().general.m_minimizeToTray = true;
    tray->Click();
    ASSERT_TRUE(PumpUntil([this] { return !window->isVisible(); }, 5000));
    tray->Click();
    ASSERT_TRUE(PumpUntil([this] { return window->Presence().IsShown(); }, 5000));

    // Minimised by the window system with MinimizeToTray on: hidden to the tray.
    window->showMinimized();
    EXPECT_TRUE(PumpUntil([this] { return !window->isVisible(); }, 5000));
}

TEST_F(MainWindowMenusTest, WithoutANotificationAreaHidingMinimisesAndAHandedOverLineBringsTheWindowBack)
{
    Start();
    ASSERT_FALSE(tray->available);
    window->Options().general.m_minimizeToTray = true;
    window->OnCommand(CKavriluneDlg::kCommandMinimize);
    ASSERT_TRUE(PumpUntil([this] { return window->isMinimized(); }, 5000));
    PumpFor(50);
    EXPECT_TRUE(window->isVisible()) << "the desktop still lists the window";

    // Another start handed over a line without switches.
    const int commandLine = RegisterWindowMessage("WM_KAVRILUNE_CMD_LINE");
    ASSERT_TRUE(window->InstanceLock().SetCommandText(program.Path() + "kavrilune "));
    EXPECT_EQ(SendWindowMessage(window.get(), commandLine, 0, 0), 1);
    EXPECT_TRUE(PumpUntil([this] { return window->Presence().IsShown(); }, 5000));

    // Minimised by the window system: it stays so.
    window->showMinimized();
    PumpFor(50);
    EXPECT_TRUE(window->isVisible());
    // A line that asks for nothing to be shown leaves it where it is.
    ASSERT_TRUE(window->InstanceLock().SetCommandText(program.Path() + "kavrilune /hidden"));
    SendWindowMessage(window.get(), commandLine, 0, 0);
    PumpFor(50);
    EXPECT_FALSE(window->Presence().IsShown());
}

} // namespace
