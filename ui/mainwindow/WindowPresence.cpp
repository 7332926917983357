#include "ui/mainwindow/WindowPresence.h"

#include "ui/controls/GdipButton.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/options/GeneralProperties.h"
#include "ui/skin/WindowFader.h"
#include "ui/skin/WindowPlacement.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QWidget>

CWindowPresence::CWindowPresence(Shared shared, std::function<void(int fadeMs)> applySkin)
    : m_shared(shared)
    , m_applySkin(std::move(applySkin))
{
}

bool CWindowPresence::OnCommand(int id)
{
    using namespace main_window_commands;
    switch (id) {
    case kCommandMinimize:
        ToggleVisible(250);
        return true;
    case kCommandExpand:
        OnExpand();
        return true;
    case kCommandOnTop:
        OnToggleOnTop();
        return true;
    default:
        return false;
    }
}

bool CWindowPresence::IsShown() const
{
    return m_shared.window.isVisible() && !m_shared.window.isMinimized();
}

bool CWindowPresence::HidesToTray() const
{
    // Without a notification area a hidden window could not be reached again: it is minimised instead.
    return m_shared.general.m_minimizeToTray && m_shared.tray.Backend().IsAvailable();
}

void CWindowPresence::BringToFront()
{
    if (!IsShown())
        ToggleVisible(250);
    m_shared.window.raise();
    m_shared.window.activateWindow();
}

void CWindowPresence::HideAnimated(int ms)
{
    // Where the window was seen last is where it comes back, whatever hides it.
    if (IsShown())
        StoreWindowPosition();
    if (HidesToTray())
        CWindowFader::FadeOut(&m_shared.window, ms);
    else
        m_shared.window.showMinimized();
    m_shared.list.Hide();
}

void CWindowPresence::ToggleVisible(int ms)
{
    if (IsShown()) {
        HideAnimated(ms);
        return;
    }
    if (HidesToTray())
        CWindowFader::FadeIn(&m_shared.window, ms);
    m_shared.window.showNormal();
    m_shared.list.UpdateVisibility();
}

void CWindowPresence::OnTrayCommand()
{
    if (IsShown())
        HideAnimated(250);
    else
        BringToFront();
}

void CWindowPresence::OnToggleOnTop()
{
    QWidget& window = m_shared.window;
    bool& onTop = m_shared.layout.onTop;
    onTop = !onTop;
    if (m_shared.onTopButton)
        m_shared.onTopButton->SetAlternate(!onTop);
    const bool wasShown = IsShown();
    if (wasShown)
        HideAnimated(250);
    // Changing the flags makes a new native window, hidden and without its outline.
    const QRegion outline = window.mask();
    Qt::WindowFlags flags = window.windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    flags.setFlag(Qt::Tool, onTop);
    window.setWindowFlags(flags);
    if (!outline.isEmpty())
        window.setMask(outline);
    if (wasShown) {
        if (HidesToTray())
            CWindowFader::FadeIn(&window, 250);
        window.showNormal();
        m_shared.list.UpdateVisibility();
        window.activateWindow();
    }
}

void CWindowPresence::OnExpand()
{
    if (IsShown())
        StoreWindowPosition();
    m_shared.layout.expanded = !m_shared.layout.expanded;
    m_applySkin(50);
}

void CWindowPresence::OnMinimized()
{
    if (!HidesToTray()) {
        m_shared.list.Hide();
        return;
    }
    // Once the minimising has run its course: hiding from inside it would be undone by it.
    QMetaObject::invokeMethod(
        &m_shared.window,
        [this] {
            if (m_shared.window.isVisible() && m_shared.window.isMinimized())
                HideAnimated(250);
        },
        Qt::QueuedConnection);
}

void CWindowPresence::StoreWindowPosition()
{
    QPoint position;
    if (!GetWindowNormalPos(&m_shared.window, position))
        return;
    WindowLayout& layout = m_shared.layout;
    (layout.expanded ? layout.expandedPos : layout.windowPos) = position;
}

WindowLayout CWindowPresence::CurrentLayout()
{
    // A hidden or minimised window keeps the position it was last seen at.
    if (IsShown())
        StoreWindowPosition();
    return m_shared.layout;
}

void CWindowPresence::RestoreLayout(const WindowLayout& stored)
{
    m_shared.layout.expanded = stored.expanded;
    // Toggled once from the opposite: the window takes the stored flag's style.
    m_shared.layout.onTop = !stored.onTop;
    OnToggleOnTop();
    m_shared.layout.windowPos = stored.windowPos;
    m_shared.layout.expandedPos = stored.expandedPos;
}
