#pragma once

#include "audio/library/AudioLibrary.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Peaking bands (biquad filters), each with its centre, gain and width (Q, or a bandwidth in octaves),
// on all channels or one. New bands are not switched to at once, which would step the wave: the new
// filters first run unheard until they have settled, then the sound fades from the old filters'
// output to theirs.
class CPeakEqualizer
{
public:
    // The band as it will be used (gain limited to -15..15 dB); false for parameters that make no filter.
    static bool Check(const AudioPeakEqParams& params, AudioPeakEqParams& checked);

    // The bands from now on, from any thread. A change is taken up once no other has followed for a
    // few milliseconds, so that bands set one by one are faded to together.
    void SetBands(std::vector<AudioPeakEqParams> bands);

    // The rest runs on one processing thread at a time.
    // Filters interleaved 16-bit samples in place. Never waits for SetBands: a change that cannot be
    // taken up now is taken up by a later block.
    void Process(int16_t* samples, size_t frames, int channels, int sampleRate);
    // Whether Process may change the sound: there are bands, or a change to fade to or from.
    bool Active() const;

    static constexpr int kSettleMs = 10; // a change waits this long for the next
    static constexpr int kWarmMs = 30; // new filters run unheard this long (ten times the slowest one's decay)
    static constexpr int kFadeMs = 20;

private:
    struct Filter {
        AudioPeakEqParams params;
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double z1[2] = { 0, 0 };
        double z2[2] = { 0, 0 };
    };
    using Bank = std::vector<Filter>;
    static void Design(Filter& filter, int sampleRate);
    static void Run(Bank& bank, float* work, size_t frames, int channels);
    void TakeChange(int sampleRate);

    mutable std::mutex m_mutex;
    std::vector<AudioPeakEqParams> m_wanted; // guarded by m_mutex
    std::chrono::steady_clock::time_point m_changedAt; // guarded by m_mutex
    std::atomic<uint64_t> m_generation { 0 }; // of m_wanted; written under m_mutex

    // Processing thread only.
    uint64_t m_taken = 0; // the generation last taken up
    Bank m_bank; // what is heard
    Bank m_next; // what is faded to, while m_fading
    bool m_fading = false;
    size_t m_position = 0; // frames since the change was taken up
    size_t m_warmFrames = 0;
    size_t m_fadeFrames = 0;
    int m_rate = 0;
    int m_channels = 0;
    std::vector<float> m_dry;
    std::vector<float> m_wet;
    std::vector<float> m_incoming;
};
