#include "ui/skin/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace
{

struct Box {
    int64_t left, top, right, bottom;
};

QRect PrimaryGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

QRect DesktopGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

int32_t ToInt32(int64_t value)
{
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void Shift(Box& box, int64_t dx, int64_t dy)
{
    box.left += dx;
    box.right += dx;
    box.top += dy;
    box.bottom += dy;
}

} // namespace

// The arithmetic is done in 64 bits: the position comes from the settings file and may be anything.
void FitRectToScreen(RECT& rect, const QRect& primaryScreen, const QRect& desktop)
{
    Box box { rect.left, rect.top, rect.right, rect.bottom };
    if (box.left == 0 && box.top == 0) {
        const int64_t left = (box.left - box.right + primaryScreen.width()) / 2 + primaryScreen.x();
        const int64_t top = (box.top - box.bottom + primaryScreen.height()) / 2 + primaryScreen.y();
        Shift(box, left - box.left, top - box.top);
    }
    const int64_t margin = std::min<int64_t>(box.bottom - box.top - 1, 32);
    const int64_t l = desktop.x();
    const int64_t t = desktop.y();
    const int64_t r = l + desktop.width();
    const int64_t b = t + desktop.height();
    if (box.left > (r - l) - margin)
        Shift(box, (r - l) - margin - box.left, 0);
    if (box.top > (b - t) - margin)
        Shift(box, 0, (b - t) - margin - box.top);
    if (box.right < l + margin)
        Shift(box, l + margin - box.right, 0);
    if (box.bottom < t + margin)
        Shift(box, 0, t + margin - box.bottom);
    rect = RECT { ToInt32(box.left), ToInt32(box.top), ToInt32(box.right), ToInt32(box.bottom) };
}

void FitRectToScreen(RECT& rect)
{
    FitRectToScreen(rect, PrimaryGeometry(), DesktopGeometry());
}

void PlaceWindowRect(QWidget* window, const RECT& rect)
{
    if (!window)
        return;
    RECT fitted = rect;
    FitRectToScreen(fitted);
    window->hide();
    window->move(fitted.left, fitted.top);
    window->resize(std::max(0, fitted.right - fitted.left), std::max(0, fitted.bottom - fitted.top));
}

void GetDesktopCenter(QPoint& point)
{
    const QRect desktop = DesktopGeometry();
    const int64_t l = desktop.x();
    const int64_t t = desktop.y();
    const int64_t r = l + desktop.width();
    const int64_t b = t + desktop.height();
    point = QPoint(ToInt32(r - (r - l) / 2), ToInt32(b - (b - t) / 2));
}

bool GetWindowNormalPos(QWidget* window, QPoint& point)
{
    if (!window)
        return false;
    point = window->isMinimized() || window->isMaximized() ? window->normalGeometry().topLeft() : window->pos();
    return true;
}
