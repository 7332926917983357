#include "audio/library/PeakEqualizer.h"

#include <algorithm>
#include <cmath>

namespace
{

bool SameBand(const AudioPeakEqParams& a, const AudioPeakEqParams& b)
{
    return a.band == b.band && a.bandwidth == b.bandwidth && a.q == b.q && a.center == b.center && a.gain == b.gain
        && a.channel == b.channel;
}

} // namespace

bool CPeakEqualizer::Check(const AudioPeakEqParams& params, AudioPeakEqParams& checked)
{
    if (params.band < 0 || !(params.center > 0.0f) || params.channel < -1 || params.channel > 1
        || (params.bandwidth <= 0.0f && !(params.q > 0.0f)) || !std::isfinite(params.gain))
        return false;
    checked = params;
    checked.gain = std::clamp(params.gain, -15.0f, 15.0f);
    return true;
}

void CPeakEqualizer::SetBands(std::vector<AudioPeakEqParams> bands)
{
    std::lock_guard lock(m_mutex);
    m_wanted = std::move(bands);
    m_changedAt = std::chrono::steady_clock::now();
    m_generation.store(m_generation.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

bool CPeakEqualizer::Active() const
{
    return !m_bank.empty() || m_fading || m_generation.load(std::memory_order_acquire) != m_taken;
}

void CPeakEqualizer::Design(Filter& filter, int sampleRate)
{
    const double nyquist = sampleRate / 2.0;
    const double center = std::min<double>(filter.params.center, nyquist * 0.95);
    const double a = std::pow(10.0, filter.params.gain / 40.0);
    const double w0 = 2.0 * M_PI * center / sampleRate;
    const double sinW0 = std::sin(w0);
    const double cosW0 = std::cos(w0);
    double alpha;
    if (filter.params.bandwidth > 0.0f)
        alpha = sinW0 * std::sinh(std::log(2.0) / 2.0 * filter.params.bandwidth * w0 / sinW0);
    else
        alpha = sinW0 / (2.0 * filter.params.q);
    const double a0 = 1.0 + alpha / a;
    filter.b0 = (1.0 + alpha * a) / a0;
    filter.b1 = -2.0 * cosW0 / a0;
    filter.b2 = (1.0 - alpha * a) / a0;
    filter.a1 = -2.0 * cosW0 / a0;
    filter.a2 = (1.0 - alpha / a) / a0;
}

void CPeakEqualizer::Run(Bank& bank, float* work, size_t frames, int channels)
{
    const size_t count = frames * size_t(channels);
    for (Filter& filter : bank) {
        for (int c = 0; c < channels; ++c) {
            if (filter.params.channel >= 0 && filter.params.channel != c)
                continue;
            double z1 = filter.z1[c];
            double z2 = filter.z2[c];
            for (size_t i = size_t(c); i < count; i += size_t(channels)) {
                const double x = work[i];
                const double y = filter.b0 * x + z1;
                z1 = filter.b1 * x - filter.a1 * y + z2;
                z2 = filter.b2 * x - filter.a2 * y;
                work[i] = float(y);
            }
            // Flush denormals so a silent input cannot slow the filter down.
            filter.z1[c] = std::fabs(z1) < 1e-20 ? 0.0 : z1;
            filter.z2[c] = std::fabs(z2) < 1e-20 ? 0.0 : z2;
        }
    }
}

void CPeakEqualizer::TakeChange(int sampleRate)
{
    if (m_fading || m_generation.load(std::memory_order_acquire) == m_taken)
        return;
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock() || std::chrono::steady_clock::now() - m_changedAt < std::chrono::milliseconds(kSettleMs))
        return;
    m_taken = m_generation.load(std::memory_order_relaxed);
    if (std::equal(m_wanted.begin(), m_wanted.end(), m_bank.begin(), m_bank.end(),
            [](const AudioPeakEqParams& wanted, const Filter& filter) { return SameBand(wanted, filter.params); }))
        return;
    m_next.assign(m_wanted.size(), Filter {});
    for (size_t i = 0; i < m_next.size(); ++i) {
        m_next[i].params = m_wanted[i];
        Design(m_next[i], sampleRate);
    }
    lock.unlock();
    m_fading = true;
    m_position = 0;
    // Without bands there is nothing to settle.
    m_warmFrames = m_next.empty() ? 0 : size_t(sampleRate) * kWarmMs / 1000;
    m_fadeFrames = size_t(sampleRate) * kFadeMs / 1000;
}

void CPeakEqualizer::Process(int16_t* samples, size_t frames, int channels, int sampleRate)
{
    if (frames == 0 || channels < 1 || channels > 2 || sampleRate <= 0)
        return;
    if (channels != m_channels) {
        for (Bank* bank : { &m_bank, &m_next })
            for (Filter& filter : *bank)
                filter.z1[0] = filter.z1[1] = filter.z2[0] = filter.z2[1] = 0.0;
        m_channels = channels;
    }
    if (sampleRate != m_rate) {
        // A stream that comes back at another rate: the same bands, their state kept.
        for (Bank* bank : { &m_bank, &m_next })
            for (Filter& filter : *bank)
                Design(filter, sampleRate);
        m_rate = sampleRate;
    }
    TakeChange(sampleRate);
    if (!m_fading && m_bank.empty())
        return;

    const size_t count = frames * size_t(channels);
    m_wet.assign(samples, samples + count);
    Run(m_bank, m_wet.data(), frames, channels);
    if (m_fading) {
        m_incoming.assign(samples, samples + count);
        Run(m_next, m_incoming.data(), frames, channels);
        for (size_t frame = 0; frame < frames; ++frame, ++m_position) {
            if (m_position < m_warmFrames)
                continue;
            const size_t into = m_position - m_warmFrames;
            const float weight = into >= m_fadeFrames
                ? 1.0f
                : float(0.5 - 0.5 * std::cos(M_PI * double(into + 1) / double(m_fadeFrames + 1)));
            for (size_t i = frame * size_t(channels); i < (frame + 1) * size_t(channels); ++i)
                m_wet[i] += weight * (m_incoming[i] - m_wet[i]);
        }
        if (m_position >= m_warmFrames + m_fadeFrames) {
            m_bank = std::move(m_next);
            m_next.clear();
            m_fading = false;
        }
    }
    for (size_t i = 0; i < count; ++i)
        samples[i] = int16_t(std::lrint(std::clamp(m_wet[i], -32768.0f, 32767.0f)));
}
