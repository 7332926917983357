#include "audio/library/PcmRing.h"

#include <cstring>

void CPcmRing::Reset(int channels, size_t playFrames, size_t historyFrames)
{
    m_channels = channels;
    m_history = historyFrames;
    m_capacity = playFrames + historyFrames + 16384;
    m_data.assign(m_capacity * size_t(channels), 0);
    m_write = 0;
    m_read = 0;
}

size_t CPcmRing::Space() const
{
    const size_t fill = Fill();
    const size_t usable = m_capacity - m_history;
    return fill >= usable ? 0 : usable - fill;
}

void CPcmRing::Write(const int16_t* frames, size_t count)
{
    std::lock_guard lock(m_historyMutex);
    const uint64_t write = m_write.load(std::memory_order_relaxed);
    size_t done = 0;
    while (done < count) {
        const size_t offset = size_t((write + done) % m_capacity);
        const size_t run = std::min(count - done, m_capacity - offset);
        std::memcpy(m_data.data() + offset * size_t(m_channels), frames + done * size_t(m_channels),
            run * size_t(m_channels) * sizeof(int16_t));
        done += run;
    }
    m_write.store(write + count, std::memory_order_release);
}

bool CPcmRing::CopyHistory(uint64_t end, size_t count, int16_t* destination) const
{
    std::lock_guard lock(m_historyMutex);
    const uint64_t read = ReadPosition();
    if (end > read || count > m_history || end < count || end - count + m_history < read)
        return false;
    const uint64_t start = end - count;
    size_t done = 0;
    while (done < count) {
        const size_t offset = size_t((start + done) % m_capacity);
        const size_t run = std::min(count - done, m_capacity - offset);
        std::memcpy(destination + done * size_t(m_channels), m_data.data() + offset * size_t(m_channels),
            run * size_t(m_channels) * sizeof(int16_t));
        done += run;
    }
    // The producer may have overwritten the oldest frames while they were copied.
    return start + m_history >= ReadPosition();
}
