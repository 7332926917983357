#pragma once

class QWidget;

// Fades a top-level window in or out, synchronously: short opacity steps with the window system kept
// in step, so a fade-out has ended before anything that follows it starts. Where the window system
// ignores opacity the window simply appears or disappears. A duration override (tests use 0) replaces
// every duration asked for.
class CWindowFader
{
public:
    // Shows the window and raises its opacity from 0 to 1 over ms.
    static void FadeIn(QWidget* window, int ms);
    // Lowers the opacity to 0 over ms, then hides the window and restores its opacity.
    static void FadeOut(QWidget* window, int ms);

    // A negative value removes the override.
    static void SetDurationOverride(int ms);
    static int Duration(int ms);
};
