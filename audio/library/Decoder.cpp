#include "audio/library/Decoder.h"

#include "audio/library/AudioLibrary.h"
#include "audio/library/ByteSource.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cctype>
#include <mutex>

namespace
{

constexpr int kIoBufferSize = 4096; // small reads keep the network buffer's count close to the decoder
constexpr unsigned kProbeBytesNetwork = 1 << 15; // a live MP3 that starts mid-frame is sure enough by then
constexpr unsigned kProbeBytesFile = 1 << 20;
constexpr int kMaxDemuxErrors = 64;
constexpr unsigned kMaxIndexBytesNetwork = 1024;

std::once_flag quietLogOnce;

bool AllowedContainer(const std::string& name)
{
    const std::string first = name.substr(0, name.find(','));
    return first == "mp3" || first == "aac" || first == "ogg" || first == "asf" || first == "asf_o" || first == "mov"
        || first == "wav";
}

// Demuxers must not open further files or URLs on their own.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

} // namespace

CDecoder::CDecoder(IByteSource& source, const std::atomic<bool>& cancel, std::function<void()> idle)
    : m_source(source)
    , m_cancel(cancel)
    , m_idle(std::move(idle))
{
    std::call_once(quietLogOnce, [] { av_log_set_level(AV_LOG_QUIET); });
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
}

CDecoder::~CDecoder()
{
    CloseDemuxer();
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
}

int CDecoder::ReadPacket(void* opaque, uint8_t* buffer, int size)
{
    CDecoder& self = *static_cast<CDecoder*>(opaque);
    for (;;) {
        if (self.m_cancel.load())
            return AVERROR_EXIT;
        if (self.m_deadline != std::chrono::steady_clock::time_point {}
            && std::chrono::steady_clock::now() > self.m_deadline) {
            self.m_timedOut = true;
            return AVERROR_EXIT;
        }
        if (self.m_atSegmentEnd || self.m_atEnd)
            return AVERROR_EOF;
        const int result = self.m_source.Read(buffer, size_t(size), 20);
        if (result > 0) {
            self.m_segmentBytes += uint64_t(result);
            return result;
        }
        switch (result) {
        case IByteSource::kSegmentEnd:
            self.m_atSegmentEnd = true;
            return AVERROR_EOF;
        case IByteSource::kEnd:
            self.m_atEnd = true;
            return AVERROR_EOF;
        case IByteSource::kCancelled:
            return AVERROR_EXIT;
        default:
            break;
        }
        if (self.m_idle)
            self.m_idle();
    }
}

int64_t CDecoder::SeekPacket(void* opaque, int64_t offset, int whence)
{
    CDecoder& self = *static_cast<CDecoder*>(opaque);
    if (whence & AVSEEK_SIZE)
        return self.m_source.Size();
    whence &= ~AVSEEK_FORCE;
    int64_t target;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = int64_t(self.m_source.Position()) + offset;
        break;
    case SEEK_END:
        if (self.m_source.Size() < 0)
            return -1;
        target = self.m_source.Size() + offset;
        break;
    default:
        return -1;
    }
    if (target < 0 || !self.m_source.Seek(uint64_t(target)))
        return -1;
    self.m_atEnd = false;
    return target;
}

int CDecoder::Interrupt(void* opaque)
{
    const CDecoder& self = *static_cast<const CDecoder*>(opaque);
    return self.m_cancel.load() || self.m_timedOut;
}

void CDecoder::CloseDemuxer()
{
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format_ctx);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    m_streamIndex = -1;
    m_draining = false;
}

uint32_t CDecoder::StreamType(int codecId) const
{
    const std::string container = m_container.substr(0, m_container.find(','));
    if (container == "wav") {
        switch (codecId) {
        case AV_CODEC_ID_PCM_U8:
        case AV_CODEC_ID_PCM_S16LE:
        case AV_CODEC_ID_PCM_S24LE:
        case AV_CODEC_ID_PCM_S32LE:
            return AUDIO_CTYPE_WAV_PCM;
        case AV_CODEC_ID_PCM_F32LE:
        case AV_CODEC_ID_PCM_F64LE:
            return AUDIO_CTYPE_WAV_FLOAT;
        default:
            return AUDIO_CTYPE_WAV;
        }
    }
    switch (codecId) {
    case AV_CODEC_ID_MP3:
        return container.starts_with("asf") ? AUDIO_CTYPE_WMA_MP3 : AUDIO_CTYPE_MP3;
    case AV_CODEC_ID_MP2:
        return AUDIO_CTYPE_MP2;
    case AV_CODEC_ID_MP1:
        return AUDIO_CTYPE_MP1;
    case AV_CODEC_ID_AAC:
        return container == "mov" ? AUDIO_CTYPE_MP4 : AUDIO_CTYPE_AAC;
    case AV_CODEC_ID_VORBIS:
        return container == "ogg" ? AUDIO_CTYPE_OGG : 0;
    case AV_CODEC_ID_OPUS:
        return container == "ogg" ? AUDIO_CTYPE_OPUS : 0;
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
    case AV_CODEC_ID_WMAPRO:
    case AV_CODEC_ID_WMALOSSLESS:
    case AV_CODEC_ID_WMAVOICE:
        return container.starts_with("asf") ? AUDIO_CTYPE_WMA : 0;
    default:
        return 0;
    }
}

