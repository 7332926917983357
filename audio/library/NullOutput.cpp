#include "audio/library/NullOutput.h"

#include "audio/library/Mixer.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace
{

std::mutex knobsMutex;
NullOutputKnobs knobs; // guarded by knobsMutex
std::atomic<int64_t> underrunUntilNs { 0 };

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void CNullOutput::SetKnobs(const NullOutputKnobs& value)
{
    std::lock_guard lock(knobsMutex);
    knobs = value;
}

NullOutputKnobs CNullOutput::Knobs()
{
    std::lock_guard lock(knobsMutex);
    return knobs;
}

void CNullOutput::SimulateUnderrun(int ms)
{
    underrunUntilNs = NowNs() + int64_t(ms) * 1000000;
}

CNullOutput::CNullOutput(CMixer& mixer, int sampleRate)
    : m_mixer(mixer)
    , m_rate(sampleRate)
    , m_knobs(Knobs())
{
}

CNullOutput::~CNullOutput()
{
    Stop();
}

bool CNullOutput::Start()
{
    m_mixer.Prepare(m_rate);
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CNullOutput::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

int CNullOutput::LatencyFrames() const
{
    return m_rate * (kBlockMs + m_knobs.addedLatencyMs) / 1000;
}

void CNullOutput::Run()
{
    const int frames = m_rate * kBlockMs / 1000;
    std::vector<int16_t> block(size_t(frames) * 2);
    const auto period = std::chrono::milliseconds(kBlockMs);
    auto next = std::chrono::steady_clock::now();
    while (!m_stop) {
        if (m_knobs.noClock) {
            // As fast as the channels deliver, but without starving them.
            for (int tries = 0; tries < 200 && !m_stop && !m_mixer.ReadyFor(frames); ++tries)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            next += period;
            const auto now = std::chrono::steady_clock::now();
            if (next < now - 10 * period)
                next = now; // fell far behind (a suspended process): do not catch up in a burst
            std::this_thread::sleep_until(next);
        }
        if (m_stop)
            break;
        m_mixer.Mix(block.data(), frames, NowNs() < underrunUntilNs.load());
        if (m_knobs.tap)
            m_knobs.tap(block.data(), frames);
    }
}
