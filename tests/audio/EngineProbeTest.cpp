// The engine, through the manager, against servers that misbehave on purpose: they stall, trickle,
// send garbage as sound, lie about their metadata lengths, redirect in a loop, serve a playlist that
// names itself, or send a 100 KB response head. Whatever they do, a player ends with the status its
// failure calls for (or plays on), a stop is never held up, and memory stays bounded.

#include "tests/audio/PlayerStreamFixture.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <memory>

namespace
{

using testing_support::HttpConnection;

double ResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0.0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0.0;
}

void HoldOpen(HttpConnection& connection)
{
    while (connection.Sleep(100)) { }
}

QByteArray Mp3(int seconds)
{
    return GenerateMedia(
        NoiseInput(seconds) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
}

bool HasControlCharacters(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

class EngineProbeTest : public PlayerStreamFixture
{
protected:
    RadioPlayer* Play(const QByteArray& path)
    {
        m_playedAt = log.entries.size();
        manager.PlayStation(Station(QStringLiteral("Probe"), server.Url(QString::fromLatin1(path))), false, false);
        return NewPlayerAfter(m_playedAt, 5000);
    }

    // A player may come to the address of one deleted before: its statuses count from the last Play.
    bool Posted(RadioPlayer* player, int code) const
    {
        const std::vector<int> codes = log.CodesOf(player, m_playedAt);
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    bool WaitForStatus(RadioPlayer* player, int code, int ms)
    {
        return PlayerStatusLog::PumpUntil([&] { return Posted(player, code); }, ms);
    }

    // The player's statuses once it has finished (within ms), or an empty list when it has not.
    std::vector<int> CodesWhenFinished(RadioPlayer* player, int ms)
    {
        if (!WaitForStatus(player, PlayerStatusFinished, ms))
            return {};
        return log.CodesOf(player, m_playedAt);
    }

    // A user stop of a playing stream is over quickly whatever the server does: 4, 5 and 12, and no 7.
    void StopAndExpectPromptEnd(RadioPlayer* player)
    {
        manager.Stop(false, false);
        const std::vector<int> codes = CodesWhenFinished(player, 3000);
        ASSERT_FALSE(codes.empty()) << "the stop was held up";
        EXPECT_EQ(Only(codes, { 4, 5, 7, 12 }), (std::vector<int> { 4, 5, 12 }));
    }

    // A user stop of a player still creating its stream ends the creation: the player finishes at
    // once with 4, 5 and 12, and no 7, holding no connection to the server any more.
    void StopWhileCreatingAndExpectPromptEnd(RadioPlayer* player)
    {
        StopAndExpectPromptEnd(player);
        EXPECT_TRUE(PlayerStatusLog::PumpUntil([&] { return server.OpenClientConnections() == 0; }, 3000))
            << "the stopped player kept its connection";
    }

    size_t m_playedAt = 0;
};

TEST_F(EngineProbeTest, StallingServersNeitherEndThePlayerEarlyNorHoldUpAStop)
{
    // Nothing at all after the request: the player waits to connect, until the user stops it, also
    // when the user plays and stops again and again.
    server.Route("/mute", [](HttpConnection& connection) { HoldOpen(connection); });
    for (int i = 0; i < 3; ++i) {
        RadioPlayer* waiting = Play("/mute");
        ASSERT_NE(waiting, nullptr);
        ASSERT_TRUE(WaitForStatus(waiting, PlayerStatusConnecting, 5000));
        PlayerStatusLog::Pump(i == 0 ? 1000 : 200);
        EXPECT_FALSE(Posted(waiting, PlayerStatusCannotConnect));
        StopWhileCreatingAndExpectPromptEnd(waiting);
    }

    // Three seconds of sound, then silence on an open connection: the channel stalls (8) and waits.
    const QByteArray audio = Mp3(3);
    ASSERT_FALSE(audio.isEmpty());
    server.Route("/stalls", [audio](HttpConnection& connection) {
        if (connection.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n") && connection.Send(audio))
            HoldOpen(connection);
    });
    RadioPlayer* stalled = Play("/stalls");
    ASSERT_NE(stalled, nullptr);
    ASSERT_TRUE(WaitForStatus(stalled, PlayerStatusPlaying, 10000));
    const size_t playingAt = log.entries.size();
    EXPECT_TRUE(PlayerStatusLog::PumpUntil(
        [&] { return Only(log.CodesOf(stalled, playingAt), { PlayerStatusBuffering }).size() > 0; }, 15000));
    StopAndExpectPromptEnd(stalled);

    // The exit ends a player still connecting as promptly, and deletes it.
    RadioPlayer* connecting = Play("/mute");
    ASSERT_NE(connecting, nullptr);
    ASSERT_TRUE(WaitForStatus(connecting, PlayerStatusConnecting, 5000));
    PlayerStatusLog::Pump(200);
    EXPECT_TRUE(manager.Shutdown(CRadioManager::kShutdownWaitMs)) << "the exit waited for the connection";
    EXPECT_EQ(manager.GetPlayerCount(), 0);
    EXPECT_TRUE(PlayerStatusLog::PumpUntil([&] { return server.OpenClientConnections() == 0; }, 3000));
}

TEST_F(EngineProbeTest, ATrickleOfSingleBytesNeitherEndsThePlayerNorHoldsUpTheWindowOrAStop)
{
    // The head and the sound come one byte at a time: far too slow to play, too lively to time out.
    const QByteArray audio = Mp3(3);
    ASSERT_FALSE(audio.isEmpty());
    server.Route("/trickle", [audio](HttpConnection& connection) {
        const QByteArray bytes = "ICY 200 OK\r\nicy-metaint: 64\r\nContent-Type: audio/mpeg\r\n\r\n" + audio;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (!connection.Send(bytes.mid(i, 1)) || !connection.Sleep(5))
                return;
        }
        HoldOpen(connection);
    });
    RadioPlayer* player = Play("/trickle");
    ASSERT_NE(player, nullptr);
    for (int i = 0; i < 30; ++i) {
        // The window's questions are answered at once all along.
        QElapsedTimer call;
        call.start();
        manager.GetBufferPercent();
        manager.GetStreamName();
        manager.GetElapsedTime();
        EXPECT_LT(call.elapsed(), 1000);
        PlayerStatusLog::Pump(100);
    }
    EXPECT_FALSE(Posted(player, PlayerStatusCannotConnect));
    EXPECT_FALSE(Posted(player, PlayerStatusFinished));
    StopWhileCreatingAndExpectPromptEnd(player);
}

TEST_F(EngineProbeTest, GarbageAsSoundEndsWithCannotConnectAndBoundedMemory)
{
    // Bytes that hold no frame sync of any audio format, as fast as the connection takes them.
    QByteArray garbage(1 << 16, '\0');
    uint32_t state = 12345;
    for (char& c : garbage) {
        state = state * 1664525u + 1013904223u;
        c = char(0x20 + (state >> 24) % 0x5F);
    }
    auto sent = std::make_shared<std::atomic<qint64>>(0); // the handler may outlive the test's body
    server.Route("/garbage", [garbage, sent](HttpConnection& connection) {
        if (!connection.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n"))
            return;
        while (connection.Send(garbage))
            *sent += garbage.size();
    });
    const double before = ResidentMb();
    RadioPlayer* player = Play("/garbage");
    ASSERT_NE(player, nullptr);
    const std::vector<int> codes = CodesWhenFinished(player, 15000);
    ASSERT_FALSE(codes.empty()) << sent->load() << " bytes sent";
    EXPECT_EQ(Only(codes, { 7, 10, 12 }), (std::vector<int> { 7, 12 }));
    EXPECT_LT(ResidentMb() - before, 100.0);
}

TEST_F(EngineProbeTest, LyingMetadataLengthsKeepTheSoundPlayingAndTheTitlesText)
{
    // Every length byte claims one unit more than the block holds, so the reader falls out of step
    // and meets sound where it expects metadata.
    const QByteArray audio = Mp3(12);
    ASSERT_FALSE(audio.isEmpty());
    constexpr int kInterval = 4096;
    QByteArray wire;
    for (qsizetype i = 0, n = 1; i + kInterval <= audio.size(); i += kInterval, ++n) {
        wire += audio.mid(i, kInterval);
        QByteArray text = "StreamTitle='Block " + QByteArray::number(n) + "';";
        const int units = int(text.size() + 15) / 16;
        text.resize(units * 16, '\0');
        wire += char(units + 1);
        wire += text;
    }
    server.Route("/lying", [wire](HttpConnection& connection) {
        if (!connection.Send("ICY 200 OK\r\nicy-metaint: 4096\r\nContent-Type: audio/mpeg\r\n\r\n"))
            return;
        for (qsizetype i = 0; i < wire.size(); i += 16000) {
            if (!connection.Send(wire.mid(i, 16000)) || !connection.Sleep(i < 64000 ? 0 : 900))
                return;
        }
        HoldOpen(connection);
    });
    RadioPlayer* player = Play("/lying");
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(WaitForStatus(player, PlayerStatusPlaying, 10000));
    PlayerStatusLog::Pump(4000);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_FALSE(Posted(player, PlayerStatusCannotConnect));
    EXPECT_FALSE(HasControlCharacters(manager.GetStreamName())) << manager.GetStreamName().toStdString();
    const QStringList history = player->GetTitleHistory();
    EXPECT_LE(history.size(), RadioPlayer::kMaxHistoryEntries);
    for (const QString& title : history)
        EXPECT_FALSE(HasControlCharacters(title)) << title.toStdString();
    StopAndExpectPromptEnd(player);
}

TEST_F(EngineProbeTest, RedirectLoopsAndPlaylistsThatNameThemselvesEndWithCannotConnect)
{
    server.Route("/loop-a", [](HttpConnection& c) { c.Send("HTTP/1.1 302 Found\r\nLocation: /loop-b\r\n\r\n"); });
    server.Route("/loop-b", [](HttpConnection& c) { c.Send("HTTP/1.1 302 Found\r\nLocation: /loop-a\r\n\r\n"); });
    const QByteArray self = server.Url(QStringLiteral("/self.pls")).toUtf8();
    server.Route("/self.pls", [self](HttpConnection& c) {
        c.SendResponse(200, "audio/x-scpls", "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + self + "\r\n");
    });
    // Two lists that name each other, one of them through a relative address.
    const QByteArray other = server.Url(QStringLiteral("/other.m3u")).toUtf8();
    server.Route("/one.m3u",
        [other](HttpConnection& c) { c.SendResponse(200, "audio/x-mpegurl", "#EXTM3U\r\n" + other + "\r\n"); });
    server.Route(
        "/other.m3u", [](HttpConnection& c) { c.SendResponse(200, "audio/x-mpegurl", "#EXTM3U\r\n/one.m3u\r\n"); });

    for (const QByteArray path : { "/loop-a", "/self.pls", "/one.m3u" }) {
        SCOPED_TRACE(path.toStdString());
        const size_t requestsBefore = server.Requests().size();
        RadioPlayer* player = Play(path);
        ASSERT_NE(player, nullptr);
        const std::vector<int> codes = CodesWhenFinished(player, 10000);
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(Only(codes, { 7, 10, 12 }), (std::vector<int> { 7, 12 }));
        // The loop is cut short: a few requests, not one per second of waiting.
        EXPECT_LE(server.Requests().size() - requestsBefore, 12u);
    }
}

TEST_F(EngineProbeTest, AHundredKilobyteResponseHeadEndsWithCannotConnect)
{
    const QByteArray audio = Mp3(3);
    ASSERT_FALSE(audio.isEmpty());
    QByteArray manyLines;
    for (int i = 0; manyLines.size() < 100 * 1024; ++i)
        manyLines += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(80, 'x') + "\r\n";
    const QByteArray oneLine = "X-Filler: " + QByteArray(100 * 1024, 'x') + "\r\n";
    for (const QByteArray& head : { manyLines, oneLine }) {
        server.Route("/big-head", [head, audio](HttpConnection& c) {
            if (c.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n" + head + "\r\n") && c.Send(audio))
                HoldOpen(c);
        });
        const double before = ResidentMb();
        RadioPlayer* player = Play("/big-head");
        ASSERT_NE(player, nullptr);
        const std::vector<int> codes = CodesWhenFinished(player, 10000);
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(Only(codes, { 7, 10, 12 }), (std::vector<int> { 7, 12 }));
        EXPECT_LT(ResidentMb() - before, 100.0);
    }
}

} // namespace