int CDecoder::OpenDemuxer(const std::string& fileName, bool first)
{
    m_atSegmentEnd = false;
    m_segmentBytes = 0;
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer)
        return AUDIO_ERROR_MEMORY;
    const bool seekable = m_source.Seekable();
    m_io = avio_alloc_context(
        buffer, kIoBufferSize, 0, this, &CDecoder::ReadPacket, nullptr, seekable ? &CDecoder::SeekPacket : nullptr);
    if (!m_io) {
        av_free(buffer);
        return AUDIO_ERROR_MEMORY;
    }
    m_io->seekable = seekable ? AVIO_SEEKABLE_NORMAL : 0;

    auto failure = [this](int fallback) {
        if (m_cancel.load())
            return AUDIO_ERROR_UNKNOWN;
        return m_timedOut ? AUDIO_ERROR_TIMEOUT : fallback;
    };
    const AVInputFormat* input = nullptr;
    const int score = av_probe_input_buffer2(
        m_io, &input, first ? fileName.c_str() : "", nullptr, 0, seekable ? kProbeBytesFile : kProbeBytesNetwork);
    if (score < AVPROBE_SCORE_MAX / 4 || !input || !AllowedContainer(input->name))
        return failure(AUDIO_ERROR_FILE_FORMAT);

    m_format_ctx = avformat_alloc_context();
    if (!m_format_ctx)
        return AUDIO_ERROR_MEMORY;
    m_format_ctx->pb = m_io;
    m_format_ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_format_ctx->interrupt_callback = { &CDecoder::Interrupt, this };
    m_format_ctx->io_open = &RefuseOpen;
    // A stream that cannot seek has no use for a seek index, which would grow with every packet of a
    // live station.
    if (!seekable)
        m_format_ctx->max_index_size = kMaxIndexBytesNetwork;
    if (avformat_open_input(&m_format_ctx, "", input, nullptr) < 0)
        return failure(AUDIO_ERROR_FILE_FORMAT); // the context is freed on failure
    m_container = input->name;

    // The first audio stream (its parameters may be known only once it decodes).
    m_streamIndex = -1;
    for (unsigned i = 0; i < m_format_ctx->nb_streams && m_streamIndex < 0; ++i)
        if (m_format_ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            m_streamIndex = int(i);
    if (m_streamIndex < 0)
        return failure(AUDIO_ERROR_FILE_FORMAT);
    const AVCodecParameters* parameters = m_format_ctx->streams[m_streamIndex]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder || StreamType(parameters->codec_id) == 0)
        return AUDIO_ERROR_FILE_FORMAT;
    m_codec = avcodec_alloc_context3(decoder);
    if (!m_codec)
        return AUDIO_ERROR_MEMORY;
    m_codec->thread_count = 1;
    if (avcodec_parameters_to_context(m_codec, parameters) < 0 || avcodec_open2(m_codec, decoder, nullptr) < 0)
        return AUDIO_ERROR_FILE_FORMAT;
    if (m_container == "ogg") {
        ReadComments(m_format_ctx->streams[m_streamIndex]->metadata);
        // A reconnection starts a new logical stream too.
        if (!first)
            m_oggChanged = true;
    }
    return AUDIO_OK;
}

bool CDecoder::SkipSegment()
{
    uint8_t scratch[4096];
    for (;;) {
        if (m_cancel.load())
            return false;
        const int result = m_source.Read(scratch, sizeof scratch, 20);
        if (result == IByteSource::kSegmentEnd)
            return m_source.NextSegment();
        if (result == IByteSource::kEnd || result == IByteSource::kCancelled)
            return false;
        if (result == IByteSource::kNoData && m_idle)
            m_idle();
    }
}

void CDecoder::ReadComments(const void* dictionaryPtr)
{
    const AVDictionary* dictionary = static_cast<const AVDictionary*>(dictionaryPtr);
    m_oggComments.clear();
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        std::string key = entry->key;
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        m_oggComments.push_back(key + '=' + entry->value);
    }
}

