#include "audio/library/VolumeSlide.h"

#include <algorithm>
#include <thread>

float CVolumeSlide::State::At(int64_t nowNs) const
{
    if (durationNs <= 0 || nowNs >= startNs + durationNs)
        return to;
    if (nowNs <= startNs)
        return from;
    const double t = double(nowNs - startNs) / double(durationNs);
    return float(from + (to - from) * t);
}

// A sequence lock: the writer makes the counter odd while it changes the fields; a reader that saw
// an odd or changed counter reads again. Acquire loads and release stores order the fields against
// the counter without fences.
bool CVolumeSlide::TryRead(State& state, uint32_t& version) const
{
    const uint32_t before = m_sequence.load(std::memory_order_acquire);
    if (before & 1u)
        return false;
    state = State { m_from.load(std::memory_order_acquire), m_to.load(std::memory_order_acquire),
        m_startNs.load(std::memory_order_acquire), m_durationNs.load(std::memory_order_acquire) };
    version = before;
    return m_sequence.load(std::memory_order_relaxed) == before;
}

CVolumeSlide::State CVolumeSlide::Get(uint32_t& version) const
{
    State state {};
    while (!TryRead(state, version))
        std::this_thread::yield();
    return state;
}

void CVolumeSlide::Write(const State& state)
{
    const uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
    m_sequence.store(sequence + 1, std::memory_order_relaxed);
    m_from.store(state.from, std::memory_order_release);
    m_to.store(state.to, std::memory_order_release);
    m_startNs.store(state.startNs, std::memory_order_release);
    m_durationNs.store(state.durationNs, std::memory_order_release);
    m_sequence.store(sequence + 2, std::memory_order_release);
}

void CVolumeSlide::Set(float value, int64_t nowNs)
{
    std::lock_guard lock(m_writers);
    const float clamped = std::clamp(value, 0.0f, 1.0f);
    Write({ clamped, clamped, nowNs, 0 });
}

void CVolumeSlide::Slide(float target, int64_t durationNs, int64_t nowNs)
{
    std::lock_guard lock(m_writers);
    const float current = At(nowNs);
    Write({ current, std::clamp(target, 0.0f, 1.0f), nowNs, std::max<int64_t>(durationNs, 0) });
}

bool CVolumeSlide::TryGet(State& state, uint32_t& version) const
{
    for (int attempt = 0; attempt < 16; ++attempt)
        if (TryRead(state, version))
            return true;
    return false;
}

float CVolumeSlide::At(int64_t nowNs) const
{
    uint32_t version = 0;
    return Get(version).At(nowNs);
}
