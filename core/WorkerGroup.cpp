#include "core/WorkerGroup.h"

#include "core/Thread.h"

#include <QCoreApplication>

CWorkerGroup::~CWorkerGroup()
{
    CancelAndWait();
}

bool CWorkerGroup::Start(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_cancel)
            return false;
        ++m_running;
    }
    const bool started = BeginThread(
        [this, work = std::move(work)] {
            work();
            std::lock_guard lock(m_mutex);
            --m_running;
            m_ended.notify_all(); // under the lock: the group may be destroyed as soon as it is released
        },
        false);
    if (!started) {
        std::lock_guard lock(m_mutex);
        --m_running;
        m_ended.notify_all();
    }
    return started;
}

void CWorkerGroup::CancelAndWait()
{
    std::unique_lock lock(m_mutex);
    m_cancel = true;
    m_ended.wait(lock, [this] { return m_running == 0; });
}

int CWorkerGroup::Running() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

void PostWindowMessageWhenAlive(const QPointer<QObject>& owner, int message, WPARAM wParam, LPARAM lParam)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || owner.isNull())
        return;
    QMetaObject::invokeMethod(
        app,
        [owner, message, wParam, lParam] {
            if (owner)
                PostWindowMessage(owner.data(), message, wParam, lParam);
        },
        Qt::QueuedConnection);
}

bool RunPeriodicCheck(
    CNamedMutex& runMutex, QDateTime& lastCheck, qint64 intervalSeconds, const std::function<void()>& start)
{
    if (!runMutex.TryLock())
        return false;
    struct Unlock {
        CNamedMutex& mutex;
        ~Unlock() { mutex.Unlock(); }
    } unlock { runMutex };

    const QDateTime now = QDateTime::currentDateTime();
    const qint64 seconds = qAbs(lastCheck.secsTo(now));
    if (seconds <= intervalSeconds)
        return seconds < 10;
    lastCheck = now;
    start();
    return true;
}
