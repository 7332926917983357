#include "audio/library/Decoder.h"
#include "audio/library/StreamBuffer.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>

#include <atomic>
#include <malloc.h>

using namespace testing_support;

// Five minutes of a live MP3 station: what the decoder keeps does not grow with the time played (a seek
// index would, by some 200 kilobytes here).
TEST(DecoderTest, ALongLiveStreamDoesNotGrowTheHeap)
{
    SineOptions options;
    options.seconds = 300;
    // A listener joins in the middle: no header frame that tells the length, no seeking.
    const QByteArray bytes = GenerateSineBytes(MediaFormat::Mp3, options).mid(8191);
    CStreamBuffer source(size_t(bytes.size()));
    source.Write(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    source.Finish(0);
    const std::atomic<bool> cancel { false };
    CDecoder decoder(source, cancel, nullptr);
    ASSERT_EQ(decoder.Open(std::string(), 0), 0);
    std::vector<int16_t> samples;
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
