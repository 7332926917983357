#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CChannel;

// Mixes the playing channels into the output, always as interleaved 16-bit stereo. The output calls
// Mix() from its own thread (the SDL callback or the null output's clock); it never allocates and
// takes only the short list lock, never a lock a decoder holds.
class CMixer
{
public:
    CMixer();

    // Sizes the scratch buffer for the output's rate; called before the output starts.
    void Prepare(int maxFrames, int sampleRate);
    // False once the output is lost: nothing can play until the next output is prepared.
    bool Add(std::shared_ptr<CChannel> channel);
    // Takes the channel out; the reference is returned so that it is dropped outside the list lock.
    std::shared_ptr<CChannel> Remove(const CChannel* channel);

    // starve: the output simulates an underrun, every channel finds no data.
    void Mix(int16_t* out, int frames, bool starve);
    // True when every playing channel can give frames now (or has ended).
    bool ReadyFor(int frames);
    // The output can play no more (its device or sound server is gone): every channel stops.
    void OutputLost();

private:
    std::mutex m_lock;
    std::vector<std::shared_ptr<CChannel>> m_channels; // guarded by m_lock
    std::vector<int32_t> m_scratch; // guarded by m_lock
    int m_rate = 44100; // guarded by m_lock
    bool m_lost = false; // guarded by m_lock
};
