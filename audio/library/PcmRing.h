#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Decoded samples on their way to the output: one producer (the decoding thread), one consumer (the
// output, lock-free). The last samples consumed stay readable as history, for the FFT of what is
// being heard.
class CPcmRing
{
public:
    // Set up before either side runs.
    void Reset(int channels, size_t playFrames, size_t historyFrames);

    int Channels() const { return m_channels; }
    size_t Fill() const
    {
        return size_t(m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire));
    }
    // Frames the producer may write now.
    size_t Space() const;
    void Write(const int16_t* frames, size_t count);

    // Consumer: hands up to count frames to sink(pointer, frames) in at most two runs and consumes them.
    // The sink may change them: what it leaves is what the history holds.
    template <typename Sink> size_t Consume(size_t count, Sink&& sink)
    {
        const uint64_t read = m_read.load(std::memory_order_relaxed);
        const size_t n = std::min(count, size_t(m_write.load(std::memory_order_acquire) - read));
        size_t done = 0;
        while (done < n) {
            const size_t offset = size_t((read + done) % m_capacity);
            const size_t run = std::min(n - done, m_capacity - offset);
            sink(m_data.data() + offset * size_t(m_channels), run);
            done += run;
        }
        m_read.store(read + n, std::memory_order_release);
        return n;
    }

    uint64_t ReadPosition() const { return m_read.load(std::memory_order_acquire); }
    // Copies the count frames that end at position end (at most the read position) into destination;
    // false when they are no longer (or not yet) held.
    bool CopyHistory(uint64_t end, size_t count, int16_t* destination) const;

private:
    std::vector<int16_t> m_data;
    size_t m_capacity = 1;
    size_t m_history = 0;
    int m_channels = 2;
    std::atomic<uint64_t> m_write { 0 };
    std::atomic<uint64_t> m_read { 0 };
    // Orders a history copy before the producer overwrites those frames later; never taken by the
    // consumer.
    mutable std::mutex m_historyMutex;
};
