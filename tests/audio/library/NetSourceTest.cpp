#include "tests/audio/library/AudioTestHelpers.h"

#include "audio/library/NetSource.h"
#include "audio/library/StreamBuffer.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tests/support/TestPaths.h"

#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace audio_test;
using namespace testing_support;

namespace
{

struct Download {
    std::mutex mutex;
    QByteArray bytes;
    std::vector<std::string> status;
    static void Proc(const void* buffer, uint32_t length, void* user)
    {
        auto* download = static_cast<Download*>(user);
        std::lock_guard lock(download->mutex);
        if (length == 0)
            download->status = TagItems(static_cast<const char*>(buffer));
        else
            download->bytes.append(static_cast<const char*>(buffer), qsizetype(length));
    }
    qsizetype Size()
    {
        std::lock_guard lock(mutex);
        return bytes.size();
    }
};

struct FrameCounter {
    std::atomic<uint64_t> bytes { 0 };
    static void Proc(AudioDsp, uint32_t, void*, uint32_t length, void* user)
    {
        static_cast<FrameCounter*>(user)->bytes += length;
    }
};

QByteArray Noise(int size)
{
    QByteArray noise(size, '\0');
    uint32_t state = 4711;
    for (char& c : noise) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return noise;
}

// Sends bytes at roughly real time for a stream of kbps; false once the client has gone.
bool SendPaced(HttpConnection& connection, const QByteArray& bytes, int kbps)
{
    const int chunk = kbps * 125 / 10; // 100 ms
    for (qsizetype i = 0; i < bytes.size(); i += chunk) {
        if (!connection.Send(bytes.mid(i, chunk)) || !connection.Sleep(100))
            return false;
    }
    return true;
}

void HoldOpen(HttpConnection& connection)
{
    while (connection.Sleep(100)) { }
}

int OpenDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// A port on 127.0.0.1 that takes no connection: a listening socket whose queue is full drops further
// connection attempts, which then wait to connect. The descriptors are closed when it goes.
struct FullListener {
    int socket = -1;
    std::vector<int> fillers;
    uint16_t port = 0;

