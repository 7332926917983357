#include "audio/library/Mixer.h"

#include "audio/library/Channel.h"
#include "audio/library/MixKernels.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace
{

constexpr int kDefaultMaxFrames = 8192;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CMixer::CMixer()
{
    m_channels.reserve(64);
    m_scratch.resize(kDefaultMaxFrames * 2);
}

void CMixer::Prepare(int maxFrames, int sampleRate)
{
    std::lock_guard lock(m_lock);
    m_scratch.resize(size_t(std::max(maxFrames, kDefaultMaxFrames)) * 2);
    m_rate = sampleRate;
    m_lost = false;
}

bool CMixer::Add(std::shared_ptr<CChannel> channel)
{
    std::lock_guard lock(m_lock);
    if (m_lost)
        return false;
    if (std::find(m_channels.begin(), m_channels.end(), channel) == m_channels.end())
        m_channels.push_back(std::move(channel));
    return true;
}

std::shared_ptr<CChannel> CMixer::Remove(const CChannel* channel)
{
    std::lock_guard lock(m_lock);
    const auto it = std::find_if(
        m_channels.begin(), m_channels.end(), [&](const std::shared_ptr<CChannel>& c) { return c.get() == channel; });
    if (it == m_channels.end())
        return nullptr;
    std::shared_ptr<CChannel> removed = std::move(*it);
    m_channels.erase(it);
    return removed;
}

void CMixer::Mix(int16_t* out, int frames, bool starve)
{
    std::lock_guard lock(m_lock);
    const int64_t now = NowNs();
    const int chunk = int(m_scratch.size() / 2);
    for (int done = 0; done < frames;) {
        const int n = std::min(chunk, frames - done);
        std::memset(m_scratch.data(), 0, size_t(n) * 2 * sizeof(int32_t));
        for (const std::shared_ptr<CChannel>& channel : m_channels)
            channel->Render(m_scratch.data(), n, now + int64_t(done) * 1000000000 / m_rate, starve);
        SaturateToInt16(m_scratch.data(), size_t(n) * 2, out + size_t(done) * 2);
        done += n;
    }
}

void CMixer::OutputLost()
{
    std::vector<std::shared_ptr<CChannel>> lost;
    {
        std::lock_guard lock(m_lock);
        m_lost = true;
        lost.swap(m_channels);
    }
    for (const std::shared_ptr<CChannel>& channel : lost)
        channel->OutputLost();
}

bool CMixer::ReadyFor(int frames)
{
    std::lock_guard lock(m_lock);
    return std::all_of(
        m_channels.begin(), m_channels.end(), [&](const std::shared_ptr<CChannel>& c) { return c->CanRender(frames); });
}
