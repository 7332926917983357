#include "audio/library/Decoder.h"
#include "audio/library/ByteSource.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <malloc.h>

using namespace testing_support;

namespace
{

// A station's bytes as a live stream gives them: no seeking, no length.
class LiveSource : public IByteSource
{
public:
    explicit LiveSource(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
    }
    int Read(uint8_t* destination, size_t size, int) override
    {
        if (m_position == size_t(m_bytes.size()))
            return kEnd;
        const size_t n = std::min(size, size_t(m_bytes.size()) - m_position);
        std::memcpy(destination, m_bytes.constData() + m_position, n);
        m_position += n;
        return int(n);
    }
    uint64_t Position() const override { return m_position; }

private:
    QByteArray m_bytes;
    size_t m_position = 0;
};

} // namespace

// Five minutes of a live MP3 station: what the decoder keeps does not grow with the time played (a seek
// index would, by some 200 kilobytes here).
TEST(DecoderTest, ALongLiveStreamDoesNotGrowTheHeap)
{
    SineOptions options;
    options.seconds = 300;
    // A listener joins in the middle: no header frame that tells the length.
    LiveSource source(GenerateSineBytes(MediaFormat::Mp3, options).mid(8191));
    const std::atomic<bool> cancel { false };
    CDecoder decoder(source, cancel, nullptr);
    ASSERT_EQ(decoder.Open(std::string(), 0), 0);
    SampleVector samples;
    uint64_t frames = 0;
    size_t early = 0;
    for (;;) {
        samples.clear();
        const int decoded = decoder.Decode(samples);
        ASSERT_GE(decoded, 0);
        if (decoded == 0)
            break;
        frames += uint64_t(decoded);
        if (early == 0 && frames >= 60 * 44100)
            early = mallinfo2().uordblks;
    }
    const size_t late = mallinfo2().uordblks;
    EXPECT_GE(frames, uint64_t(298) * 44100);
    EXPECT_LT(late, early + 65536) << "heap in use after 1 minute " << early << " bytes, after 5 minutes " << late;
}