    FullListener()
    {
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(socket, 0) != 0
            || ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        for (int i = 0; i < 3; ++i) {
            fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port = ntohs(address.sin_port);
    }
    ~FullListener()
    {
        for (int fd : fillers)
            ::close(fd);
        ::close(socket);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
    QByteArray Url() const { return QStringLiteral("http://127.0.0.1:%1/stream").arg(port).toUtf8(); }
};

// A download callback that fails on every block of sound.
struct Thrower {
    std::atomic<int> blocks { 0 };
    bool throwInt = false;
    static void Proc(const void*, uint32_t length, void* user)
    {
        auto* thrower = static_cast<Thrower*>(user);
        if (length == 0)
            return;
        ++thrower->blocks;
        if (thrower->throwInt)
            throw 42;
        throw std::runtime_error("cannot take this block");
    }
};

// Records the META tag at every META sync.
struct TitleLog {
    std::mutex mutex;
    std::vector<std::string> titles;
    static void Proc(AudioSync, uint32_t channel, uint32_t, void* user)
    {
        auto* log = static_cast<TitleLog*>(user);
        const char* tag = BASS_ChannelGetTags(channel, AUDIO_TAG_META);
        std::lock_guard lock(log->mutex);
        log->titles.emplace_back(tag ? tag : "(none)");
    }
};

// "Key='value';" items of text: a key first, a quoted value last, no control characters.
bool IsKeyValueText(const std::string& text)
{
    const size_t equals = text.find("='");
    if (equals == 0 || equals == std::string::npos || !text.ends_with("';"))
        return false;
    const auto keyCharacter = [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; };
    return std::all_of(text.begin(), text.begin() + qsizetype(equals), keyCharacter)
        && std::none_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

class NetSourceTest : public LibraryTest
{
protected:
    NullOutputKnobs Knobs() const override
    {
        NullOutputKnobs knobs;
        knobs.noClock = true; // play as fast as the data comes
        return knobs;
    }
    QByteArray Mp3(double seconds)
    {
        SineOptions options;
        options.seconds = seconds;
        return GenerateSineBytes(MediaFormat::Mp3, options);
    }
    AudioStream Open(const QString& path, Download* download = nullptr)
    {
        const QByteArray url = m_server.Url(path).toUtf8();
        return BASS_StreamCreateURL(url.constData(), 0, 0x940000, download ? &Download::Proc : nullptr, download);
    }

    LoopbackHttpServer m_server;
};

} // namespace

TEST_F(NetSourceTest, ServersThatGiveNoAudioFailWithTheirCodes)
{
    uint16_t closedPort;
    {
        LoopbackHttpServer gone;
        closedPort = gone.Port();
    }
    const QByteArray closed = QStringLiteral("http://127.0.0.1:%1/stream").arg(closedPort).toUtf8();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BASS_StreamCreateURL(closed.constData(), 0, 0x940000, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_NO_NET);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    m_server.RouteFixed("/page", 200, "text/html",
        "<!DOCTYPE html><html><head><title>Radio</title></head>"
        "<body>Listen to our station!</body></html>");
    m_server.RouteFixed("/empty", 200, "audio/mpeg", QByteArray());
    m_server.RouteFixed("/error", 500, "text/plain", "broken");
    EXPECT_EQ(Open("/missing"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_OPEN);
    EXPECT_EQ(Open("/error"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_OPEN);
    EXPECT_EQ(Open("/page"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);
    EXPECT_EQ(Open("/empty"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);
    EXPECT_EQ(BASS_StreamCreateURL("ftp://127.0.0.1/stream", 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_OPEN);

    // Endless noise sent as MP3.
    m_server.Route("/noise", [](HttpConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
        SendPaced(c, Noise(1 << 20), 512);
    });
    EXPECT_EQ(Open("/noise"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);
}

TEST_F(NetSourceTest, AServerThatNeverAnswersFailsAfterTheTimeOut)
{
    BASS_SetConfig(AUDIO_CONFIG_NET_TIMEOUT, 1500);
    {
        const FullListener unreachable;
        ASSERT_NE(unreachable.port, 0);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(BASS_StreamCreateURL(unreachable.Url().constData(), 0, 0x940000, nullptr, nullptr), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_TIMEOUT);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    }

    m_server.Route("/hang", [](HttpConnection& c) { HoldOpen(c); });
    m_server.Route("/head-only", [](HttpConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
        HoldOpen(c);
    });
    for (const char* path : { "/hang", "/head-only" }) {
        SCOPED_TRACE(path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Open(path), 0u);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_TIMEOUT);
        EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
        EXPECT_LT(elapsed, std::chrono::milliseconds(4000));
    }
}

TEST_F(NetSourceTest, FreeingTheLibraryEndsACreationThatWaits)
{
    BASS_SetConfig(AUDIO_CONFIG_NET_TIMEOUT, 30000);
    m_server.Route("/hang", [](HttpConnection& c) { HoldOpen(c); });
    std::atomic<bool> done { false };
    AudioStream stream = 1;
    std::thread creator([&] {
        stream = Open("/hang");
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_Free());
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 2000));
    creator.join();
    EXPECT_EQ(stream, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    ASSERT_TRUE(BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, 0));
}

TEST_F(NetSourceTest, AnAbortEndsACreationWaitingToConnectForTheHeadOrInProbing)
{
    BASS_SetConfig(AUDIO_CONFIG_NET_TIMEOUT, 30000);
    const FullListener unreachable;
    ASSERT_NE(unreachable.port, 0);
    const QByteArray audio = Mp3(4);
    m_server.Route("/hang", [](HttpConnection& c) { HoldOpen(c); });
    // Less than the decoder probes: it waits for more.
    m_server.Route("/probing", [audio](HttpConnection& c) {
        if (c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n") && c.Send(audio.left(2000)))
            HoldOpen(c);
    });
    m_server.Route("/whole", [audio](HttpConnection& c) {
        if (c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n") && c.Send(audio))
            HoldOpen(c);
    });
    struct Case {
        const char* name;
        QByteArray url;
        // Whether the creation has come as far as it should, given the requests the server had before.
        std::function<bool(Download&, size_t)> waiting;
        int connections; // to the loopback server meanwhile
    };
    const auto requested = [this](Download&, size_t before) { return m_server.Requests().size() > before; };
    const std::vector<Case> cases {
        { "connect", unreachable.Url(), [](Download&, size_t) { return true; }, 0 },
        { "head", m_server.Url("/hang").toUtf8(), requested, 1 },
        { "probing", m_server.Url("/probing").toUtf8(), [](Download& d, size_t) { return d.Size() > 0; }, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t requests = m_server.Requests().size();
        Download download;
        std::atomic<bool> done { false };
        AudioStream stream = 1;
        int error = AUDIO_OK;
        std::thread creator([&] {
            stream = BASS_StreamCreateURL(c.url.constData(), 0, 0x940000, &Download::Proc, &download);
            error = BASS_ErrorGetCode();
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return c.waiting(download, requests); }, 3000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(done.load());
        EXPECT_EQ(m_server.OpenClientConnections(), c.connections);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(BASS_StreamAbortCreate(&download, true));
        EXPECT_TRUE(WaitFor([&] { return done.load(); }, 2000)) << "the abort did not end the creation";
        creator.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(stream, 0u);
        EXPECT_EQ(error, AUDIO_ERROR_UNKNOWN);
        EXPECT_EQ(m_server.OpenClientConnections(), 0) << "the aborted creation kept its connection";

        // While the abort holds, a creation for the same caller fails at once; once lifted, it is made.
        const QByteArray whole = m_server.Url("/whole").toUtf8();
        EXPECT_EQ(BASS_StreamCreateURL(whole.constData(), 0, 0x940000, &Download::Proc, &download), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_UNKNOWN);
        EXPECT_TRUE(BASS_StreamAbortCreate(&download, false));
        const AudioStream made = BASS_StreamCreateURL(whole.constData(), 0, 0x940000, &Download::Proc, &download);
        ASSERT_NE(made, 0u);
        // An abort leaves a stream that exists as it is.
        EXPECT_TRUE(BASS_StreamAbortCreate(&download, true));
        EXPECT_TRUE(BASS_ChannelPlay(made, false));
        EXPECT_NE(BASS_ChannelIsActive(made), AUDIO_ACTIVE_STOPPED);
        EXPECT_TRUE(BASS_ChannelStop(made));
        EXPECT_TRUE(BASS_StreamAbortCreate(&download, false));
    }
}

TEST_F(NetSourceTest, AnIcyStreamWithLargeMetadataGivesTheExactAudioBytes)
{
    const QByteArray audio = Mp3(6.0);
    ASSERT_FALSE(audio.isEmpty());
    constexpr int kInterval = 8192;
    int blocks = 0;
    QByteArray lastTitle;
    QByteArray wire;
    for (qsizetype i = 0; i < audio.size(); i += kInterval) {
        wire += audio.mid(i, kInterval);
        if (i + kInterval > audio.size())
            break;
        // The largest block there is: 255 * 16 bytes, most of it padding.
        QByteArray text = "StreamTitle='Block " + QByteArray::number(++blocks) + " " + QByteArray(3000, 'x') + "';";
        lastTitle = text;
        text.resize(4080, '\0');
        wire += char(255);
        wire += text;
    }
    m_server.Route("/icy", [wire](HttpConnection& c) {
        c.Send("ICY 200 OK\r\nicy-name:Loopback Radio\r\nicy-genre:Test\r\nicy-metaint:8192\r\n"
               "icy-br:128\r\nContent-Type: audio/mpeg\r\n\r\n");
        c.Send(wire);
        HoldOpen(c);
    });
    BASS_SetConfigPtr(AUDIO_CONFIG_NET_AGENT, "Internet%20Explorer%207");
    Download& download = Keep<Download>();
    const AudioStream stream = Open("/icy", &download);
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    SyncLog& meta = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_META | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &meta), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return download.Size() >= audio.size(); }, 10000));
    {
        std::lock_guard lock(download.mutex);
        EXPECT_TRUE(download.bytes == audio) << download.bytes.size() << " vs " << audio.size();
        ASSERT_FALSE(download.status.empty());
        EXPECT_EQ(download.status.front(), "ICY 200 OK");
    }
    const std::vector<std::string> icy = TagItems(BASS_ChannelGetTags(stream, AUDIO_TAG_ICY));
    ASSERT_GE(icy.size(), 3u);
    EXPECT_EQ(icy[0], "ICY 200 OK");
    EXPECT_EQ(icy[1], "icy-name:Loopback Radio");
    EXPECT_EQ(BASS_ChannelGetTags(stream, AUDIO_TAG_HTTP), nullptr);
    // Blocks that came while the stream was being created were before the sync was set.
    EXPECT_GT(meta.Data().size(), 0u);
    EXPECT_LE(int(meta.Data().size()), blocks);
    EXPECT_EQ(QByteArray(BASS_ChannelGetTags(stream, AUDIO_TAG_META)), lastTitle);
    EXPECT_NE(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STOPPED);

    const std::vector<HttpRequest> requests = m_server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().Header("user-agent"), "Internet%20Explorer%207");
    EXPECT_EQ(requests.front().Header("icy-metadata"), "1");
}

TEST_F(NetSourceTest, GarbageInTheMiddleOfAStreamIsSkipped)
{
    const QByteArray first = Mp3(2.0);
    const QByteArray second = Mp3(2.0);
    m_server.Route("/mixed", [first, second](HttpConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: "
            + QByteArray::number(first.size() + 65536 + second.size()) + "\r\n\r\n");
        c.Send(first + Noise(65536) + second);
    });
    const AudioStream stream = Open("/mixed");
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    FrameCounter& counter = Keep<FrameCounter>();
    ASSERT_NE(BASS_ChannelSetDSP(stream, &FrameCounter::Proc, &counter, 0), 0u);
    SyncLog& end = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_END, 0, &SyncLog::Proc, &end), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    // A stream of known length ends, and both tones were heard (the DSP missed the first blocks).
    ASSERT_TRUE(WaitFor([&] { return !end.Data().empty(); }, 10000));
    EXPECT_GT(counter.bytes.load(), uint64_t(3.0 * 44100 * 4));
}

TEST_F(NetSourceTest, ADroppedConnectionStallsTheChannelUntilTheServerIsBack)
{
    const QByteArray audio = Mp3(2.0);
    // The handler may still run for a reconnection after the test's end.
    auto& connections = Keep<std::atomic<int>>(0);
    auto& back = Keep<std::atomic<bool>>(false);
    m_server.Route("/live", [&connections, &back, audio](HttpConnection& c) {
        const int number = ++connections;
        if (number > 1 && !back) {
            c.SendResponse(404, "text/plain", "gone");
            return;
        }
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br:128\r\n\r\n");
        c.Send(audio);
        if (number > 1)
            HoldOpen(c);
        // The first connection drops here, mid-stream.
    });
    const AudioStream stream = Open("/live");
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    SyncLog& stalls = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &stalls), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return !stalls.Data().empty(); }, 5000));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STALLED);
    ASSERT_TRUE(WaitFor([&] { return connections >= 2; }, 5000)); // it keeps trying
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STALLED);

    back = true;
    ASSERT_TRUE(WaitFor([&] { return stalls.Data().size() >= 2; }, 10000));
    EXPECT_EQ(stalls.Data()[1], 1u);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelStop(stream));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(NetSourceTest, PlaylistsAreFollowedButLoopsAndDeepNestsAreRefused)
{
    const QByteArray audio = Mp3(1.0);
    m_server.RouteFixed("/audio.mp3", 200, "audio/mpeg", audio);
    m_server.RouteFixed("/self.pls", 200, "audio/x-scpls",
        "[playlist]\nNumberOfEntries=1\nFile1=" + m_server.Url("/self.pls").toUtf8() + "\n");
    for (int level = 0; level < 10; ++level) {
        const QByteArray next = level == 9 ? "/audio.mp3" : "/nest" + QByteArray::number(level + 1) + ".m3u";
        m_server.RouteFixed(
            "/nest" + QByteArray::number(level) + ".m3u", 200, "audio/x-mpegurl", "#EXTM3U\n" + next + "\n");
    }
    m_server.RouteFixed(
        "/list.pls", 200, "audio/x-scpls", "[playlist]\nFile1=/missing.mp3\nFile2=nested.asx\nNumberOfEntries=2\n");
    m_server.RouteFixed("/nested.asx", 200, "video/x-ms-asf",
        "<ASX version=\"3.0\"><Entry><Ref href=\"" + m_server.Url("/audio.mp3").toUtf8() + "\"/></Entry></ASX>");
    m_server.Route("/old", [&](HttpConnection& c) {
        c.Send(
            "HTTP/1.1 302 Found\r\nLocation: " + m_server.Url("/audio.mp3").toUtf8() + "\r\nContent-Length: 0\r\n\r\n");
    });

    EXPECT_EQ(Open("/self.pls"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_PLAYLIST);
    EXPECT_EQ(Open("/nest0.m3u"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_PLAYLIST);
    EXPECT_NE(Open("/nest7.m3u"), 0u) << "a few levels are fine";

    const AudioStream stream = Open("/list.pls");
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    AudioChannelInfo info {};
    ASSERT_TRUE(BASS_ChannelGetInfo(stream, &info));
    EXPECT_EQ(info.ctype, AUDIO_CTYPE_MP3);
    EXPECT_EQ(TagItems(BASS_ChannelGetTags(stream, AUDIO_TAG_HTTP)).front(), "HTTP/1.1 200 OK");
    SyncLog& end = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_END | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &end), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    EXPECT_TRUE(WaitFor([&] { return !end.Data().empty(); }, 5000)) << "a file of known length ends";
    EXPECT_TRUE(WaitFor([&] { return BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_END) == uint64_t(-1); }, 1000))
        << "and frees itself";

    const AudioStream moved = Open("/old");
    ASSERT_NE(moved, 0u);
    const std::vector<std::string> http = TagItems(BASS_ChannelGetTags(moved, AUDIO_TAG_HTTP));
    EXPECT_EQ(http.front(), "HTTP/1.1 200 OK");
    EXPECT_EQ(BASS_StreamGetFilePosition(moved, AUDIO_FILEPOS_END), uint64_t(audio.size()));

    BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 0);
    EXPECT_EQ(Open("/list.pls"), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_FORMAT);
}

