#pragma once

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

struct AVFrame;
struct SwrContext;

// Lets a vector grow without zero-filling what is written over at once (decoded samples).
template <typename T> struct UninitialisedAllocator : std::allocator<T> {
    UninitialisedAllocator() = default;
    template <typename U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept { }
    template <typename U> void construct(U* place) noexcept { ::new (static_cast<void*>(place)) U; }
    template <typename U, typename... Args> void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

// Interleaved 16-bit samples.
using SampleVector = std::vector<int16_t, UninitialisedAllocator<int16_t>>;

// Turns decoded audio into interleaved 16-bit samples (libswresample), and changes sample rates.
class CSampleConverter
{
public:
    CSampleConverter() = default;
    ~CSampleConverter();
    CSampleConverter(const CSampleConverter&) = delete;
    CSampleConverter& operator=(const CSampleConverter&) = delete;

    // Appends the frame's samples as interleaved 16-bit with outChannels (1 or 2) at the frame's rate.
    bool ConvertFrame(const AVFrame& frame, int outChannels, SampleVector& out);
    // Appends interleaved 16-bit samples resampled from inRate to outRate.
    bool Resample(const int16_t* samples, int frames, int channels, int inRate, int outRate, SampleVector& out);
    // Forgets the samples held back from earlier input, for a stream that starts afresh.
    void Reset();

private:
    bool Configure(const void* inLayout, int inFormat, int inRate, int outChannels, int outRate);
    bool Run(const uint8_t* const* input, int frames, int inRate, int outChannels, int outRate, SampleVector& out);

    SwrContext* m_swr = nullptr;
    // The input the context was made for.
    uint64_t m_layoutKey = 0;
    int m_inChannels = 0;
    int m_inFormat = -1;
    int m_inRate = 0;
    int m_outChannels = 0;
    int m_outRate = 0;
};
