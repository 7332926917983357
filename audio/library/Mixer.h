#pragma once

#include "audio/library/VolumeSlide.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CChannel;
class COutputDevice;

// Mixes the playing channels into the output, always as interleaved 16-bit stereo. The output calls
// Mix() from its own thread (the SDL callback, the sound server's mainloop or the null output's clock);
// it never allocates and takes only the short list lock, never a lock a decoder holds.
//
// A change of a channel's volume takes effect at the first frame that can still be changed: it starts
// from the volume already mixed there, and a slide runs its whole length from there. For an output
// that queues a lot ahead of the ear (the sound server), the mixer keeps what each channel gave before
// its volume for the span still queued, so that a change that must be heard now (a volume change, a
// stop, a channel that starts while others play) can be mixed again over what is queued and not yet
// heard; that output asks for it on its own thread, and the caller never waits for it.
class CMixer
{
public:
    CMixer();

    // Sizes the buffers for the output; called before the output starts. remixFrames: the most the
    // output may ask Remix() for (0: it never does).
    void Prepare(int sampleRate, int remixFrames = 0);
    // The output that rewrites its queue when something must be heard at once; null before it stops.
    // While one is set, a volume change waits for its Remix() to take effect.
    void SetRewriter(COutputDevice* output);
    // False once the output is lost: nothing can play until the next output is prepared.
    bool Add(std::shared_ptr<CChannel> channel);
    // Takes the channel out; the reference is returned so that it is dropped outside the list lock.
    // cut: its caller stopped it, and what it has queued is dropped; otherwise (it ended) that plays out.
    std::shared_ptr<CChannel> Remove(const CChannel* channel, bool cut = false);
    // A channel's volume was set or began to slide: what is queued takes it.
    void VolumeChanged();

    // starve: the output simulates an underrun, every channel finds no data. ahead: the frames the
    // output holds before this block, which the listener hears first (-1: not known, taken as none).
    void Mix(int16_t* out, int frames, bool starve, int ahead = -1);
    // The time until the last frame mixed is heard, where the output tells it; -1 where it does not.
    int64_t UnheardNs() const;
    // For the output that rewrites its queue, on its own thread: mixes the last frames it was given
    // (at most frames: those that can still be changed) again into out, as they sound now. Returns
    // how many; the output writes them over the end of its queue. Called with 0 frames where nothing
    // can be mixed again, a volume change takes effect at the next frame mixed.
    int Remix(int16_t* out, int frames);
    // True when every playing channel can give frames now (or has ended).
    bool ReadyFor(int frames);
    // The output can play no more (its device or sound server is gone): every channel stops.
    void OutputLost();
    // Whether the output was lost since it was last prepared.
    bool IsLost();

private:
    // A volume as a voice's frames are mixed with it: a linear slide over the output's frame positions.
    struct Gain {
        float from = 1.0f;
        float to = 1.0f;
        uint64_t start = 0; // the position where it leaves from
        uint64_t frames = 0; // how long it takes to reach to
        float At(uint64_t position) const;
    };
    // What one channel gave for the frames the output may still rewrite, before its volume, as
    // stereo frames in a ring indexed by the output's frame position.
    struct Voice {
        std::shared_ptr<CChannel> channel; // null once taken out of the mix
        std::vector<int16_t> frames;
        uint64_t start = 0; // the positions it holds frames for: [start, end)
        uint64_t end = 0;
        Gain gain; // the volume its frames are mixed with
        uint32_t version = 0; // the version of the channel's volume that gain follows
        CVolumeSlide::State taken; // once taken out: its volume then, and that volume's version
        uint32_t takenVersion = 0;
        bool cut = false; // taken out by its caller: its queued frames are dropped at the next remix
        bool used = false;
    };

    template <typename GainAt>
    void AddVoice(const Voice& voice, uint64_t first, int count, int32_t* mix, GainAt&& gainAt);
    void TakeFrames(Voice& voice, uint64_t first, int count, bool starve);
    void MoveBack(Voice& voice, uint64_t newStart);
    // A change of the voice's volume that it does not yet follow takes effect from position on.
    void FollowVolume(Voice& voice, uint64_t position);
    uint64_t Frames(int64_t ns) const;
    void RewriteQueued();

    std::mutex m_lock;
    std::vector<Voice> m_voices; // guarded by m_lock: slots are reused, never freed while playing
    std::vector<int32_t> m_scratch; // guarded by m_lock
    std::vector<int16_t> m_moved; // guarded by m_lock: a voice's frames while they move
    size_t m_capacity = 0; // guarded by m_lock: frames each voice holds
    int m_remixFrames = 0; // guarded by m_lock
    uint64_t m_position = 0; // guarded by m_lock: frames mixed so far
    int m_rate = 44100; // guarded by m_lock
    bool m_lost = false; // guarded by m_lock
    bool m_remixing = false; // guarded by m_lock: a rewriter is set
    std::atomic<int64_t> m_heardEndNs { -1 }; // when the last frame mixed is heard, where known

    std::mutex m_rewriterMutex; // before the output's own lock and m_lock
    COutputDevice* m_rewriter = nullptr; // guarded by m_rewriterMutex
};