TEST_F(NetSourceTest, AStationAPlaylistEntryAndARedirectionNamingAHostOutsideAsciiPlayUnderTheCLocale)
{
    // The loopback server is also the proxy for other hosts: it sees their names as they were sent.
    const QByteArray audio = Mp3(1.0);
    const QByteArray station = "http://радио.example/stream.mp3";
    m_server.RouteFixed("http://xn--80aimyg.example/stream.mp3", 200, "audio/mpeg", audio);
    m_server.RouteFixed("/list.pls", 200, "audio/x-scpls", "[playlist]\nNumberOfEntries=1\nFile1=" + station + "\n");
    m_server.RouteFixed("/old", 302, "text/html", "", "Location: " + station + "\r\n");
    ScopedEnvironment environment;
    environment.Set("http_proxy", m_server.Url().toLatin1()).Set("no_proxy", "127.0.0.1").Set("NO_PROXY", "127.0.0.1");
    ScopedCLocale locale;

    EXPECT_NE(BASS_StreamCreateURL(station.constData(), 0, 0x940000, nullptr, nullptr), 0u) << BASS_ErrorGetCode();
    for (const char* path : { "/list.pls", "/old" })
        EXPECT_NE(Open(QString::fromLatin1(path)), 0u) << path << ": " << BASS_ErrorGetCode();
    const auto requests = m_server.Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                  [](const HttpRequest& request) { return request.target.startsWith("http://xn--80aimyg.example/"); }),
        3);
}

