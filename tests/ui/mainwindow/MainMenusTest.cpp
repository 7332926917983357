#include "ui/mainwindow/MainMenus.h"

#include "audio/RadioManager.h"
#include "core/Favorites.h"
#include "core/StationItem.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/stationlist/StationsListCtrl.h"

#include "tests/support/TempProgramFolder.h"
#include "tests/ui/support/UiTestSupport.h"

#include <QMenu>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

using namespace main_window_commands;

namespace
{

constexpr int kAddFavorite = 1324;
constexpr int kRemoveFavorite = 1325;
constexpr int kFirstEqualizer = 2000;
constexpr int kFirstLanguage = 2024;

CStationItem Station(const QString& title, const QStringList& sources)
{
    CStationItem station;
    station.SetTitle(title);
    for (const QString& source : sources)
        station.AddSource(source);
    return station;
}

// The ids of a menu's items, "*" after a checked one.
QStringList Ids(const QMenu& menu)
{
    QStringList ids;
    for (const QAction* action : menu.actions())
        if (!action->isSeparator() && !action->menu())
            ids.append(QString::number(action->data().toInt()) + (action->isChecked() ? "*" : ""));
    return ids;
}

const QMenu* Submenu(const QMenu& menu, int index)
{
    int found = 0;
    for (const QAction* action : menu.actions())
        if (action->menu() && found++ == index)
            return action->menu();
    return nullptr;
}

// Menus over the objects a window would own; what they ask of the window is logged.
class MainMenusTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ui_testing::EnsureApplication(); }

    void SetUp() override
    {
        favorites.SetPolicy(true, false);
        history.SetPolicy(true, true);
        favorites.SetStorage(program.FilePath("Kavrilune.xml"), "Favorites", kCommandFirstFavorite);
        history.SetStorage(program.FilePath("Kavrilune.xml"), "History", kCommandFirstHistory);
        favoritesButton->setGeometry(300, 270, 33, 34);
        window.resize(400, 320);
        CMainMenus::Hooks hooks;
        hooks.isOnTop = [this] { return onTop; };
        hooks.isShown = [this] { return shown; };
        hooks.button = [this](int id) -> QWidget* { return id == kCommandFavorites ? favoritesButton : sourcesButton; };
        hooks.command = [this](int id) { log << QStringLiteral("command %1").arg(id); };
        hooks.confirmStopRecording = [this] {
            log << "confirm";
            return confirm;
        };
        hooks.play = [this](const CStationItem& station) {
            log << "play " + station.GetTitle() + "|" + station.GetCurrentSourceUrl();
        };
        hooks.languageChosen = [this] { log << "language"; };
        menus = std::make_unique<CMainMenus>(
            CMainMenus::Shared { window, radio, favorites, history, *list }, std::move(hooks));
    }

    void TearDown() override
    {
        favorites.WaitForThreads();
        history.WaitForThreads();
    }

    testing_support::TempProgramFolder program;
    CRadioManager radio;
    CFavorites favorites;
    CFavorites history;
    QWidget window;
    CStationsListCtrl* list = new CStationsListCtrl(&window, &window);
    QPushButton* favoritesButton = new QPushButton(&window);
    QPushButton* sourcesButton = new QPushButton(&window);
    std::unique_ptr<CMainMenus> menus;
    QStringList log;
    bool onTop = false;
    bool shown = true;
    bool confirm = true;
};

TEST_F(MainMenusTest, TheMenusShowTheStateTheyAreGivenAndHandTheChosenCommandToTheWindow)
{
    radio.SetCurrentStation(Station("Harbour", { "http://127.0.0.1:9/h" }));
    radio.SetEqualizerPreset(1);
    onTop = true;
    shown = false;
    std::unique_ptr<QMenu> menu = menus->BuildMainMenu();
    EXPECT_EQ(menu->parent(), &window);
    EXPECT_EQ(Ids(*menu), QStringList({ "1000", "1027", "1051", "1031", "1034", "1041", "16", "1" }));
    ASSERT_NE(Submenu(*menu, 2), nullptr);
    EXPECT_EQ(Ids(*Submenu(*menu, 2)), QStringList({ "2000", "2001", "2002*", "2003", "2004" })) << "the preset in use";
    ASSERT_NE(Submenu(*menu, 3), nullptr);
    EXPECT_EQ(Ids(*Submenu(*menu, 3)), QStringList({ "1077*", "1076", "1075*" })) << "on top, and hidden";

    // A favourite chosen from the button's menu is the window's to play.
    ASSERT_GE(favorites.AddAndSave("Harbour", "http://127.0.0.1:9/h", 0), 1);
    QRect shownAt;
    {
        ui_testing::PopupScript pick([&shownAt](QMenu* shownMenu) {
            shownAt = shownMenu->geometry();
            return shownMenu->actions().value(0);
        });
        menus->ShowFavoritesMenu();
    }
    EXPECT_EQ(log, QStringList({ QStringLiteral("command %1").arg(kCommandFirstFavorite) }));
    EXPECT_EQ(shownAt.right(), favoritesButton->mapToGlobal(QPoint(0, 0)).x() + favoritesButton->width() - 1)
        << "the menu's right edge meets the button's";
}

TEST_F(MainMenusTest, TheMenusOwnCommandsAndTheChosenSourceAskTheWindowOnlyWhatTheyNeed)
{
    radio.SetCurrentStation(Station("Two", { "http://127.0.0.1:9/1", "http://127.0.0.1:9/2" }));
    EXPECT_EQ(Ids(*menus->BuildSourcesMenu()), QStringList({ "1*", "2" }));
    menus->OnSourceChosen(1);
    menus->OnSourceChosen(3);
    EXPECT_TRUE(log.isEmpty()) << "the source in use, and one that is not there, play nothing";
    confirm = false;
    menus->OnSourceChosen(2);
    EXPECT_EQ(log, QStringList({ "confirm" }));
    confirm = true;
    log.clear();
    menus->OnSourceChosen(2);
    EXPECT_EQ(log, QStringList({ "confirm", "play Two|http://127.0.0.1:9/2" }));

    log.clear();
    testing_support::ScriptedMessageBoxes boxes;
    EXPECT_TRUE(menus->OnMenuCommand(kAddFavorite));
    EXPECT_TRUE(menus->OnMenuCommand(kAddFavorite));
    EXPECT_TRUE(boxes.texts.isEmpty());
    ASSERT_EQ(favorites.BuildMenu().size(), 1) << "added once";
    menus->BuildFavoritesMenu(); // the playing station becomes the current favourite
    EXPECT_TRUE(menus->OnMenuCommand(kRemoveFavorite));
    EXPECT_EQ(favorites.BuildMenu().value(0).commandId, 0u) << "only the empty list's placeholder is left";
    EXPECT_TRUE(menus->OnMenuCommand(kFirstEqualizer + 3));
    EXPECT_EQ(radio.GetEqualizerPreset(), 2);
    EXPECT_TRUE(menus->OnMenuCommand(kFirstLanguage));
    EXPECT_EQ(log, QStringList({ "language" }));
    EXPECT_FALSE(menus->OnMenuCommand(kCommandPlay)) << "the window's own commands are not the menus'";
}

} // namespace
