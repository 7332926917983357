#include "tests/audio/library/AudioTestHelpers.h"

#include "tests/support/TestMedia.h"
#include "tests/support/TestPaths.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

using namespace audio_test;
using namespace testing_support;

namespace
{

class FastLibraryTest : public LibraryTest
{
protected:
    NullOutputKnobs Knobs() const override
    {
        NullOutputKnobs knobs;
        knobs.noClock = true;
        return knobs;
    }
    QString Generate(MediaFormat format, const SineOptions& options = {})
    {
        const QString path = m_folder.filePath(QStringLiteral("tone%1.").arg(m_count++) + MediaExtension(format));
        EXPECT_TRUE(GenerateSine(path, format, options)) << path.toStdString();
        return path;
    }
    QTemporaryDir m_folder;
    int m_count = 0;
};

struct EndCounter {
    std::atomic<int> ends { 0 };
    static void Proc(AudioSync, uint32_t, uint32_t, void* user) { ++static_cast<EndCounter*>(user)->ends; }
};

} // namespace

TEST_F(FastLibraryTest, FileStreamsReportTypeRateAndChannelsAndPlayToTheirEnd)
{
    struct Case {
        MediaFormat format;
        int rate;
        int channels;
        uint32_t ctype;
    };
    const Case cases[] = {
        { MediaFormat::Mp3, 44100, 2, AUDIO_CTYPE_MP3 },
        { MediaFormat::Mp2, 32000, 1, AUDIO_CTYPE_MP2 },
        { MediaFormat::AacAdts, 22050, 2, AUDIO_CTYPE_AAC },
        { MediaFormat::M4a, 44100, 2, AUDIO_CTYPE_MP4 },
        { MediaFormat::OggVorbis, 44100, 2, AUDIO_CTYPE_OGG },
        { MediaFormat::OggOpus, 48000, 2, AUDIO_CTYPE_OPUS },
        { MediaFormat::WavPcm, 11025, 1, AUDIO_CTYPE_WAV_PCM },
        { MediaFormat::WavFloat, 44100, 2, AUDIO_CTYPE_WAV_FLOAT },
        { MediaFormat::Wma, 44100, 2, AUDIO_CTYPE_WMA },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(MediaExtension(c.format).toStdString() + " " + std::to_string(c.rate));
        SineOptions options;
        options.seconds = 1.0;
        options.sampleRate = c.format == MediaFormat::OggOpus ? 48000 : c.rate;
        options.channels = c.channels;
        options.bitrateKbps = c.format == MediaFormat::Mp2 ? 64 : 128;
        const QString path = Generate(c.format, options);
        const AudioStream stream = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0x940000);
        ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
        AudioChannelInfo info {};
        ASSERT_TRUE(BASS_ChannelGetInfo(stream, &info));
        EXPECT_EQ(info.ctype, c.ctype);
        EXPECT_EQ(int(info.freq), c.rate);
        EXPECT_EQ(int(info.chans), c.channels);
        EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STOPPED);

        EndCounter& counter = Keep<EndCounter>();
        ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_END | AUDIO_SYNC_MIXTIME, 0, &EndCounter::Proc, &counter), 0u);
        ASSERT_TRUE(BASS_ChannelPlay(stream, false));
        EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
        EXPECT_TRUE(WaitFor([&] { return counter.ends == 1; }, 10000));
        // Auto-free: the handle is gone once the stream has ended.
        EXPECT_TRUE(WaitFor([&] { return !BASS_ChannelGetInfo(stream, &info); }, 2000));
        EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_HANDLE);
    }
}

TEST_F(FastLibraryTest, InitialisationAndHandleErrorsAreReported)
{
    EXPECT_FALSE(BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_ALREADY);
    EXPECT_FALSE(BASS_ChannelPlay(12345, false));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelIsActive(12345), AUDIO_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_ChannelLock(12345, true));
    EXPECT_FALSE(BASS_SetConfig(9999, 1));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_PARAMETER);
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
    EXPECT_EQ(BASS_FX_GetVersion() >> 16, 0x0204u);

    AudioDeviceInfo info {};
    ASSERT_TRUE(BASS_GetDeviceInfo(0, &info));
    EXPECT_STREQ(info.name, "No sound");
    EXPECT_TRUE(info.flags & AUDIO_DEVICE_INIT);

    ASSERT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_NOT_INIT);
    const QString path = Generate(MediaFormat::Mp3);
    EXPECT_EQ(BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_NOT_INIT);
    EXPECT_FALSE(BASS_Init(-7, 44100, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_DEVICE);
    ASSERT_TRUE(BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, 0));
}

