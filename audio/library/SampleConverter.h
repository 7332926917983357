#pragma once

#include <cstdint>
#include <vector>

struct AVFrame;
struct SwrContext;

// Turns decoded audio into interleaved 16-bit samples (libswresample), and changes sample rates.
class CSampleConverter
{
public:
    CSampleConverter() = default;
    ~CSampleConverter();
    CSampleConverter(const CSampleConverter&) = delete;
    CSampleConverter& operator=(const CSampleConverter&) = delete;

    // Appends the frame's samples as interleaved 16-bit with outChannels (1 or 2) at the frame's rate.
    bool ConvertFrame(const AVFrame& frame, int outChannels, std::vector<int16_t>& out);
    // Appends interleaved 16-bit samples resampled from inRate to outRate.
    bool Resample(const int16_t* samples, int frames, int channels, int inRate, int outRate, std::vector<int16_t>& out);
    // Forgets the samples held back from earlier input, for a stream that starts afresh.
    void Reset();

private:
    bool Configure(const void* inLayout, int inFormat, int inRate, int outChannels, int outRate);
    bool Run(
        const uint8_t* const* input, int frames, int inRate, int outChannels, int outRate, std::vector<int16_t>& out);

    SwrContext* m_swr = nullptr;
    // The input the context was made for.
    uint64_t m_layoutKey = 0;
    int m_inChannels = 0;
    int m_inFormat = -1;
    int m_inRate = 0;
    int m_outChannels = 0;
    int m_outRate = 0;
};
