#include "audio/library/FftAnalyzer.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include <cmath>

CFftAnalyzer::CFftAnalyzer()
{
    for (int i = 0; i < kPoints; ++i)
        m_window[i] = float(0.5 - 0.5 * std::cos(2.0 * M_PI * i / kPoints));
    const float scale = 1.0f;
    av_tx_fn transform = nullptr;
    if (av_tx_init(&m_context, &transform, AV_TX_FLOAT_RDFT, 0, kPoints, &scale, 0) == 0)
        m_transform = transform;
    m_input = static_cast<float*>(av_malloc(sizeof(float) * kPoints));
    m_output = static_cast<float*>(av_malloc(sizeof(float) * 2 * (kBins + 1)));
}

CFftAnalyzer::~CFftAnalyzer()
{
    av_tx_uninit(&m_context);
    av_free(m_input);
    av_free(m_output);
}

bool CFftAnalyzer::Compute(const int16_t* frames, int channels, float* magnitudes)
{
    std::lock_guard lock(m_mutex);
    if (!m_transform || !m_input || !m_output || channels < 1)
        return false;
    const float norm = 1.0f / (32768.0f * float(channels));
    for (int i = 0; i < kPoints; ++i) {
        int sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += frames[i * channels + c];
        m_input[i] = float(sum) * norm * m_window[i];
    }
    m_transform(m_context, m_output, m_input, sizeof(float));
    // The Hann window halves a sine's amplitude: 4 / N brings a full-scale sine to 1.
    const float scale = 4.0f / kPoints;
    for (int k = 0; k < kBins; ++k) {
        const float re = m_output[2 * k];
        const float im = m_output[2 * k + 1];
        magnitudes[k] = std::sqrt(re * re + im * im) * scale;
    }
    return true;
}
