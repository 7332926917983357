#include "tests/audio/library/AudioTestHelpers.h"

#include "tests/support/IcecastServer.h"

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace audio_test;
using namespace testing_support;

namespace
{

struct Download {
    std::mutex mutex;
    QByteArray bytes;
    std::vector<std::string> status;
    int blocks = 0;
    static void Proc(const void* buffer, uint32_t length, void* user)
    {
        auto* download = static_cast<Download*>(user);
        std::lock_guard lock(download->mutex);
        if (length == 0) {
            download->status = TagItems(static_cast<const char*>(buffer));
            return;
        }
        download->bytes.append(static_cast<const char*>(buffer), qsizetype(length));
        ++download->blocks;
    }
    QByteArray Bytes()
    {
        std::lock_guard lock(mutex);
        return QByteArray(bytes.constData(), bytes.size()); // a deep copy: the callback goes on appending
    }
};

class IcecastStreamTest : public LibraryTest
{
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        ASSERT_TRUE(m_server.IsRunning()) << m_server.Error().toStdString();
    }
    AudioStream Open(const QString& mount, Download* download = nullptr)
    {
        const QByteArray url = m_server.Url(mount).toUtf8();
        const AudioStream stream
            = BASS_StreamCreateURL(url.constData(), 0, 0x940000, download ? &Download::Proc : nullptr, download);
        EXPECT_NE(stream, 0u) << "error " << BASS_ErrorGetCode();
        return stream;
    }

    IcecastServer m_server;
};

} // namespace

TEST_F(IcecastStreamTest, EachFormatPlaysWithItsTypeRateChannelsAndHeaders)
{
    struct Case {
        QString mount;
        IcecastFormat format;
        uint32_t ctype;
        int rate;
    };
    const Case cases[] = { { "/mp3", IcecastFormat::Mp3, AUDIO_CTYPE_MP3, 44100 },
        { "/aac", IcecastFormat::Aac, AUDIO_CTYPE_AAC, 44100 },
        { "/ogg", IcecastFormat::OggVorbis, AUDIO_CTYPE_OGG, 44100 },
        { "/opus", IcecastFormat::OggOpus, AUDIO_CTYPE_OPUS, 48000 } };
    for (const Case& c : cases) {
        IcecastSourceOptions options;
        options.format = c.format;
        options.sampleRate = c.rate;
        options.bitrateKbps = c.format == IcecastFormat::OggOpus ? 96 : 128;
        ASSERT_TRUE(m_server.StartSource(c.mount, options)) << c.mount.toStdString();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mount.toStdString());
        const AudioStream stream = Open(c.mount);
        ASSERT_NE(stream, 0u);
        AudioChannelInfo info {};
        ASSERT_TRUE(BASS_ChannelGetInfo(stream, &info));
        EXPECT_EQ(info.ctype, c.ctype);
        EXPECT_EQ(int(info.freq), c.rate);
        EXPECT_EQ(info.chans, 2u);

        const std::vector<std::string> http = TagItems(BASS_ChannelGetTags(stream, AUDIO_TAG_HTTP));
        ASSERT_FALSE(http.empty());
        EXPECT_EQ(http.front(), "HTTP/1.0 200 OK");
        EXPECT_NE(std::find(http.begin(), http.end(), "icy-name:Test Station"), http.end());
        EXPECT_NE(std::find(http.begin(), http.end(), c.format == IcecastFormat::OggOpus ? "icy-br:96" : "icy-br:128"),
            http.end());
        EXPECT_EQ(BASS_ChannelGetTags(stream, AUDIO_TAG_ICY), nullptr);

        SyncLog& stalls = Keep<SyncLog>();
        ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &stalls), 0u);
        ASSERT_TRUE(BASS_ChannelPlay(stream, false));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
        EXPECT_TRUE(stalls.Data().empty()); // refills and the download's rests keep up
        std::vector<float> fft(1024);
        ASSERT_EQ(BASS_ChannelGetData(stream, fft.data(), AUDIO_DATA_FFT2048), 4096u);
        const int peak = PeakBin(fft.data());
        EXPECT_TRUE(peak == 20 || peak == 21) << peak;
        const uint64_t downloaded = BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_DOWNLOAD);
        EXPECT_GT(downloaded, 0u);
        EXPECT_LE(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT), downloaded);
        EXPECT_GT(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_END), 0u);
        ASSERT_TRUE(BASS_ChannelStop(stream));
        EXPECT_FALSE(BASS_ChannelGetInfo(stream, &info));
    }
}

TEST_F(IcecastStreamTest, ATitleChangeReachesTheMetaTagAndSyncWithinOneInterval)
{
    ASSERT_TRUE(m_server.StartSource("/mp3"));
    const AudioStream stream = Open("/mp3");
    ASSERT_NE(stream, 0u);
    SyncLog& meta = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_META | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &meta), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    // Icecast puts the first block into the stream once the source has run for a moment.
    WaitFor([&] { return BASS_ChannelGetTags(stream, AUDIO_TAG_META) != nullptr; }, 3000);

    const size_t before = meta.Data().size();
    ASSERT_TRUE(m_server.SetTitle("/mp3", QStringLiteral("Artist - Song \u00e4")));
    const auto changed = std::chrono::steady_clock::now();
    // 16000 bytes of a 128 kbit/s stream are one second.
    ASSERT_TRUE(WaitFor(
        [&] {
            const char* tag = BASS_ChannelGetTags(stream, AUDIO_TAG_META);
            return tag && std::string(tag).find("Artist - Song") != std::string::npos;
        },
        2500));
    EXPECT_LT(std::chrono::steady_clock::now() - changed, std::chrono::milliseconds(2500));
    // Icecast sends MP3 metadata in Latin-1.
    EXPECT_EQ(std::string(BASS_ChannelGetTags(stream, AUDIO_TAG_META)), "StreamTitle='Artist - Song \xE4';");
    EXPECT_GT(meta.Data().size(), before);
}

