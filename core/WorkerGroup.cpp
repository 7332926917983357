#include "core/WorkerGroup.h"

#include "core/Thread.h"

#include <QCoreApplication>

#include <deque>

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

namespace
{

// Carries the messages of PostWindowMessageWhenAlive to the application's thread. The messages wait in a
// queue of ours under our own lock, and what goes through Qt's event queue is a call by name that carries
// nothing: every byte the two threads share is handed over under a lock that the thread sanitizer sees.
class CMessageRelay : public QObject
{
    Q_OBJECT

public:
    struct Message {
        QPointer<QObject> owner;
        int message;
        WPARAM wParam;
        LPARAM lParam;
    };

    void Post(Message message)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(message));
        }
        QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
    }

    // Runs on the application's thread; one call delivers every message queued so far, in order.
    Q_INVOKABLE void Deliver()
    {
        std::deque<Message> queue;
        {
            std::lock_guard lock(m_mutex);
            queue.swap(m_queue);
        }
        for (const Message& message : queue) {
            if (message.owner)
                PostWindowMessage(message.owner.data(), message.message, message.wParam, message.lParam);
        }
    }

private:
    std::mutex m_mutex;
    std::deque<Message> m_queue; // guarded by m_mutex
};

} // namespace

void PostWindowMessageWhenAlive(const QPointer<QObject>& owner, int message, WPARAM wParam, LPARAM lParam)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || owner.isNull())
        return;
    // Made once, on whichever thread posts first, and kept for the whole process.
    static CMessageRelay* const relay = [app] {
        auto* made = new CMessageRelay;
        made->moveToThread(app->thread());
        return made;
    }();
    relay->Post({ owner, message, wParam, lParam });
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

#include "WorkerGroup.moc"
