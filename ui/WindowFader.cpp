#include "ui/WindowFader.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>

namespace
{

std::atomic<int> durationOverride { -1 };
constexpr int kStepMs = 15;

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

void CWindowFader::FadeIn(QWidget* window, int ms)
{
    if (!window)
        return;
    ms = Duration(ms);
    if (ms <= 0) {
        window->setWindowOpacity(1.0);
        window->show();
        return;
    }
    window->setWindowOpacity(0.0);
    window->show();
    window->repaint();
    Ramp(window, 0.0, 1.0, ms);
}

void CWindowFader::FadeOut(QWidget* window, int ms)
{
    if (!window)
        return;
    ms = Duration(ms);
    if (ms > 0 && window->isVisible())
        Ramp(window, window->windowOpacity(), 0.0, ms);
    window->hide();
    window->setWindowOpacity(1.0);
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
