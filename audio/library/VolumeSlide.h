#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// A channel's volume and its linear slide in time, as its callers asked for it. Written by API callers,
// read by the output without blocking (a sequence counter instead of a lock). Each change has a
// version of its own, by which the mixer sees a change it has not yet followed.
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
    // For the output thread: never waits for a writer; false while one is busy (the change is not
    // complete: keep what was read before).
    bool TryGet(State& state, uint32_t& version) const;
    // Waits for a writer that is busy.
    State Get(uint32_t& version) const;

private:
    bool TryRead(State& state, uint32_t& version) const;
    void Write(const State& state);

    std::mutex m_writers; // serialises writers; never taken by the reader
    std::atomic<uint32_t> m_sequence { 0 };
    std::atomic<float> m_from { 1.0f };
    std::atomic<float> m_to { 1.0f };
    std::atomic<int64_t> m_startNs { 0 };
    std::atomic<int64_t> m_durationNs { 0 };
};