TEST_F(NetSourceTest, TlsCertificatesAreVerified)
{
    QTemporaryDir folder;
    const std::string key = folder.filePath(QStringLiteral("key.pem")).toStdString();
    const std::string certificate = folder.filePath(QStringLiteral("cert.pem")).toStdString();
    ASSERT_EQ(ChildProcess::Run({ "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
                                    certificate, "-days", "1", "-subj", "/CN=127.0.0.1" },
                  30000),
        0);
    uint16_t port;
    {
        LoopbackHttpServer placeholder;
        port = placeholder.Port();
    }
    ChildProcess server;
    ASSERT_TRUE(server.Start({ "openssl", "s_server", "-quiet", "-www", "-accept", "127.0.0.1:" + std::to_string(port),
        "-cert", certificate, "-key", key }));
    ASSERT_TRUE(WaitFor(
        [&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            return connected;
        },
        5000));
    const QByteArray url = QStringLiteral("https://127.0.0.1:%1/stream").arg(port).toUtf8();
    EXPECT_EQ(BASS_StreamCreateURL(url.constData(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_SSL);
    server.Stop();
}

TEST_F(NetSourceTest, OversizedResponseHeadsAreRefusedAsProtocolErrors)
{
    const QByteArray audio = Mp3(1.0);
    auto head = [](const QByteArray& status, int lines, const QByteArray& line) {
        QByteArray text = status + "\r\nContent-Type: audio/mpeg\r\n";
        for (int i = 0; i < lines; ++i)
            text += line + QByteArray::number(i) + "\r\n";
        return text + "\r\n";
    };
    const std::map<QByteArray, QByteArray> refused = {
        { "/many", head("HTTP/1.0 200 OK", 1500, "icy-description:Line ") },
        { "/many-icy", head("ICY 200 OK", 1500, "a:") },
        { "/long", head("HTTP/1.0 200 OK", 1, "icy-description:" + QByteArray(50000, 'x')) },
        { "/huge", head("HTTP/1.0 200 OK", 1, "icy-description:" + QByteArray(200000, 'x')) },
    };
    for (const auto& [path, response] : refused)
        m_server.Route(path, [response, audio](HttpConnection& c) { c.Send(response + audio); });
    m_server.Route("/fine",
        [head, audio](HttpConnection& c) { c.Send(head("HTTP/1.0 200 OK", 60, "icy-description:Line ") + audio); });

    for (const auto& [path, response] : refused) {
        SCOPED_TRACE(path.toStdString());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Open(QString::fromLatin1(path)), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_FILE_OPEN);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    const AudioStream fine = Open("/fine");
    EXPECT_NE(fine, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(TagItems(BASS_ChannelGetTags(fine, AUDIO_TAG_HTTP)).size(), 62u);
}

TEST_F(NetSourceTest, ALyingMetadataLengthNeverPutsSoundBytesIntoTheTitle)
{
    const QByteArray audio = Mp3(8.0);
    constexpr int kInterval = 8192;
    QByteArray wire;
    int number = 0;
    for (qsizetype i = 0; i < audio.size(); i += kInterval) {
        wire += audio.mid(i, kInterval);
        if (i + kInterval > audio.size())
            break;
        QByteArray text = "StreamTitle='Block " + QByteArray::number(++number) + "';";
        const int units = int(text.size() + 15) / 16;
        text.resize(units * 16, '\0');
        wire += char(units + 1); // one unit more than comes
        wire += text;
    }
    m_server.Route("/lying", [wire](HttpConnection& c) {
        c.Send("ICY 200 OK\r\nicy-metaint:8192\r\nContent-Type: audio/mpeg\r\n\r\n");
        c.Send(wire);
        HoldOpen(c);
    });
    const AudioStream stream = Open("/lying");
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    TitleLog& titles = Keep<TitleLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_META | AUDIO_SYNC_MIXTIME, 0, &TitleLog::Proc, &titles), 0u);
    FrameCounter& counter = Keep<FrameCounter>();
    ASSERT_NE(BASS_ChannelSetDSP(stream, &FrameCounter::Proc, &counter, 0), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));

    // The sound plays on past the blocks, though the reader is out of step with them.
    EXPECT_TRUE(WaitFor([&] { return counter.bytes.load() > uint64_t(4.0 * 44100 * 4); }, 10000));
    const char* last = BASS_ChannelGetTags(stream, AUDIO_TAG_META);
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(IsKeyValueText(last)) << last;
    std::lock_guard lock(titles.mutex);
    for (const std::string& title : titles.titles)
        EXPECT_TRUE(IsKeyValueText(title)) << title;
}

