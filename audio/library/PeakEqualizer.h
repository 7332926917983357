#pragma once

#include "audio/library/AudioLibrary.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// The peak-equaliser effect: any number of peaking bands (biquad filters), each with its centre,
// gain and width (Q, or a bandwidth in octaves), on all channels or one.
class CPeakEqualizer
{
public:
    // Adds or changes a band; false for parameters that make no filter.
    bool SetBand(const AudioPeakEqParams& params);
    // Filters interleaved 16-bit samples in place.
    void Process(int16_t* samples, size_t frames, int channels, int sampleRate);

private:
    struct Band {
        AudioPeakEqParams params;
        int designedRate = 0;
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double z1[2] = { 0, 0 };
        double z2[2] = { 0, 0 };
    };
    static void Design(Band& band, int sampleRate);

    std::mutex m_mutex; // parameters change on API threads while the decoding thread filters
    std::vector<Band> m_bands; // guarded by m_mutex
    std::vector<float> m_work; // decoding thread only
};