TEST_F(FastLibraryTest, FilesThatAreNoAudioOrNotThereAreRefused)
{
    EXPECT_EQ(BASS_StreamCreateFile(false, "/nonexistent/folder/tone.mp3", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_OPEN);

    const QString html = m_folder.filePath(QStringLiteral("page.mp3"));
    ASSERT_TRUE(WriteBytes(html, "<!DOCTYPE html><html><body>Not a stream</body></html>\n"));
    EXPECT_EQ(BASS_StreamCreateFile(false, html.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);

    QByteArray noise(200000, '\0');
    uint32_t state = 12345;
    for (char& c : noise) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 24);
    }
    const QString garbage = m_folder.filePath(QStringLiteral("noise.aac"));
    ASSERT_TRUE(WriteBytes(garbage, noise));
    EXPECT_EQ(BASS_StreamCreateFile(false, garbage.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);

    // Formats the library does not offer are refused even though FFmpeg could decode them.
    const QString flac = Generate(MediaFormat::Flac);
    EXPECT_EQ(BASS_StreamCreateFile(false, flac.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);

    const QString empty = m_folder.filePath(QStringLiteral("empty.ogg"));
    ASSERT_TRUE(WriteBytes(empty, QByteArray()));
    EXPECT_EQ(BASS_StreamCreateFile(false, empty.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);

    EXPECT_EQ(BASS_StreamCreateFile(true, "x", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_PARAMETER);
}

TEST_F(FastLibraryTest, PathsInWindows1252AndUtf8BothOpen)
{
    SineOptions options;
    options.seconds = 0.3;
    const QString path = m_folder.filePath(QStringLiteral("Caf\u00e9 M\u00fcller.mp3"));
    ASSERT_TRUE(GenerateSine(path, MediaFormat::Mp3, options));
    const AudioStream utf8 = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0);
    EXPECT_NE(utf8, 0u) << BASS_ErrorGetCode();
    QByteArray ansi = path.toLatin1(); // é and ü are the same bytes in Windows-1252
    const AudioStream windows = BASS_StreamCreateFile(false, ansi.constData(), 0, 0, 0);
    EXPECT_NE(windows, 0u) << BASS_ErrorGetCode();
}

TEST_F(FastLibraryTest, OggCommentsAndFilePositions)
{
    SineOptions options;
    options.title = QStringLiteral("Song");
    options.artist = QStringLiteral("Band");
    const QString path = Generate(MediaFormat::OggVorbis, options);
    const AudioStream stream = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, AUDIO_STREAM_AUTOFREE);
    ASSERT_NE(stream, 0u);
    const std::vector<std::string> comments = TagItems(BASS_ChannelGetTags(stream, AUDIO_TAG_OGG));
    EXPECT_NE(std::find(comments.begin(), comments.end(), "TITLE=Song"), comments.end());
    EXPECT_NE(std::find(comments.begin(), comments.end(), "ARTIST=Band"), comments.end());
    EXPECT_EQ(BASS_ChannelGetTags(stream, AUDIO_TAG_HTTP), nullptr);
    EXPECT_EQ(BASS_ChannelGetTags(stream, AUDIO_TAG_META), nullptr);

    const uint64_t size = uint64_t(QFileInfo(path).size());
    EXPECT_EQ(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_END), size);
    EXPECT_EQ(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_DOWNLOAD), size);
    EXPECT_GT(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT), 0u);
    EXPECT_LE(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT), size);
    EXPECT_EQ(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_WMA_BUFFER), uint64_t(-1));
    EXPECT_EQ(BASS_WMA_GetWMObject(stream), nullptr);
}

TEST_F(FastLibraryTest, WmaStreamsAnswerTheirBitrate)
{
    const QString path = Generate(MediaFormat::Wma);
    const AudioStream stream = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0);
    ASSERT_NE(stream, 0u);
    CWmaMediaObject* object = BASS_WMA_GetWMObject(stream);
    ASSERT_NE(object, nullptr);
    uint32_t bitrate = 0;
    ASSERT_TRUE(object->QueryHeaderInfo()->GetAttributeByName(0, "CurrentBitrate", bitrate));
    EXPECT_NEAR(double(bitrate), 128000.0, 8000.0);
    EXPECT_EQ(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_WMA_BUFFER), 100u);
}

TEST_F(FastLibraryTest, PluginNamesStandForBuiltInDecoders)
{
    EXPECT_NE(BASS_PluginLoad("/nowhere/wma-decoder.so", 0), 0u);
    EXPECT_NE(BASS_PluginLoad("/nowhere/AAC-plugin.so", 0), 0u);
    EXPECT_EQ(BASS_PluginLoad("/nowhere/flac-plugin.so", 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_OPEN);
}

TEST_F(FastLibraryTest, PlaylistFilesAreFollowedOnlyWhenAllowed)
{
    SineOptions options;
    options.seconds = 0.5;
    const QString tone = Generate(MediaFormat::Mp3, options);
    const QString list = m_folder.filePath(QStringLiteral("list.m3u"));
    ASSERT_TRUE(
        WriteBytes(list, "#EXTM3U\n#EXTINF:-1,Missing\nmissing.mp3\n" + QFileInfo(tone).fileName().toUtf8() + "\n"));

    BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 1);
    EXPECT_EQ(BASS_StreamCreateFile(false, list.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);

    BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 2);
    const AudioStream stream = BASS_StreamCreateFile(false, list.toUtf8().constData(), 0, 0, 0);
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    AudioChannelInfo info {};
    ASSERT_TRUE(BASS_ChannelGetInfo(stream, &info));
    EXPECT_EQ(QString::fromUtf8(info.filename), tone);

    const QString loop = m_folder.filePath(QStringLiteral("loop.pls"));
    ASSERT_TRUE(WriteBytes(loop, "[playlist]\nNumberOfEntries=1\nFile1=loop.pls\n"));
    EXPECT_EQ(BASS_StreamCreateFile(false, loop.toUtf8().constData(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_PLAYLIST);
}
