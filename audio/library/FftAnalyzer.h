#pragma once

#include <cstdint>
#include <mutex>

struct AVTXContext;

// Magnitudes of a 2048-point FFT (libavutil's real transform) over Hann-windowed samples, the
// channels averaged. A full-scale sine centred on a bin gives about 1.0 there.
class CFftAnalyzer
{
public:
    static constexpr int kPoints = 2048;
    static constexpr int kBins = kPoints / 2;

    CFftAnalyzer();
    ~CFftAnalyzer();
    CFftAnalyzer(const CFftAnalyzer&) = delete;
    CFftAnalyzer& operator=(const CFftAnalyzer&) = delete;

    // frames: kPoints interleaved frames of channels (1 or 2). Writes kBins magnitudes.
    bool Compute(const int16_t* frames, int channels, float* magnitudes);

private:
    std::mutex m_mutex; // one transform at a time
    AVTXContext* m_context = nullptr;
    void (*m_transform)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
    float* m_input = nullptr; // av_malloc'd, aligned
    float* m_output = nullptr; // kBins + 1 complex values
    float m_window[kPoints];
};