TEST_F(NetSourceTest, ADownloadCallbackThatThrowsDoesNotEndTheStream)
{
    const QByteArray audio = Mp3(20.0);
    m_server.Route("/live", [audio](HttpConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
        SendPaced(c, audio, 512);
    });
    const QByteArray url = m_server.Url("/live").toUtf8();
    for (const bool throwInt : { false, true }) {
        SCOPED_TRACE(throwInt);
        Thrower& thrower = Keep<Thrower>();
        thrower.throwInt = throwInt;
        const AudioStream stream = BASS_StreamCreateURL(url.constData(), 0, 0x940000, &Thrower::Proc, &thrower);
        ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
        ASSERT_TRUE(BASS_ChannelPlay(stream, false));
        const uint64_t downloaded = BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_DOWNLOAD);
        EXPECT_TRUE(WaitFor(
            [&] { return BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_DOWNLOAD) > downloaded + 32000; }, 3000));
        EXPECT_GT(thrower.blocks, 1);
        ASSERT_TRUE(BASS_ChannelStop(stream));
    }
}

TEST_F(NetSourceTest, WhatADownloadThrowsEndsItWithoutLeakingHandles)
{
    struct Listener : INetSourceListener {
        void OnResponseHeaders(const std::vector<std::string>&, bool, bool) override { }
        void OnStreamBytes(const uint8_t*, size_t) override { throw std::runtime_error("cannot take this block"); }
        void OnMetadata(const std::string&) override { }
    };
    const QByteArray audio = Mp3(20.0);
    m_server.Route("/live", [audio](HttpConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
        SendPaced(c, audio, 512);
    });
    CNetSource::Settings settings;
    settings.url = m_server.Url("/live").toStdString();
    settings.userAgent = "test";
    auto download = [&](CStreamBuffer& buffer) {
        Listener listener;
        CNetSource source(settings, buffer, listener);
        std::atomic<bool> ended { false };
        std::thread runner([&] {
            source.Run();
            ended = true;
        });
        const bool endedByItself = WaitFor([&] { return ended.load(); }, 5000);
        source.Cancel();
        runner.join();
        return endedByItself;
    };
    CStreamBuffer first(1 << 20);
    ASSERT_TRUE(download(first));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the server lets go of the connection
    const int before = OpenDescriptors();
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        CStreamBuffer buffer(1 << 20);
        EXPECT_TRUE(download(buffer));
        EXPECT_TRUE(buffer.IsFinished());
        EXPECT_EQ(buffer.Error(), AUDIO_ERROR_UNKNOWN);
    }
    EXPECT_TRUE(WaitFor([&] { return OpenDescriptors() <= before; }, 5000))
        << OpenDescriptors() << " descriptors open, " << before << " before";
}

