#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

// Moves a window with the mouse from a press on its body: the window system does it when it can
// (QWindow::startSystemMove); where it cannot (some window managers, the offscreen platform), the
// window follows the mouse by hand until the button is released.
class CWindowDrag
{
public:
    // Starts moving the top-level window of widget; globalPos is the press position on the screen.
    void Begin(QWidget* widget, const QPoint& globalPos);
    // Follows the mouse while a manual move runs; returns whether one runs.
    bool Move(const QPoint& globalPos);
    void End();
    bool IsManual() const { return m_manual; }

private:
    QPointer<QWidget> m_window;
    QPoint m_offset; // press position minus window position
    bool m_manual = false;
};
