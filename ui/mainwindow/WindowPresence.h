#pragma once

#include "ui/mainwindow/WindowLayout.h"

#include <functional>

class CGdipButton;
class CGeneralProperties;
class CStationsListCtrl;
class CSystemTray;
class QWidget;

// How the main window is present on the desktop: shown or not, hidden to the tray (when the user wants
// that and the desktop has a notification area) or minimised, brought to the front, kept on top, and
// switched between its two layouts, each coming back where it was seen last. The station list follows
// the window's visibility. UI thread only.
class CWindowPresence
{
public:
    // What it shows, hides and restyles; the window owns all of it.
    struct Shared {
        QWidget& window;
        CStationsListCtrl& list;
        CGdipButton* onTopButton; // its picture shows the on-top state; null without one
        const CGeneralProperties& general; // "MinimizeToTray"
        CSystemTray& tray; // whether the desktop has a notification area
        WindowLayout& layout;
    };

    // applySkin(fadeMs): dresses the window for the layout that now shows.
    CWindowPresence(Shared shared, std::function<void(int fadeMs)> applySkin);

    // Carries out a command of the window's buttons that is the presence's (minimise, expand, on top);
    // false for any other id.
    bool OnCommand(int id);
    bool IsShown() const;
    bool HidesToTray() const;
    // Shows the hidden or minimised window and raises it.
    void BringToFront();
    // Hides the window to the tray (fading out over ms) or minimises it; where it was seen last is
    // where it comes back.
    void HideAnimated(int ms);
    void ToggleVisible(int ms);
    // The tray icon's click: hides a shown window, else brings it to the front.
    void OnTrayCommand();
    void OnToggleOnTop();
    // The other layout, at the place it was seen last.
    void OnExpand();
    // The window system minimised the window: it goes to the tray once the minimising is over, or the
    // list lets go of the catalogue.
    void OnMinimized();
    // Remembers where the shown window is, for the layout that shows.
    void StoreWindowPosition();

    // The layout as last seen (a shown window stores where it is first).
    WindowLayout CurrentLayout();
    // The layout the settings file keeps, with its on-top flag applied.
    void RestoreLayout(const WindowLayout& stored);
    bool IsExpanded() const { return m_shared.layout.expanded; }
    bool IsOnTop() const { return m_shared.layout.onTop; }

private:
    Shared m_shared;
    std::function<void(int fadeMs)> m_applySkin;
};