// A download that rests between reads (as while its stream plays) still takes a stream faster than
// one block per rest in full, and keeps the bytes in order.
TEST_F(NetSourceTest, ARestingDownloadKeepsUpWithAFastStream)
{
    struct Listener : INetSourceListener {
        void OnResponseHeaders(const std::vector<std::string>&, bool, bool) override { }
        void OnStreamBytes(const uint8_t*, size_t) override { }
        void OnMetadata(const std::string&) override { }
    };
    const QByteArray body = Noise(3 << 19);
    m_server.Route("/fast", [body](HttpConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
        SendPaced(c, body, 12000); // 1.5 MB a second: far more than 16 KiB per rest
        HoldOpen(c);
    });
    CNetSource::Settings settings;
    settings.url = m_server.Url("/fast").toStdString();
    settings.userAgent = "test";
    CStreamBuffer buffer(size_t(body.size()) + 65536);
    Listener listener;
    CNetSource source(settings, buffer, listener);
    source.SetRestMs(250);
    std::thread runner([&] { source.Run(); });
    const bool complete = WaitFor([&] { return buffer.Written() >= uint64_t(body.size()); }, 15000);
    source.Cancel();
    runner.join();
    ASSERT_TRUE(complete) << buffer.Written() << " of " << body.size() << " bytes";
    QByteArray received(body.size(), '\0');
    ASSERT_EQ(buffer.Read(reinterpret_cast<uint8_t*>(received.data()), size_t(received.size()), 0), body.size());
    EXPECT_TRUE(received == body);
}

