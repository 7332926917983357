#include "audio/library/SampleConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

CSampleConverter::~CSampleConverter()
{
    swr_free(&m_swr);
}

bool CSampleConverter::Configure(const void* inLayoutPtr, int inFormat, int inRate, int outChannels, int outRate)
{
    const AVChannelLayout& inLayout = *static_cast<const AVChannelLayout*>(inLayoutPtr);
    const uint64_t key = inLayout.order == AV_CHANNEL_ORDER_NATIVE ? inLayout.u.mask : 0;
    if (m_swr && key == m_layoutKey && inLayout.nb_channels == m_inChannels && inFormat == m_inFormat
        && inRate == m_inRate && outChannels == m_outChannels && outRate == m_outRate)
        return true;
    swr_free(&m_swr);
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, outChannels);
    AVChannelLayout input;
    if (inLayout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&inLayout) == 0)
        av_channel_layout_default(&input, inLayout.nb_channels > 0 ? inLayout.nb_channels : 1);
    else
        av_channel_layout_copy(&input, &inLayout);
    const int result = swr_alloc_set_opts2(
        &m_swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &input, AVSampleFormat(inFormat), inRate, 0, nullptr);
    av_channel_layout_uninit(&input);
    av_channel_layout_uninit(&outLayout);
    if (result < 0 || swr_init(m_swr) < 0) {
        swr_free(&m_swr);
        return false;
    }
    m_layoutKey = key;
    m_inChannels = inLayout.nb_channels;
    m_inFormat = inFormat;
    m_inRate = inRate;
    m_outChannels = outChannels;
    m_outRate = outRate;
    return true;
}

bool CSampleConverter::Run(
    const uint8_t* const* input, int frames, int inRate, int outChannels, int outRate, std::vector<int16_t>& out)
{
    const int64_t capacity = av_rescale_rnd(swr_get_delay(m_swr, inRate) + frames, outRate, inRate, AV_ROUND_UP) + 16;
    const size_t start = out.size();
    out.resize(start + size_t(capacity) * size_t(outChannels));
    uint8_t* output = reinterpret_cast<uint8_t*>(out.data() + start);
    const int produced = swr_convert(m_swr, &output, int(capacity), const_cast<const uint8_t**>(input), frames);
    if (produced < 0) {
        out.resize(start);
        return false;
    }
    out.resize(start + size_t(produced) * size_t(outChannels));
    return true;
}

bool CSampleConverter::ConvertFrame(const AVFrame& frame, int outChannels, std::vector<int16_t>& out)
{
    if (!Configure(&frame.ch_layout, frame.format, frame.sample_rate, outChannels, frame.sample_rate))
        return false;
    return Run(frame.extended_data, frame.nb_samples, frame.sample_rate, outChannels, frame.sample_rate, out);
}

bool CSampleConverter::Resample(
    const int16_t* samples, int frames, int channels, int inRate, int outRate, std::vector<int16_t>& out)
{
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    const bool configured = Configure(&layout, AV_SAMPLE_FMT_S16, inRate, channels, outRate);
    av_channel_layout_uninit(&layout);
    if (!configured)
        return false;
    const uint8_t* input = reinterpret_cast<const uint8_t*>(samples);
    return Run(&input, frames, inRate, channels, outRate, out);
}

void CSampleConverter::Reset()
{
    swr_free(&m_swr);
}
