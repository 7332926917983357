// The window's menus, which CMainMenus builds and shows: the main menu (right click on the window or
// the tray icon), the Favorites and Sources buttons' menus and the commands only the menus offer; and
// the window's own state changes.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/controls/GdipButton.h"
#include "ui/desktop/MprisService.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QMenu>
#include <QWindowStateChangeEvent>

void CKavriluneDlg::CreateMenus()
{
    CMainMenus::Hooks hooks;
    hooks.isOnTop = [this] { return m_onTop; };
    hooks.isShown = [this] { return IsShown(); };
    hooks.button = [this](int commandId) -> QWidget* { return Button(commandId); };
    hooks.command = [this](int commandId) { OnCommand(commandId); };
    hooks.confirmStopRecording = [this] { return ConfirmStopRecording(false); };
    hooks.play = [this](const CStationItem& station) { PlayStation(station, true); };
    hooks.languageChosen = [this] {
        UpdateButtons();
        MarkDirty();
    };
    m_menus = std::make_unique<CMainMenus>(
        CMainMenus::Shared { *this, m_radio, m_favorites, m_history, *m_list }, std::move(hooks));
}

std::unique_ptr<QMenu> CKavriluneDlg::BuildMainMenu()
{
    return m_menus->BuildMainMenu();
}

std::unique_ptr<QMenu> CKavriluneDlg::BuildFavoritesMenu()
{
    return m_menus->BuildFavoritesMenu();
}

std::unique_ptr<QMenu> CKavriluneDlg::BuildSourcesMenu()
{
    return m_menus->BuildSourcesMenu();
}

void CKavriluneDlg::OnContextMenu()
{
    m_menus->ShowContextMenu();
}

void CKavriluneDlg::ShowFavoritesMenu()
{
    m_menus->ShowFavoritesMenu();
}

void CKavriluneDlg::ShowSourcesMenu()
{
    m_menus->ShowSourcesMenu();
}

// --- window state ---

void CKavriluneDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange) {
        m_mpris->NotifyChanged();
        return;
    }
    if (event->type() != QEvent::WindowStateChange)
        return;
    UpdateSpectrumTimer();
    // Minimised by the window system: hidden to the tray when the user wants that and the desktop has
    // one, and the list lets go of the catalogue either way.
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (change->oldState().testFlag(Qt::WindowMinimized) || !isMinimized())
        return;
    if (!HidesToTray()) {
        m_list->Hide();
        return;
    }
    // Once the minimising has run its course: hiding from inside it would be undone by it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isVisible() && isMinimized())
                HideAnimated(250);
        },
        Qt::QueuedConnection);
}
