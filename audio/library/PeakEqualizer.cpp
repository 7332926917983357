#include "audio/library/PeakEqualizer.h"

#include <algorithm>
#include <cmath>

bool CPeakEqualizer::SetBand(const AudioPeakEqParams& params)
{
    if (params.band < 0 || !(params.center > 0.0f) || params.channel < -1 || params.channel > 1
        || (params.bandwidth <= 0.0f && !(params.q > 0.0f)) || !std::isfinite(params.gain))
        return false;
    AudioPeakEqParams checked = params;
    checked.gain = std::clamp(params.gain, -15.0f, 15.0f);
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_bands.begin(), m_bands.end(), [&](const Band& b) { return b.params.band == params.band; });
    if (it == m_bands.end()) {
        m_bands.push_back(Band {});
        it = m_bands.end() - 1;
    }
    it->params = checked;
    it->designedRate = 0; // redesigned before the next block, keeping its state
    return true;
}

void CPeakEqualizer::Design(Band& band, int sampleRate)
{
    const double nyquist = sampleRate / 2.0;
    const double center = std::min<double>(band.params.center, nyquist * 0.95);
    const double a = std::pow(10.0, band.params.gain / 40.0);
    const double w0 = 2.0 * M_PI * center / sampleRate;
    const double sinW0 = std::sin(w0);
    const double cosW0 = std::cos(w0);
    double alpha;
    if (band.params.bandwidth > 0.0f)
        alpha = sinW0 * std::sinh(std::log(2.0) / 2.0 * band.params.bandwidth * w0 / sinW0);
    else
        alpha = sinW0 / (2.0 * band.params.q);
    const double a0 = 1.0 + alpha / a;
    band.b0 = (1.0 + alpha * a) / a0;
    band.b1 = -2.0 * cosW0 / a0;
    band.b2 = (1.0 - alpha * a) / a0;
    band.a1 = -2.0 * cosW0 / a0;
    band.a2 = (1.0 - alpha / a) / a0;
    band.designedRate = sampleRate;
}

void CPeakEqualizer::Process(int16_t* samples, size_t frames, int channels, int sampleRate)
{
    std::lock_guard lock(m_mutex);
    if (m_bands.empty() || channels < 1 || channels > 2)
        return;
    const size_t count = frames * size_t(channels);
    m_work.resize(count);
    for (size_t i = 0; i < count; ++i)
        m_work[i] = samples[i];
    for (Band& band : m_bands) {
        if (band.designedRate != sampleRate)
            Design(band, sampleRate);
        for (int c = 0; c < channels; ++c) {
            if (band.params.channel >= 0 && band.params.channel != c)
                continue;
            double z1 = band.z1[c];
            double z2 = band.z2[c];
            for (size_t i = size_t(c); i < count; i += size_t(channels)) {
                const double x = m_work[i];
                const double y = band.b0 * x + z1;
                z1 = band.b1 * x - band.a1 * y + z2;
                z2 = band.b2 * x - band.a2 * y;
                m_work[i] = float(y);
            }
            // Flush denormals so a silent input cannot slow the filter down.
            band.z1[c] = std::fabs(z1) < 1e-20 ? 0.0 : z1;
            band.z2[c] = std::fabs(z2) < 1e-20 ? 0.0 : z2;
        }
    }
    for (size_t i = 0; i < count; ++i)
        samples[i] = int16_t(std::lrint(std::clamp(m_work[i], -32768.0f, 32767.0f)));
}
