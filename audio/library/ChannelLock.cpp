#include "audio/library/ChannelLock.h"

bool CChannelLock::Lock()
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(m_mutex);
    if (m_depth > 0 && m_owner == self) {
        ++m_depth;
        return true;
    }
    m_released.wait(lock, [this] { return m_closed || m_depth == 0; });
    if (m_closed)
        return false;
    m_owner = self;
    m_depth = 1;
    return true;
}

bool CChannelLock::Unlock()
{
    std::lock_guard lock(m_mutex);
    if (m_depth == 0 || m_owner != std::this_thread::get_id())
        return false;
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        m_released.notify_all();
    }
    return true;
}

void CChannelLock::Close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_released.notify_all();
}

void CChannelLock::WaitUntilReleasedByOthers()
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [&] { return m_depth == 0 || m_owner == self; });
}

bool CChannelLock::HeldByCaller() const
{
    std::lock_guard lock(m_mutex);
    return m_depth > 0 && m_owner == std::this_thread::get_id();
}
