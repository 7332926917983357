#pragma once

#include "audio/library/SampleConverter.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class IByteSource;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;

// What the decoder found in a stream.
struct DecodedFormat {
    int sampleRate = 0; // the stream's own rate
    int channels = 0; // 1 or 2 (more are mixed down to 2)
    uint32_t ctype = 0; // AUDIO_CTYPE_*
    int sourceBits = 0; // bits per sample of PCM sources, else 0
    int64_t bitRate = 0; // bit/s when the container or codec says, else 0
};

// Demuxes and decodes a stream with FFmpeg from a byte source through a custom AVIOContext, and
// gives interleaved 16-bit samples at the stream's own rate. Only the formats this library offers
// are accepted (MP1/2/3, AAC in ADTS or MP4, Ogg Vorbis and Opus, WMA, WAV). When a network stream
// starts a new segment (a reconnection) the demuxer starts afresh there.
class CDecoder
{
public:
    // idle runs on the decoding thread whenever a read waits for bytes.
    CDecoder(IByteSource& source, const std::atomic<bool>& cancel, std::function<void()> idle);
    ~CDecoder();
    CDecoder(const CDecoder&) = delete;
    CDecoder& operator=(const CDecoder&) = delete;

    // Opens the stream and decodes its first samples. fileName helps to recognise local files.
    // Returns AUDIO_OK or an error code (AUDIO_ERROR_FILE_FORMAT for data that is no audio).
    // A deadline (0: none) bounds the time spent waiting for bytes.
    int Open(const std::string& fileName, int timeoutMs);
    // The rate follows the stream: it is that of the samples the last Decode() gave.
    const DecodedFormat& Format() const { return m_format; }

    // Appends the next decoded samples to out: the number of frames (> 0), 0 at the end of the
    // stream, -1 when cancelled.
    int Decode(std::vector<int16_t>& out);

    // The comments of the current logical Ogg stream as "KEY=value" (empty for other formats).
    const std::vector<std::string>& OggComments() const { return m_oggComments; }
    // True once after a new logical Ogg stream began.
    bool TakeOggChange();
    // Bytes of all audio packets handed to the codec so far.
    uint64_t PacketBytes() const { return m_packetBytes; }
    // Bytes taken from a network source that the demuxer has not read yet (its look-ahead).
    uint64_t HeldBytes() const;

private:
    int OpenDemuxer(const std::string& fileName, bool first);
    void CloseDemuxer();
    bool SkipSegment();
    int NextFrame(); // 0 frame in m_frame, 1 end of segment, -1 end, -2 cancelled
    void ReadComments(const void* dictionary);
    uint32_t StreamType(int codecId) const;

    static int ReadPacket(void* opaque, uint8_t* buffer, int size);
    static int64_t SeekPacket(void* opaque, int64_t offset, int whence);
    static int Interrupt(void* opaque);

    IByteSource& m_source;
    const std::atomic<bool>& m_cancel;
    std::function<void()> m_idle;
    std::chrono::steady_clock::time_point m_deadline {};
    bool m_timedOut = false;
    bool m_atSegmentEnd = false;
    bool m_atEnd = false;

    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format_ctx = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_streamIndex = -1;
    std::string m_container;
    bool m_draining = false;
    bool m_pendingFrame = false; // the first frame, decoded by Open, not yet handed out
    bool m_opened = false;

    CSampleConverter m_converter;
    DecodedFormat m_format;
    std::vector<std::string> m_oggComments;
    bool m_oggChanged = false;
    uint64_t m_packetBytes = 0;
    uint64_t m_segmentBytes = 0; // bytes read from the source since the demuxer was opened
};