int CDecoder::NextFrame()
{
    int demuxErrors = 0;
    for (;;) {
        if (m_cancel.load())
            return -2;
        const int received = avcodec_receive_frame(m_codec, m_frame);
        if (received == 0)
            return 0;
        if (received == AVERROR_EOF || m_draining) {
            avcodec_flush_buffers(m_codec);
            m_draining = false;
            return m_atEnd || !m_atSegmentEnd ? -1 : 1;
        }
        const int read = av_read_frame(m_format_ctx, m_packet);
        if (read >= 0) {
            demuxErrors = 0;
            if (m_packet->stream_index == m_streamIndex) {
                size_t size = 0;
                const uint8_t* update = av_packet_get_side_data(m_packet, AV_PKT_DATA_METADATA_UPDATE, &size);
                if (update && m_container == "ogg") {
                    AVDictionary* dictionary = nullptr;
                    if (av_packet_unpack_dictionary(update, size, &dictionary) >= 0) {
                        ReadComments(dictionary);
                        if (m_opened)
                            m_oggChanged = true;
                    }
                    av_dict_free(&dictionary);
                }
                m_packetBytes += uint64_t(m_packet->size);
                avcodec_send_packet(m_codec, m_packet);
            }
            av_packet_unref(m_packet);
            continue;
        }
        if (read == AVERROR_EXIT || m_cancel.load() || m_timedOut)
            return -2;
        if (read == AVERROR(EAGAIN))
            continue;
        if (read != AVERROR_EOF && !m_atEnd && !m_atSegmentEnd && ++demuxErrors < kMaxDemuxErrors)
            continue;
        avcodec_send_packet(m_codec, nullptr);
        m_draining = true;
    }
}

int CDecoder::Open(const std::string& fileName, int timeoutMs)
{
    m_deadline = timeoutMs > 0 ? std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)
                               : std::chrono::steady_clock::time_point {};
    const int opened = OpenDemuxer(fileName, true);
    if (opened != AUDIO_OK)
        return opened;
    const int next = NextFrame();
    if (next == -2)
        return m_cancel.load() ? AUDIO_ERROR_UNKNOWN : AUDIO_ERROR_TIMEOUT;
    if (next != 0)
        return AUDIO_ERROR_FILE_FORMAT;
    m_deadline = {};
    m_format.sampleRate = m_frame->sample_rate;
    m_format.channels = std::clamp(m_frame->ch_layout.nb_channels, 1, 2);
    const AVCodecParameters* parameters = m_format_ctx->streams[m_streamIndex]->codecpar;
    m_format.ctype = StreamType(parameters->codec_id);
    m_format.sourceBits = m_format.ctype == AUDIO_CTYPE_WAV_PCM || m_format.ctype == AUDIO_CTYPE_WAV_FLOAT
        ? av_get_bits_per_sample(parameters->codec_id)
        : 0;
    m_format.bitRate = m_codec->bit_rate > 0 ? m_codec->bit_rate
        : parameters->bit_rate > 0           ? parameters->bit_rate
                                             : m_format_ctx->bit_rate;
    if (m_format.sampleRate <= 0)
        return AUDIO_ERROR_FILE_FORMAT;
    m_pendingFrame = true;
    m_opened = true;
    return AUDIO_OK;
}

int CDecoder::Decode(std::vector<int16_t>& out)
{
    for (;;) {
        if (m_pendingFrame) {
            m_pendingFrame = false;
        } else {
            const int next = NextFrame();
            if (next == -2)
                return -1;
            if (next == -1)
                return 0;
            if (next == 1) {
                // The connection changed: start afresh on the new segment.
                if (!m_source.NextSegment())
                    return 0;
                for (;;) {
                    m_atSegmentEnd = false;
                    CloseDemuxer();
                    if (OpenDemuxer(std::string(), false) == AUDIO_OK)
                        break;
                    if (m_cancel.load())
                        return -1;
                    if (m_atEnd)
                        return 0;
                    const bool moved = m_atSegmentEnd ? m_source.NextSegment() : SkipSegment();
                    if (!moved)
                        return m_cancel.load() ? -1 : 0;
                }
                continue;
            }
        }
        if (m_frame->sample_rate > 0 && m_frame->sample_rate != m_format.sampleRate)
            m_format.sampleRate = m_frame->sample_rate; // a new segment may come at another rate
        const size_t before = out.size();
        m_converter.ConvertFrame(*m_frame, m_format.channels, out);
        av_frame_unref(m_frame);
        if (out.size() > before)
            return int((out.size() - before) / size_t(m_format.channels));
    }
}

uint64_t CDecoder::HeldBytes() const
{
    if (!m_io || m_source.Seekable())
        return 0;
    const int64_t position = avio_tell(m_io);
    return position >= 0 && uint64_t(position) < m_segmentBytes ? m_segmentBytes - uint64_t(position) : 0;
}

bool CDecoder::TakeOggChange()
{
    const bool changed = m_oggChanged;
    m_oggChanged = false;
    return changed;
}