TEST_F(IcecastStreamTest, AnOggTitleChangeStartsANewLogicalStream)
{
    IcecastSourceOptions options;
    options.format = IcecastFormat::OggVorbis;
    ASSERT_TRUE(m_server.StartSource("/ogg", options));
    const AudioStream stream = Open("/ogg");
    ASSERT_NE(stream, 0u);
    SyncLog& change = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_OGG_CHANGE | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &change), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(m_server.SetOggTags("/ogg", QStringLiteral("Song"), QStringLiteral("Band")));
    // The new stream is met when the decoder reaches it, a network buffer later.
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<std::string> items = TagItems(BASS_ChannelGetTags(stream, AUDIO_TAG_OGG));
            return std::find(items.begin(), items.end(), "TITLE=Song") != items.end();
        },
        12000));
    const std::vector<std::string> items = TagItems(BASS_ChannelGetTags(stream, AUDIO_TAG_OGG));
    EXPECT_NE(std::find(items.begin(), items.end(), "ARTIST=Band"), items.end());
    EXPECT_FALSE(change.Data().empty());
    // The new stream's headers hold no sound: a very sparse stream may stall on them for a moment.
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(stream) == AUDIO_ACTIVE_PLAYING; }, 5000));
}

TEST_F(IcecastStreamTest, TheDownloadCallbackGetsTheServersAudioBytesWithoutMetadata)
{
    ASSERT_TRUE(m_server.StartSource("/mp3"));
    m_server.SetTitle("/mp3", QStringLiteral("First"));
    // A second, plain listener (no metadata) records the same stream for comparison.
    QByteArray plain;
    std::thread listener([&] { plain = m_server.Get(QStringLiteral("/mp3"), nullptr, false, 5000); });
    Download& download = Keep<Download>();
    const AudioStream stream = Open("/mp3", &download);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    m_server.SetTitle("/mp3", QStringLiteral("Second"));
    listener.join();
    const QByteArray bytes = download.Bytes();
    {
        std::lock_guard lock(download.mutex);
        ASSERT_FALSE(download.status.empty());
        EXPECT_EQ(download.status.front(), "HTTP/1.0 200 OK");
    }
    EXPECT_EQ(uint64_t(bytes.size()), BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_DOWNLOAD));
    EXPECT_FALSE(bytes.contains("StreamTitle"));
    ASSERT_GT(bytes.size(), 40000);
    ASSERT_GT(plain.size(), 40000);
    // Where both recorded the same stretch, the bytes are the same.
    const QByteArray probe = bytes.mid(20000, 4000);
    const qsizetype inPlain = plain.indexOf(probe);
    ASSERT_GE(inPlain, 0) << "a stretch of the callback's bytes is not in the server's stream";
    const qsizetype offset = inPlain - 20000;
    const qsizetype start = std::max<qsizetype>(0, -offset);
    const qsizetype end = std::min<qsizetype>(bytes.size(), plain.size() - offset);
    ASSERT_GT(end - start, 30000);
    EXPECT_EQ(bytes.mid(start, end - start), plain.mid(start + offset, end - start));
}

TEST_F(IcecastStreamTest, AStoppedSourceStallsTheChannelAndARestartedOneResumesIt)
{
    ASSERT_TRUE(m_server.StartSource("/mp3"));
    const AudioStream stream = Open("/mp3");
    ASSERT_NE(stream, 0u);
    SyncLog& stalls = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &stalls), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    m_server.StopSource("/mp3");
    ASSERT_TRUE(WaitFor([&] { return !stalls.Data().empty(); }, 8000));
    EXPECT_EQ(stalls.Data(), std::vector<uint32_t> { 0 });
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STALLED);

    ASSERT_TRUE(m_server.RestartSource("/mp3"));
    ASSERT_TRUE(WaitFor([&] { return stalls.Data().size() >= 2; }, 10000));
    EXPECT_EQ(stalls.Data(), (std::vector<uint32_t> { 0, 1 }));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
    std::vector<float> fft(1024);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(BASS_ChannelGetData(stream, fft.data(), AUDIO_DATA_FFT2048), 4096u);
    const int peak = PeakBin(fft.data());
    EXPECT_TRUE(peak == 20 || peak == 21) << peak;
}

TEST_F(IcecastStreamTest, AStationBackAtAnotherSampleRatePlaysAtItsOwnPitch)
{
    ASSERT_TRUE(m_server.StartSource("/mp3"));
    const AudioStream stream = Open("/mp3");
    ASSERT_NE(stream, 0u);
    SyncLog& stalls = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &stalls), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    m_server.StopSource("/mp3");
    ASSERT_TRUE(WaitFor([&] { return !stalls.Data().empty(); }, 8000));

    IcecastSourceOptions options;
    options.sampleRate = 22050;
    ASSERT_TRUE(m_server.StartSource("/mp3", options));
    ASSERT_TRUE(WaitFor([&] { return stalls.Data().size() >= 2; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    AudioChannelInfo info {};
    ASSERT_TRUE(BASS_ChannelGetInfo(stream, &info));
    EXPECT_EQ(info.freq, 22050u);
    // 440 Hz, not twice that: the tone is resampled from its new rate.
    std::vector<float> fft(1024);
    ASSERT_EQ(BASS_ChannelGetData(stream, fft.data(), AUDIO_DATA_FFT2048), 4096u);
    const int peak = PeakBin(fft.data());
    EXPECT_TRUE(peak == 20 || peak == 21) << peak;
}
