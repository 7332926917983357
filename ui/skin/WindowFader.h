#pragma once

#include <functional>

class QWidget;
struct xcb_connection_t;

// Fades a top-level window in or out, synchronously: short opacity steps with the window system kept
// in step, so a fade-out has ended before anything that follows it starts. Where the window system
// ignores opacity (X11 without a compositing manager, Wayland) the window simply appears or disappears,
// without waiting. A duration override (tests use 0) replaces every duration asked for.
class CWindowFader
{
public:
    // Shows the window and raises its opacity from 0 to 1 over ms. True if it took opacity steps.
    static bool FadeIn(QWidget* window, int ms);
    // Lowers the opacity to 0 over ms, then hides the window and restores its opacity. True if it took
    // opacity steps.
    static bool FadeOut(QWidget* window, int ms);

    // A negative value removes the override.
    static void SetDurationOverride(int ms);
    static int Duration(int ms);

    // Whether the window system shows a window's opacity now: on X11 while a compositing manager runs;
    // never elsewhere.
    static bool OpacityShows();
    // Whether a compositing manager owns the screen's _NET_WM_CM_S<screen> selection.
    static bool CompositorRuns(xcb_connection_t* connection, int screen);
    // Replaces the answer of OpacityShows (an empty function restores the window system's).
    static void SetOpacityProbe(std::function<bool()> probe);
};
