#pragma once

#include <QStringList>

#include <functional>
#include <memory>

class CFavorites;
class CRadioManager;
class CStationItem;
class CStationsListCtrl;
class QMenu;
class QWidget;

// The main window's menus: the main menu (right click on the window or the tray icon), the Favorites
// and Sources buttons' menus, and the commands only the menus offer (adding, moving up and removing a
// favourite, the equalizer presets, the languages).
//
// UI thread only.
class CMainMenus
{
public:
    // What the menus show and change; the window owns all of it.
    struct Shared {
        QWidget& window; // the menus' parent, raised before the main menu opens
        CRadioManager& radio;
        CFavorites& favorites;
        CFavorites& history;
        CStationsListCtrl& list;
    };

    // What the menus ask of the window.
    struct Hooks {
        std::function<bool()> isOnTop;
        std::function<bool()> isShown;
        // The image button of a command, which a button's menu opens beside.
        std::function<QWidget*(int commandId)> button;
        // Carries out a chosen command of the window's.
        std::function<void(int commandId)> command;
        // Asks about a running recording before another source plays; false when the user declined.
        std::function<bool()> confirmStopRecording;
        // Plays a station and adds it to the history.
        std::function<void(const CStationItem&)> play;
        // Another language was chosen: the window's texts follow it and the choice is to be saved.
        std::function<void()> languageChosen;
    };

    CMainMenus(Shared shared, Hooks hooks);

    // The menus as they would be shown now; the caller owns them.
    std::unique_ptr<QMenu> BuildMainMenu();
    std::unique_ptr<QMenu> BuildFavoritesMenu();
    std::unique_ptr<QMenu> BuildSourcesMenu();
    // The main menu at the mouse pointer.
    void ShowContextMenu();
    // The Favorites button's menu, beside the button; the Sources button's menu, above it.
    void ShowFavoritesMenu();
    void ShowSourcesMenu();
    // Plays the current station from its source of that number (1 first), asking about a running
    // recording first.
    void OnSourceChosen(int number);
    void OnAddToFavorites();
    void OnMoveFavoriteUp();
    // Carries out a command only the menus offer; false for any other id.
    bool OnMenuCommand(int id);

private:
    void FillFavoritesMenu(QMenu& menu);
    // The current station's addresses as the sources menu lists them (empty ones included).
    QStringList MenuSources();

    Shared m_shared;
    Hooks m_hooks;
};
