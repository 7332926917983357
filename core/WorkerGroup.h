#pragma once

#include "core/NamedMutex.h"
#include "core/WindowMessage.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// The short worker threads one object starts (downloads, checks). The object's destructor calls
// CancelAndWait: the cancel flag stops their transfers, and it returns once every worker has ended, so a
// worker never outlives the object whose members it uses.
class CWorkerGroup
{
public:
    CWorkerGroup() = default;
    ~CWorkerGroup();

    CWorkerGroup(const CWorkerGroup&) = delete;
    CWorkerGroup& operator=(const CWorkerGroup&) = delete;

    // Runs work on a new detached thread (without the fault translator); false when none could start or
    // the group is shutting down.
    bool Start(std::function<void()> work);
    // Raises the cancel flag and waits for every running worker. Later starts are refused.
    void CancelAndWait();
    // Number of workers still running.
    int Running() const;
    // Handed to transfers so that they stop when the group shuts down.
    const std::atomic<bool>* CancelFlag() const { return &m_cancel; }

private:
    std::atomic<bool> m_cancel { false };
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    int m_running = 0; // guarded by m_mutex
};

// Posts a message to owner from any thread. The post goes through the application object's thread,
// where owner is checked first: an owner deleted in the meantime (a dialog closed while its check ran)
// receives nothing. The pointer must have been taken on the owner's thread.
void PostWindowMessageWhenAlive(const QPointer<QObject>& owner, int message, WPARAM wParam = 0, LPARAM lParam = 0);

// The rule of the periodic update checks: under runMutex, taken without waiting, when lastCheck lies more
// than intervalSeconds away (either way) it is moved to now and start runs. True when the caller is to
// store the time: a check was started, or the stored time lies less than 10 s away. The mutex is released
// on every way out, a thrown processor fault included.
bool RunPeriodicCheck(
    CNamedMutex& runMutex, QDateTime& lastCheck, qint64 intervalSeconds, const std::function<void()>& start);
