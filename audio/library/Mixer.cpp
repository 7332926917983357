#include "audio/library/Mixer.h"

#include "audio/library/Channel.h"
#include "audio/library/MixKernels.h"
#include "audio/library/OutputDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace
{

// The mixer works through any request in blocks of at most this many frames (about 46 ms at 44.1 kHz).
constexpr int kChunkFrames = 2048;
// A volume slide is followed in steps of this many frames (about 6 ms at 44.1 kHz).
constexpr int kGainStep = 256;
// A stopped channel fades out over this many frames where its queued sound is cut (about 3 ms).
constexpr int kCutRampFrames = 128;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CMixer::CMixer()
{
    m_voices.reserve(64);
    m_scratch.resize(kChunkFrames * 2);
    m_capacity = kChunkFrames;
}

void CMixer::Prepare(int sampleRate, int remixFrames)
{
    std::lock_guard lock(m_lock);
    // A block mixed lies at most one chunk beyond what may be mixed again.
    m_remixFrames = std::max(remixFrames, 0);
    m_capacity = size_t(kChunkFrames) + size_t(m_remixFrames);
    m_moved.resize(size_t(m_remixFrames) * 2); // a move spans at most what may be mixed again
    for (Voice& voice : m_voices) {
        voice.used = voice.channel != nullptr;
        voice.cut = false;
        voice.frames.assign(voice.used ? m_capacity * 2 : 0, 0);
        voice.start = m_position;
        voice.end = m_position;
    }
    m_rate = sampleRate;
    m_lost = false;
    m_heardEndNs = -1;
}

void CMixer::SetRewriter(COutputDevice* output)
{
    std::lock_guard lock(m_rewriterMutex);
    m_rewriter = output;
    std::lock_guard list(m_lock);
    m_remixing = output != nullptr;
}

void CMixer::RewriteQueued()
{
    std::lock_guard lock(m_rewriterMutex);
    if (m_rewriter)
        m_rewriter->RewriteQueued();
}

bool CMixer::Add(std::shared_ptr<CChannel> channel)
{
    std::vector<int16_t> frames;
    {
        std::lock_guard lock(m_lock);
        if (m_lost)
            return false;
        for (const Voice& voice : m_voices)
            if (voice.used && voice.channel == channel)
                return true;
        frames.resize(m_capacity * 2);
    }
    // The voice's buffer is allocated outside the lock that the output takes.
    {
        std::lock_guard lock(m_lock);
        if (m_lost)
            return false;
        for (const Voice& voice : m_voices)
            if (voice.used && voice.channel == channel)
                return true; // added meanwhile
        auto slot = std::find_if(m_voices.begin(), m_voices.end(), [](const Voice& v) { return !v.used; });
        if (slot == m_voices.end())
            slot = m_voices.emplace(m_voices.end());
        Voice& voice = *slot;
        if (voice.frames.size() != m_capacity * 2)
            voice.frames.swap(frames);
        voice.channel = std::move(channel);
        voice.start = m_position;
        voice.end = m_position;
        // From its first frame on, as it is now: a slide under way runs on for the time it has left.
        const int64_t now = NowNs();
        const CVolumeSlide::State volume = voice.channel->Volume(voice.version);
        voice.gain = Gain { volume.At(now), volume.to, m_position,
            Frames(std::max<int64_t>(volume.startNs + volume.durationNs - now, 0)) };
        voice.cut = false;
        voice.used = true;
    }
    // A channel that starts must not wait behind what is queued.
    RewriteQueued();
    return true;
}

std::shared_ptr<CChannel> CMixer::Remove(const CChannel* channel, bool cut)
{
    std::shared_ptr<CChannel> removed;
    {
        std::lock_guard lock(m_lock);
        const auto it = std::find_if(m_voices.begin(), m_voices.end(),
            [&](const Voice& voice) { return voice.used && voice.channel.get() == channel; });
        if (it == m_voices.end())
            return nullptr;
        it->taken = it->channel->Volume(it->takenVersion);
        it->cut = cut;
        removed = std::move(it->channel);
        it->channel.reset();
        // Where nothing can be mixed again the voice has no more use.
        if (m_remixFrames == 0)
            it->used = false;
    }
    if (cut)
        RewriteQueued();
    return removed;
}

void CMixer::VolumeChanged()
{
    RewriteQueued();
}

float CMixer::Gain::At(uint64_t position) const
{
    if (position >= start + frames)
        return to;
    if (position <= start)
        return from;
    return from + (to - from) * float(double(position - start) / double(frames));
}

uint64_t CMixer::Frames(int64_t ns) const
{
    return uint64_t(std::max<int64_t>(ns, 0)) * uint64_t(m_rate) / 1000000000u;
}

void CMixer::FollowVolume(Voice& voice, uint64_t position)
{
    CVolumeSlide::State volume = voice.taken;
    uint32_t version = voice.takenVersion;
    // A caller busy with the volume is followed at the next pass.
    if (voice.channel && !voice.channel->TryVolume(volume, version))
        return;
    if (version == voice.version)
        return;
    voice.version = version;
    voice.gain = Gain { voice.gain.At(position), volume.to, position, Frames(volume.durationNs) };
}

// Adds the voice's frames at positions [first, first + count) to mix, each scaled by gainAt(position).
template <typename GainAt>
void CMixer::AddVoice(const Voice& voice, uint64_t first, int count, int32_t* mix, GainAt&& gainAt)
{
    for (int done = 0; done < count;) {
        const uint64_t position = first + uint64_t(done);
        const size_t offset = size_t(position % m_capacity);
        const int n = std::min({ kGainStep, count - done, int(m_capacity - offset) });
        const float from = gainAt(position);
        const float to = gainAt(position + uint64_t(n));
        AddScaledFrames(
            voice.frames.data() + offset * 2, 2, size_t(n), from, (to - from) / float(n), 0, mix + size_t(done) * 2);
        done += n;
    }
}

// The channel's next frames into the voice at positions [first, first + count), silence for what it lacks.
void CMixer::TakeFrames(Voice& voice, uint64_t first, int count, bool starve)
{
    int done = 0;
    bool dry = false;
    while (done < count) {
        const size_t offset = size_t((first + uint64_t(done)) % m_capacity);
        const int n = std::min(count - done, int(m_capacity - offset));
        int16_t* target = voice.frames.data() + offset * 2;
        const int got = dry ? 0 : int(voice.channel->Take(target, size_t(n), starve));
        if (got < n) {
            std::memset(target + size_t(got) * 2, 0, size_t(n - got) * 2 * sizeof(int16_t));
            dry = true;
        }
        done += n;
    }
}

void CMixer::Mix(int16_t* out, int frames, bool starve, int ahead)
{
    std::lock_guard lock(m_lock);
    if (ahead >= 0) {
        const int64_t unheard = int64_t(ahead) + int64_t(std::max(frames, 0));
        m_heardEndNs.store(NowNs() + unheard * 1000000000 / m_rate, std::memory_order_relaxed);
    }
    // Where no rewriter mixes the queue again, a change of volume takes effect from these frames on.
    if (!m_remixing)
        for (Voice& voice : m_voices)
            if (voice.used && voice.channel)
                FollowVolume(voice, m_position);
    const int chunk = int(m_scratch.size() / 2);
    for (int done = 0; done < frames;) {
        const int n = std::min(chunk, frames - done);
        std::memset(m_scratch.data(), 0, size_t(n) * 2 * sizeof(int32_t));
        const uint64_t first = m_position;
        for (Voice& voice : m_voices) {
            if (!voice.used)
                continue;
            if (!voice.channel) {
                // Taken out: kept while what it gave may still be mixed again.
                if (voice.end + uint64_t(m_remixFrames) <= first)
                    voice.used = false;
                continue;
            }
            if (voice.end != first)
                voice.start = first;
            TakeFrames(voice, first, n, starve);
            voice.end = first + uint64_t(n);
            AddVoice(voice, first, n, m_scratch.data(), [&](uint64_t position) { return voice.gain.At(position); });
        }
        SaturateToInt16(m_scratch.data(), size_t(n) * 2, out + size_t(done) * 2);
        m_position += uint64_t(n);
        done += n;
    }
}

// Moves what the voice holds back to begin at newStart, and fills the room after it with the
// channel's next frames.
void CMixer::MoveBack(Voice& voice, uint64_t newStart)
{
    const size_t held = size_t(voice.end - voice.start);
    const size_t taken = size_t(voice.start - newStart);
    for (size_t i = 0; i < held; ++i)
        std::memcpy(m_moved.data() + i * 2, voice.frames.data() + size_t((voice.start + i) % m_capacity) * 2,
            2 * sizeof(int16_t));
    const size_t got = voice.channel->Take(m_moved.data() + held * 2, taken, false);
    const size_t total = held + got;
    const uint64_t from = voice.end - total;
    for (size_t i = 0; i < total; ++i)
        std::memcpy(
            voice.frames.data() + size_t((from + i) % m_capacity) * 2, m_moved.data() + i * 2, 2 * sizeof(int16_t));
    voice.start = from;
}

int CMixer::Remix(int16_t* out, int frames)
{
    std::lock_guard lock(m_lock);
    const int count = int(std::min<uint64_t>({ uint64_t(std::max(frames, 0)), uint64_t(m_remixFrames), m_position }));
    const uint64_t end = m_position;
    const uint64_t first = end - uint64_t(count);

    // A channel that started after the span began starts at its beginning, with as much more of its
    // sound as it holds; what it gave already follows without a gap.
    for (Voice& voice : m_voices) {
        if (!voice.used || !voice.channel || voice.start <= first)
            continue;
        const size_t more = std::min(size_t(voice.start - first), voice.channel->Available());
        if (more > 0)
            MoveBack(voice, voice.start - more);
    }

    // Volumes as they are now, changed from the span's first frame; a voice taken out keeps the one it
    // had, a cut one fades out at once.
    for (Voice& voice : m_voices)
        if (voice.used)
            FollowVolume(voice, first);
    const int chunk = int(m_scratch.size() / 2);
    for (int done = 0; done < count;) {
        const int n = std::min(chunk, count - done);
        const uint64_t from = first + uint64_t(done);
        std::memset(m_scratch.data(), 0, size_t(n) * 2 * sizeof(int32_t));
        for (Voice& voice : m_voices) {
            if (!voice.used)
                continue;
            const uint64_t begin = std::max(from, voice.start);
            uint64_t stop = std::min(from + uint64_t(n), voice.end);
            if (voice.cut)
                stop = std::min(stop, first + uint64_t(kCutRampFrames));
            if (begin >= stop)
                continue;
            int32_t* mix = m_scratch.data() + size_t(begin - from) * 2;
            const int length = int(stop - begin);
            if (voice.cut) {
                AddVoice(voice, begin, length, mix, [&](uint64_t position) {
                    const float ramp = 1.0f - float(position - first) / float(kCutRampFrames);
                    return voice.gain.At(position) * std::clamp(ramp, 0.0f, 1.0f);
                });
            } else {
                AddVoice(voice, begin, length, mix, [&](uint64_t position) { return voice.gain.At(position); });
            }
        }
        SaturateToInt16(m_scratch.data(), size_t(n) * 2, out + size_t(done) * 2);
        done += n;
    }
    for (Voice& voice : m_voices) {
        if (voice.used && voice.cut) {
            voice.used = false;
            voice.cut = false;
        }
    }
    return count;
}

int64_t CMixer::UnheardNs() const
{
    const int64_t end = m_heardEndNs.load(std::memory_order_relaxed);
    return end < 0 ? -1 : std::max<int64_t>(end - NowNs(), 0);
}

void CMixer::OutputLost()
{
    std::vector<std::shared_ptr<CChannel>> lost;
    {
        std::lock_guard lock(m_lock);
        m_lost = true;
        for (Voice& voice : m_voices) {
            if (voice.channel)
                lost.push_back(std::move(voice.channel));
            voice.channel.reset();
            voice.used = false;
        }
    }
    for (const std::shared_ptr<CChannel>& channel : lost)
        channel->OutputLost();
}

bool CMixer::IsLost()
{
    std::lock_guard lock(m_lock);
    return m_lost;
}

bool CMixer::ReadyFor(int frames)
{
    std::lock_guard lock(m_lock);
    return std::all_of(m_voices.begin(), m_voices.end(),
        [&](const Voice& v) { return !v.used || !v.channel || v.channel->CanRender(frames); });
}
