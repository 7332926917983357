#include "audio/LameEncoder.h"
#include "core/ErrorLog.h"
#include "tests/support/FfmpegTools.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

using testing_support::GenerateSinePcm;
using testing_support::ProbeAudio;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace
{

// Where the dynamic loader finds a system library, e.g. "libz.so.1".
QString SystemLibraryPath(const char* name)
{
    void* module = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    link_map* map = nullptr;
    if (!module || ::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return QString();
    return QFile::decodeName(map->l_name);
}

constexpr double kFrameSeconds = 1152.0 / 44100.0;
constexpr int kEncoderDelay = 576;

// Feeds the whole of pcm through the encoder in pieces of pieceBytes, looping over partly consumed
// pieces as a caller must, and returns every MP3 byte produced, the final flush included.
QByteArray EncodeAll(CLameEncoder& encoder, const QByteArray& pcm, int pieceBytes)
{
    QByteArray mp3;
    for (qsizetype at = 0; at < pcm.size(); at += pieceBytes) {
        const char* data = pcm.constData() + at;
        uint32_t left = uint32_t(std::min<qsizetype>(pieceBytes, pcm.size() - at));
        while (left >= 2) {
            uint32_t consumed = 0;
            const uint8_t* out = nullptr;
            uint32_t produced = 0;
            if (!encoder.EncodeChunk(data, left, consumed, out, produced))
                return QByteArray();
            mp3.append(reinterpret_cast<const char*>(out), produced);
            data += consumed;
            left -= consumed;
        }
    }
    const uint8_t* out = nullptr;
    uint32_t produced = 0;
    if (encoder.Finish(out, produced))
        mp3.append(reinterpret_cast<const char*>(out), produced);
    return mp3;
}

// The program folder and the error log point into a temporary folder for each test.
class LameEncoderTest : public ::testing::Test
{
protected:
    void TearDown() override { CLameEncoder::ResetLibraryForTesting(true); }

    QStringList LogLines() const { return appFolder.LogEntries(); }

    testing_support::TempProgramFolder appFolder;
    QTemporaryDir work;
};

TEST_F(LameEncoderTest, InitAcceptsOneOrTwoChannelsAndBitratesFrom32To320Only)
{
    CLameEncoder encoder;
    ASSERT_TRUE(CLameEncoder::IsLibraryLoaded());
    EXPECT_FALSE(encoder.IsOpen());
    EXPECT_FALSE(encoder.Init(44100, 3, 128));
    EXPECT_FALSE(encoder.Init(44100, 0, 128));
    EXPECT_FALSE(encoder.Init(44100, 2, 31));
    EXPECT_FALSE(encoder.Init(44100, 2, 321));
    EXPECT_FALSE(encoder.IsOpen());

    EXPECT_TRUE(encoder.Init(44100, 2, 32));
    EXPECT_TRUE(encoder.Init(44100, 2, 320)); // re-initialising replaces the open stream
    EXPECT_TRUE(encoder.IsOpen());
    EXPECT_EQ(encoder.GetChunkSize(), 2304u); // one frame of 1152 samples per channel
    EXPECT_TRUE(encoder.Init(22050, 1, 64));
    EXPECT_EQ(encoder.GetChunkSize(), 576u);

    // A failed Init leaves no stream open.
    EXPECT_FALSE(encoder.Init(44100, 2, 500));
    EXPECT_FALSE(encoder.IsOpen());
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(LameEncoderTest, ChunksAreConsumedUpToTheChunkSizeAndTinyChunksConsumeNothing)
{
    CLameEncoder encoder;
    ASSERT_TRUE(encoder.Init(44100, 2, 128));
    const QByteArray pcm(20000, '\0');
    uint32_t consumed = 99;
    const uint8_t* out = reinterpret_cast<const uint8_t*>(1);
    uint32_t produced = 99;

    ASSERT_TRUE(encoder.EncodeChunk(pcm.constData(), 1, consumed, out, produced));
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(produced, 0u);

    ASSERT_TRUE(encoder.EncodeChunk(pcm.constData(), 20000, consumed, out, produced));
    EXPECT_EQ(consumed, encoder.GetChunkSize() * 2);

    ASSERT_TRUE(encoder.EncodeChunk(pcm.constData(), 7, consumed, out, produced));
    EXPECT_EQ(consumed, 6u); // whole samples only

    ASSERT_TRUE(encoder.Finish(out, produced));
    EXPECT_GT(produced, 0u);
    EXPECT_FALSE(encoder.IsOpen());
    EXPECT_FALSE(encoder.EncodeChunk(pcm.constData(), 100, consumed, out, produced));
    EXPECT_FALSE(encoder.Finish(out, produced));
}

TEST_F(LameEncoderTest, EncodesConstantBitrateStereoAndMonoThatFfmpegDecodes)
{
    struct Case {
        int channels;
        int kbps;
        int piece; // bytes handed in per call, not a multiple of the chunk size
        int modeBits; // channel mode in the frame header: joint stereo or mono
    } cases[] = { { 2, 128, 7001 * 2, 1 }, { 1, 64, 333 * 2, 3 } };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        const QByteArray pcm = GenerateSinePcm(10, 44100, c.channels);
        ASSERT_EQ(pcm.size(), 441000 * 2 * c.channels);
        CLameEncoder encoder;
        ASSERT_TRUE(encoder.Init(44100, c.channels, c.kbps));
        const QByteArray mp3 = EncodeAll(encoder, pcm, c.piece);
        ASSERT_FALSE(mp3.isEmpty());
        EXPECT_EQ(uint8_t(mp3[0]), 0xFF); // frames only, starting with a frame header
        EXPECT_EQ(uint8_t(mp3[3]) >> 6, c.modeBits);

        const QString path = work.filePath(QStringLiteral("sine%1.mp3").arg(c.channels));
        ASSERT_TRUE(WriteBytes(path, mp3));
        const auto probed = ProbeAudio(path);
        ASSERT_TRUE(probed.ok) << probed.error.toStdString();
        EXPECT_EQ(probed.formatName, "mp3");
        EXPECT_EQ(probed.codecName, "mp3");
        EXPECT_EQ(probed.sampleRate, 44100);
        EXPECT_EQ(probed.channels, c.channels);
        EXPECT_EQ(probed.bitRate, c.kbps * 1000);
        // Constant bitrate: the size is the bitrate times the duration, to within a frame.
        EXPECT_NEAR(mp3.size() * 8.0 / (c.kbps * 1000), probed.decodedSamples / 44100.0, kFrameSeconds);
        // Ten seconds, plus the encoder's start-up delay of 576 samples and the padding of the last frame.
        EXPECT_GE(probed.decodedSamples, 441000);
        EXPECT_LE(probed.decodedSamples, 441000 + kEncoderDelay + 1152);
        EXPECT_GE(probed.duration, 10.0 - 0.001);
        EXPECT_LE(probed.duration, 10.0 + (kEncoderDelay + 1152) / 44100.0);
    }
}

TEST_F(LameEncoderTest, MissingLibraryMakesEveryInitFailWithOneLogEntry)
{
    CLameEncoder::ResetLibraryForTesting(false);
    CLameEncoder first;
    CLameEncoder second;
    EXPECT_FALSE(CLameEncoder::IsLibraryLoaded());
    EXPECT_FALSE(first.Init(44100, 2, 128));
    EXPECT_FALSE(second.Init(44100, 1, 64));
    EXPECT_FALSE(first.Init(44100, 2, 128));

    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("LameEncoder: Cannot load library: ") + appFolder.FilePath("libmp3lame.so.0"))
        << lines[0].toStdString();
}

TEST_F(LameEncoderTest, LibraryBesideTheProgramIsUsedAndAForeignOneCountsAsMissingWithoutALogEntry)
{
    const QString local = appFolder.FilePath(QStringLiteral("libmp3lame.so.0"));
    ASSERT_TRUE(QFile::copy(SystemLibraryPath("libmp3lame.so.0"), local));
    CLameEncoder::ResetLibraryForTesting(false);
    {
        CLameEncoder encoder;
        EXPECT_TRUE(CLameEncoder::IsLibraryLoaded());
        EXPECT_TRUE(encoder.Init(48000, 2, 192));
    }

    // Any other shared library in its place lacks the encoder's entry points.
    const QString otherFolder = work.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(otherFolder));
    ASSERT_TRUE(QFile::copy(SystemLibraryPath("libz.so.1"), otherFolder + QStringLiteral("/libmp3lame.so.0")));
    SetAppFolderOverride(otherFolder);
    CLameEncoder::ResetLibraryForTesting(false);
    CLameEncoder encoder;
    EXPECT_FALSE(CLameEncoder::IsLibraryLoaded());
    EXPECT_FALSE(encoder.Init(44100, 2, 128));
    EXPECT_TRUE(LogLines().isEmpty());
}

} // namespace
