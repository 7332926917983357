#include "audio/library/StreamBuffer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

CStreamBuffer::CStreamBuffer(size_t limit)
    : m_limit(std::max<size_t>(limit, 4096))
{
    m_ring.resize(m_limit + 65536);
}

void CStreamBuffer::SetLimit(size_t bytes)
{
    bool grew = false;
    {
        std::lock_guard lock(m_mutex);
        const size_t limit = std::max<size_t>(bytes, 4096);
        grew = limit > m_limit;
        m_limit = limit;
    }
    m_changed.notify_all();
    if (grew && m_roomCallback)
        m_roomCallback(); // a producer paused at the old limit may go on
}

bool CStreamBuffer::HasRoomFor(size_t bytes) const
{
    std::lock_guard lock(m_mutex);
    const size_t fill = size_t(m_written - m_consumed);
    return fill == 0 || fill + bytes <= m_limit;
}

namespace
{

void CopyFromRing(const std::vector<uint8_t>& ring, uint64_t position, uint8_t* destination, size_t size)
{
    size_t offset = size_t(position % ring.size());
    size_t done = 0;
    while (done < size) {
        const size_t part = std::min(size - done, ring.size() - offset);
        std::memcpy(destination + done, ring.data() + offset, part);
        done += part;
        offset = 0;
    }
}

void CopyToRing(std::vector<uint8_t>& ring, uint64_t position, const uint8_t* source, size_t size)
{
    size_t offset = size_t(position % ring.size());
    size_t done = 0;
    while (done < size) {
        const size_t part = std::min(size - done, ring.size() - offset);
        std::memcpy(ring.data() + offset, source + done, part);
        done += part;
        offset = 0;
    }
}

} // namespace

void CStreamBuffer::GrowLocked(size_t needed)
{
    if (needed <= m_ring.size())
        return;
    const size_t fill = size_t(m_written - m_consumed);
    std::vector<uint8_t> pending(fill);
    CopyFromRing(m_ring, m_consumed, pending.data(), fill);
    m_ring.assign(std::max(needed, m_ring.size() * 2), 0);
    CopyToRing(m_ring, m_consumed, pending.data(), fill);
}

void CStreamBuffer::Write(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        GrowLocked(size_t(m_written - m_consumed) + size);
        CopyToRing(m_ring, m_written, data, size);
        m_written += size;
    }
    m_changed.notify_all();
}

void CStreamBuffer::StartSegment()
{
    std::lock_guard lock(m_mutex);
    if (m_written == 0 || (!m_boundaries.empty() && m_boundaries.back() == m_written))
        return;
    m_boundaries.push_back(m_written);
    m_changed.notify_all();
}

void CStreamBuffer::Finish(int error)
{
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        if (m_error == 0)
            m_error = error;
    }
    m_changed.notify_all();
}

void CStreamBuffer::SetRoomCallback(std::function<void()> callback)
{
    m_roomCallback = std::move(callback);
}

int CStreamBuffer::Read(uint8_t* destination, size_t size, int waitMs)
{
    int result = kNoData;
    {
        std::unique_lock lock(m_mutex);
        auto ready = [this] {
            return m_cancelled || m_written > m_consumed || m_finished
                || (!m_boundaries.empty() && m_boundaries.front() == m_consumed);
        };
        if (!ready() && waitMs > 0)
            m_changed.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
        if (m_cancelled)
            return kCancelled;
        uint64_t end = m_written;
        if (!m_boundaries.empty()) {
            if (m_boundaries.front() == m_consumed)
                return kSegmentEnd;
            end = std::min(end, m_boundaries.front());
        }
        if (end == m_consumed)
            return m_finished ? kEnd : kNoData;
        const size_t n = size_t(std::min<uint64_t>(end - m_consumed, size));
        CopyFromRing(m_ring, m_consumed, destination, n);
        m_consumed += n;
        result = int(n);
    }
    m_changed.notify_all();
    if (m_roomCallback)
        m_roomCallback();
    return result;
}

bool CStreamBuffer::NextSegment()
{
    std::lock_guard lock(m_mutex);
    if (m_boundaries.empty() || m_boundaries.front() != m_consumed)
        return false;
    m_boundaries.pop_front();
    return true;
}

void CStreamBuffer::Cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

uint64_t CStreamBuffer::Written() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

uint64_t CStreamBuffer::Consumed() const
{
    std::lock_guard lock(m_mutex);
    return m_consumed;
}

size_t CStreamBuffer::Fill() const
{
    std::lock_guard lock(m_mutex);
    return size_t(m_written - m_consumed);
}

bool CStreamBuffer::IsFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished;
}

int CStreamBuffer::Error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}