// A producer paused at the buffer's limit is told when the reader made room or the limit grew.
TEST(StreamBufferTest, RoomAndALargerLimitWakeTheProducer)
{
    CStreamBuffer buffer(8192);
    int wakes = 0;
    buffer.SetRoomCallback([&] { ++wakes; });
    const std::vector<uint8_t> bytes(8192, 7);
    buffer.Write(bytes.data(), bytes.size());
    EXPECT_FALSE(buffer.HasRoomFor(1));
    buffer.SetLimit(4096);
    EXPECT_EQ(wakes, 0);
    buffer.SetLimit(16384);
    EXPECT_EQ(wakes, 1);
    EXPECT_TRUE(buffer.HasRoomFor(8192));
    uint8_t scratch[1024];
    EXPECT_EQ(buffer.Read(scratch, sizeof scratch, 0), int(sizeof scratch));
    EXPECT_EQ(wakes, 2);
}

// A listener joins an AAC station in the middle of a frame and gets seconds of it at once: the rate the
// stream is buffered at (the network buffer's length in bytes) is the station's, whatever the bytes
// before the first whole frame looked like.
TEST_F(NetSourceTest, AStationJoinedMidFrameIsBufferedAtItsOwnRate)
{
    SineOptions options;
    options.seconds = 20;
    options.bitrateKbps = 64;
    const QByteArray whole = GenerateSineBytes(MediaFormat::AacAdts, options);
    const double byteRate = double(whole.size()) / options.seconds;
    BASS_SetConfig(AUDIO_CONFIG_NET_BUFFER, 4000);
    BASS_SetConfig(AUDIO_CONFIG_NET_PREBUFFER, 100);
    for (int offset = 0; offset < 10000; offset += 211) {
        const QByteArray joined = whole.mid(offset);
        const QString path = QStringLiteral("/aac%1").arg(offset);
        m_server.Route(path.toUtf8(), [joined](HttpConnection& c) {
            c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/aac\r\nicy-br: 64\r\n\r\n");
            c.Send(joined);
            HoldOpen(c);
        });
        const AudioStream stream = Open(path);
        ASSERT_NE(stream, 0u) << "offset " << offset << ": error " << BASS_ErrorGetCode();
        const double bufferBytes = double(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_END));
        EXPECT_GT(bufferBytes, 4.0 * byteRate * 0.8) << "offset " << offset;
        EXPECT_LT(bufferBytes, 4.0 * byteRate * 1.25) << "offset " << offset;
        EXPECT_TRUE(BASS_ChannelStop(stream));
    }
}
