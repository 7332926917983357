#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// A channel's volume and its linear slide in time. Written by API callers, read by the output
// without blocking (a sequence counter instead of a lock).
class CVolumeSlide
{
public:
    // The volume and its slide as one value, to be kept apart from the object that was changing.
    struct State {
        float from = 1.0f;
        float to = 1.0f;
        int64_t startNs = 0;
        int64_t durationNs = 0;
        float At(int64_t nowNs) const;
    };

    void Set(float value, int64_t nowNs);
    void Slide(float target, int64_t durationNs, int64_t nowNs);
    float At(int64_t nowNs) const;
    // For the output thread: never waits for a writer; false while one is busy (use the last value).
    bool TryAt(int64_t nowNs, float& value) const;
    // Waits for a writer that is busy.
    State Get() const { return Read(); }

private:
    State Read() const;
    bool TryRead(State& state) const;
    void Write(const State& state);

    std::mutex m_writers; // serialises writers; never taken by the reader
    std::atomic<uint32_t> m_sequence { 0 };
    std::atomic<float> m_from { 1.0f };
    std::atomic<float> m_to { 1.0f };
    std::atomic<int64_t> m_startNs { 0 };
    std::atomic<int64_t> m_durationNs { 0 };
};
