#include "ui/skin/WindowFader.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <xcb/xcb.h>

namespace
{

std::atomic<int> durationOverride { -1 };
constexpr int kStepMs = 15;
std::function<bool()> opacityProbe; // UI thread only

// The screen the application's X connection was opened on, as the display name says.
int DefaultScreen()
{
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        return 0;
    std::free(host);
    return screen;
}

// Runs the opacity from one end to the other over ms, blocking.
void Ramp(QWidget* window, qreal from, qreal to, int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qreal progress = std::min<qreal>(1.0, qreal(clock.elapsed()) / ms);
        window->setWindowOpacity(from + (to - from) * progress);
        QGuiApplication::sync();
        if (progress >= 1.0)
            break;
        QThread::msleep(kStepMs);
    }
}

} // namespace

bool CWindowFader::FadeIn(QWidget* window, int ms)
{
    if (!window)
        return false;
    ms = Duration(ms);
    if (ms <= 0 || !OpacityShows()) {
        window->setWindowOpacity(1.0);
        window->show();
        return false;
    }
    window->setWindowOpacity(0.0);
    window->show();
    window->repaint();
    Ramp(window, 0.0, 1.0, ms);
    return true;
}

bool CWindowFader::FadeOut(QWidget* window, int ms)
{
    if (!window)
        return false;
    ms = Duration(ms);
    const bool fades = ms > 0 && window->isVisible() && OpacityShows();
    if (fades)
        Ramp(window, window->windowOpacity(), 0.0, ms);
    window->hide();
    window->setWindowOpacity(1.0);
    return fades;
}

void CWindowFader::SetDurationOverride(int ms)
{
    durationOverride = ms;
}

int CWindowFader::Duration(int ms)
{
    const int override = durationOverride.load();
    return override >= 0 ? override : ms;
}

bool CWindowFader::OpacityShows()
{
    if (opacityProbe)
        return opacityProbe();
    // Only X11 shows it; Wayland and the offscreen platform ignore a window's opacity and warn at every
    // step.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    return connection && CompositorRuns(connection, DefaultScreen());
}

bool CWindowFader::CompositorRuns(xcb_connection_t* connection, int screen)
{
    if (!connection || xcb_connection_has_error(connection))
        return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.c_str()), nullptr);
    if (!atom)
        return false;
    // Asked only if it exists: no such atom, no manager ever took the selection.
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return false;
    const bool owned = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

void CWindowFader::SetOpacityProbe(std::function<bool()> probe)
{
    opacityProbe = std::move(probe);
}
