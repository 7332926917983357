#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// The lock of one channel: recursive per thread, and closable. Once the channel is freed the lock is
// closed: threads waiting for it give up, and nobody can take it again.
class CChannelLock
{
public:
    // Takes the lock, waiting for another owner. False when the lock is closed.
    bool Lock();
    // Releases one level; false when the calling thread does not hold the lock.
    bool Unlock();
    // Closes the lock and wakes every waiter.
    void Close();
    // Waits until no other thread holds the lock (the calling thread may hold it itself).
    void WaitUntilReleasedByOthers();
    bool HeldByCaller() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::thread::id m_owner; // guarded by m_mutex
    int m_depth = 0; // guarded by m_mutex
    bool m_closed = false; // guarded by m_mutex
};

// Holds a channel lock for a scope when it could be taken.
class CChannelLockGuard
{
public:
    explicit CChannelLockGuard(CChannelLock& lock)
        : m_lock(lock)
        , m_locked(lock.Lock())
    {
    }
    ~CChannelLockGuard()
    {
        if (m_locked)
            m_lock.Unlock();
    }
    CChannelLockGuard(const CChannelLockGuard&) = delete;
    CChannelLockGuard& operator=(const CChannelLockGuard&) = delete;
    bool Locked() const { return m_locked; }

private:
    CChannelLock& m_lock;
    bool m_locked;
};
