// Players on real streams from a loopback station: the status sequence, titles and bitrate, the stop
// sequences, failed connections, crossfade timing and the watchdog's reconnect.

#include "audio/library/AudioEngine.h"
#include "audio/library/Channel.h"
#include "tests/audio/PlayerStreamFixture.h"
#include "tests/support/NamedPipe.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QElapsedTimer>

namespace
{

using Clock = PlayerStatusLog::Clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

float VolumeOf(AudioStream handle)
{
    const std::shared_ptr<CChannel> channel = CAudioEngine::Instance().FindChannel(handle);
    return channel ? channel->CurrentVolume() : -1.0f;
}

QByteArray Mp3Noise(int seconds)
{
    return GenerateMedia(
        NoiseInput(seconds) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
}

class PlayerStreamTest : public PlayerStreamFixture
{
};

TEST_F(PlayerStreamTest, PlayingPostsTheStartSequenceTitlesAndBitrateAndStopsCleanly)
{
    stream.audio = Mp3Noise(40);
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.titles = { { 0, "Band - First Song" }, { 8192 * 20, "Band - Second Song" } };
    stream.Install(server, "/radio");

    manager.PlayStation(Station(QStringLiteral("Loopback"), server.Url(QStringLiteral("/radio"))), false, false);
    RadioPlayer* player = NewPlayerAfter(0, 5000);
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(WaitForCode(player, PlayerStatusPlaying, 15000));
    EXPECT_EQ(Only(log.CodesOf(player), { 1, 2, 3, 6, 8, 10 }), (std::vector<int> { 1, 3, 6, 8, 10 }));

    // Alone, the new stream fades in over 500 ms to the volume.
    const AudioStream channel = player->GetHandle();
    PlayerStatusLog::PumpUntil(
        [&] { return SecondsBetween(log.TimeOf(player, PlayerStatusPlaying), Clock::now()) > 0.7; }, 2000);
    EXPECT_NEAR(VolumeOf(channel), 0.8f, 0.001f);

    // The header's bitrate, the codec, and the title that came with the first metadata block.
    EXPECT_EQ(manager.GetBitrate(), 128);
    EXPECT_TRUE(log.Has(player, PlayerStatusBitrateChanged));
    EXPECT_EQ(manager.GetStreamInfo(), QStringLiteral("MP3"));
    EXPECT_TRUE(PlayerStatusLog::PumpUntil(
        [&] { return manager.GetStreamName() == QStringLiteral("Band - First Song"); }, 5000));

    // The title changes in the stream: 14 again and the new name.
    const auto fourteens = [&] {
        const std::vector<int> codes = log.CodesOf(player);
        return std::count(codes.begin(), codes.end(), PlayerStatusNewStreamTitle);
    };
    const auto before = fourteens();
    EXPECT_TRUE(PlayerStatusLog::PumpUntil([&] { return fourteens() > before; }, 15000));
    EXPECT_EQ(manager.GetStreamName(), QStringLiteral("Band - Second Song"));
    EXPECT_EQ(player->GetArtist(), QStringLiteral("Band"));
    EXPECT_GT(manager.GetElapsedTime(), 0);
    EXPECT_GT(manager.GetBufferPercent(), 0);

    // Muting slides to 0 and unmuting comes back over a second.
    manager.SetMute(true);
    PlayerStatusLog::Pump(200);
    EXPECT_EQ(VolumeOf(channel), 0.0f);
    manager.SetVolume(60); // kept for later, silent meanwhile
    PlayerStatusLog::Pump(200);
    EXPECT_EQ(VolumeOf(channel), 0.0f);
    manager.SetMute(false);
    PlayerStatusLog::Pump(400);
    EXPECT_GT(VolumeOf(channel), 0.05f);
    EXPECT_LT(VolumeOf(channel), 0.5f);
    PlayerStatusLog::Pump(800);
    EXPECT_NEAR(VolumeOf(channel), 0.6f, 0.001f);

    manager.Stop(false, false);
    EXPECT_FALSE(manager.IsPlaying());
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 5000));
    const std::vector<int> codes = log.CodesOf(player);
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(std::vector<int>(codes.end() - 3, codes.end()), (std::vector<int> { 4, 5, 12 }));
    EXPECT_FALSE(log.Has(player, PlayerStatusCannotConnect));
}

TEST_F(PlayerStreamTest, StopBeforeTheConnectionEndsWithStoppedAndNoConnectionError)
{
    server.Route("/silent", [](testing_support::HttpConnection& connection) {
        while (connection.Sleep(100)) { }
    });
    manager.PlayStation(Station(QStringLiteral("Silent"), server.Url(QStringLiteral("/silent"))), false, false);
    manager.Stop(false, false);
    RadioPlayer* player = NewPlayerAfter(0, 5000);
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 40000));
    const std::vector<int> codes = log.CodesOf(player);
    EXPECT_EQ(Only(codes, { 4, 5, 7, 12 }), (std::vector<int> { 4, 5, 12 }));
    EXPECT_EQ(codes.back(), PlayerStatusFinished);
}

TEST_F(PlayerStreamTest, LibraryIsSetUpForTheStationWithTheNetBufferClamped)
{
    // A server that takes its time and then has nothing: the player ends with 7.
    std::atomic<int> requests { 0 };
    server.Route("/slow", [&](testing_support::HttpConnection& connection) {
        ++requests;
        if (connection.Sleep(500))
            connection.SendResponse(404, "text/html", "<html><body>gone</body></html>");
    });
    for (const auto& [asked, used] : { std::pair { 500, 2000 }, std::pair { 60000, 15000 } }) {
        manager.SetPlayerOptions(0, false, 0, asked, false, false);
        const size_t before = log.entries.size();
        const int requestsBefore = requests;
        manager.PlayStation(Station(QStringLiteral("Slow"), server.Url(QStringLiteral("/slow"))), false, false);
        RadioPlayer* player = NewPlayerAfter(before, 5000);
        ASSERT_NE(player, nullptr);
        ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return requests > requestsBefore; }, 5000));
        const AudioConfig config = CAudioEngine::Instance().Config();
        EXPECT_EQ(config.netBufferMs, used);
        EXPECT_EQ(config.netPrebufferPercent, 100);
        EXPECT_EQ(config.netTimeoutMs, 30000);
        EXPECT_EQ(config.bufferMs, 500);
        EXPECT_EQ(config.playlistMode, 1);
        ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 10000));
        EXPECT_EQ(log.CodesOf(player, before), (std::vector<int> { 1, 3, 6, 7, 12 }));
    }
    const std::vector<testing_support::HttpRequest> seen = server.Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().Header("user-agent"), QByteArray("Internet%20Explorer%207"));
    EXPECT_EQ(seen.front().Header("icy-metadata"), QByteArray("1"));
}

TEST_F(PlayerStreamTest, FailedConnectionsEndWithCannotConnectAndTheWatchdogRepeatsIt)
{
    server.RouteFixed("/missing", 404, "text/html", "<html><body>gone</body></html>");
    manager.PlayStation(Station(QStringLiteral("Missing"), server.Url(QStringLiteral("/missing"))), false, false);
    RadioPlayer* player = NewPlayerAfter(0, 5000);
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 40000));
    EXPECT_EQ(log.CodesOf(player), (std::vector<int> { 1, 3, 6, 7, 12 }));

    // A source without "://" is a file, also when it looks like an address.
    const size_t before = log.entries.size();
    manager.Play(QStringLiteral("No scheme"), QStringLiteral("127.0.0.1/radio"));
    RadioPlayer* filePlayer = NewPlayerAfter(before, 5000);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 10000));
    EXPECT_EQ(log.CodesOf(filePlayer, before), (std::vector<int> { 1, 3, 6, 7, 12 }));
    EXPECT_EQ(server.Requests().size(), 1u);

    // The player is gone and none ever played: every tick reports it again, without a player.
    const size_t ticksFrom = log.entries.size();
    manager.OnWatchdogTick();
    manager.OnWatchdogTick();
    PlayerStatusLog::Pump(50);
    ASSERT_EQ(log.entries.size(), ticksFrom + 2);
    EXPECT_EQ(log.entries.back().code, PlayerStatusCannotConnect);
    EXPECT_EQ(log.entries.back().player, 0);
    EXPECT_FALSE(manager.IsPlaying());
}

TEST_F(PlayerStreamTest, LocalPathsThatAreNoFilesAreRefusedAndAStopEndsAnOpeningAtOnce)
{
    // Pipes and folders, whatever their names: refused before anything waits on them.
    const testing_support::NamedPipe list(folder.FilePath(QStringLiteral("pipe.pls")));
    const testing_support::NamedPipe song(folder.FilePath(QStringLiteral("pipe.mp3")));
    ASSERT_TRUE(list.IsMade() && song.IsMade());
    const QString directory = folder.FilePath(QStringLiteral("folder.m3u"));
    ASSERT_TRUE(QDir().mkpath(directory));
    for (const QString& path : { list.Path(), song.Path(), directory }) {
        SCOPED_TRACE(path.toStdString());
        const size_t before = log.entries.size();
        manager.Play(QStringLiteral("Special"), path);
        RadioPlayer* player = NewPlayerAfter(before, 5000);
        ASSERT_NE(player, nullptr);
        ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 3000));
        EXPECT_EQ(log.CodesOf(player, before), (std::vector<int> { 1, 3, 6, 7, 12 }));
    }

    // A playlist file naming a station that never answers: a stop ends the opening at once, not at the
    // network time-out.
    std::atomic<int> requests { 0 };
    server.Route("/silent", [&](testing_support::HttpConnection& connection) {
        ++requests;
        while (connection.Sleep(100)) { }
    });
    const QString silent = folder.FilePath(QStringLiteral("silent.pls"));
    ASSERT_TRUE(testing_support::WriteBytes(
        silent, "[playlist]\nNumberOfEntries=1\nFile1=" + server.Url(QStringLiteral("/silent")).toUtf8() + "\n"));
    const size_t before = log.entries.size();
    manager.Play(QStringLiteral("Silent"), silent);
    RadioPlayer* player = NewPlayerAfter(before, 5000);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return requests == 1; }, 5000));
    manager.Stop(false, false);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 3000));
    EXPECT_EQ(Only(log.CodesOf(player, before), { 4, 5, 7, 12 }), (std::vector<int> { 4, 5, 12 }));
}

// Two loopback stations; the second replaces the first.
class CrossfadeTest : public PlayerStreamFixture
{
protected:
    void SetUpStations()
    {
        stream.audio = Mp3Noise(40);
        ASSERT_FALSE(stream.audio.isEmpty());
        stream.Install(server, "/one");
        second.audio = stream.audio;
        second.titles = { { 0, "Other - Station" } };
        second.Install(server, "/two");
    }

    ~CrossfadeTest() override
    {
        second.Stop();
        StopServer();
    }

    // Plays one, then two; returns the old player, the switch time and the new player.
    void Switch(RadioPlayer*& oldPlayer, Clock::time_point& switchedAt, RadioPlayer*& newPlayer)
    {
        manager.PlayStation(Station(QStringLiteral("One"), server.Url(QStringLiteral("/one"))), false, false);
        oldPlayer = NewPlayerAfter(0, 5000);
        ASSERT_NE(oldPlayer, nullptr);
        ASSERT_TRUE(WaitForCode(oldPlayer, PlayerStatusPlaying, 15000));
        PlayerStatusLog::Pump(1000);

        const size_t before = log.entries.size();
        switchedAt = Clock::now();
        manager.PlayStation(Station(QStringLiteral("Two"), server.Url(QStringLiteral("/two"))), false, false);
        newPlayer = nullptr;
        PlayerStatusLog::PumpUntil(
            [&] {
                for (size_t i = before; i < log.entries.size(); ++i) {
                    if (log.entries[i].player && log.entries[i].player != LPARAM(oldPlayer)) {
                        newPlayer = reinterpret_cast<RadioPlayer*>(log.entries[i].player);
                        return true;
                    }
                }
                return false;
            },
            5000);
        ASSERT_NE(newPlayer, nullptr);
    }

    IcyTestStream second;
};

TEST_F(CrossfadeTest, WithCrossfadeTheOldStationFadesUnderTheNewOneAndEndsAfterSevenSeconds)
{
    SetUpStations();
    manager.SetPlayerOptions(0, true, 0, 2000, false, false);
    RadioPlayer* oldPlayer = nullptr;
    RadioPlayer* newPlayer = nullptr;
    Clock::time_point switchedAt;
    Switch(oldPlayer, switchedAt, newPlayer);
    const AudioStream oldChannel = oldPlayer->GetHandle();

    ASSERT_TRUE(WaitForCode(newPlayer, PlayerStatusPlaying, 15000));
    const Clock::time_point newPlaying = log.TimeOf(newPlayer, PlayerStatusPlaying);
    // The library was initialised already: no failure for the second player.
    EXPECT_EQ(Only(log.CodesOf(newPlayer), { 1, 2, 3, 6, 8, 10 }), (std::vector<int> { 1, 3, 6, 8, 10 }));
    EXPECT_EQ(manager.GetPlayerCount(), 2);
    EXPECT_TRUE(manager.IsCurrentPlayer(newPlayer));
    EXPECT_FALSE(manager.IsCurrentPlayer(oldPlayer));

    // The new player slides the old channel to 0 over 2 s from the moment its own channel plays.
    PlayerStatusLog::PumpUntil([&] { return SecondsBetween(newPlaying, Clock::now()) > 2.3; }, 5000);
    if (manager.GetPlayerCount() == 2) {
        EXPECT_EQ(VolumeOf(oldChannel), 0.0f);
        EXPECT_NEAR(VolumeOf(newPlayer->GetHandle()), 0.8f, 0.001f);
    }

    ASSERT_TRUE(WaitForCode(oldPlayer, PlayerStatusFinished, 15000));
    const double ended = SecondsBetween(switchedAt, log.TimeOf(oldPlayer, PlayerStatusFinished));
    EXPECT_GT(ended, 6.9);
    EXPECT_LT(ended, 8.0);
    EXPECT_EQ(Only(log.CodesOf(oldPlayer), { 4, 5, 7, 12 }), (std::vector<int> { 12 }));
    EXPECT_EQ(manager.GetPlayerCount(), 1);
    EXPECT_TRUE(manager.IsPlaying());
}

TEST_F(CrossfadeTest, WithoutCrossfadeTheOldStationEndsAtOnce)
{
    SetUpStations();
    RadioPlayer* oldPlayer = nullptr;
    RadioPlayer* newPlayer = nullptr;
    Clock::time_point switchedAt;
    Switch(oldPlayer, switchedAt, newPlayer);
    ASSERT_TRUE(WaitForCode(oldPlayer, PlayerStatusFinished, 5000));
    const double ended = SecondsBetween(switchedAt, log.TimeOf(oldPlayer, PlayerStatusFinished));
    EXPECT_GT(ended, 0.15);
    EXPECT_LT(ended, 0.6);
    ASSERT_TRUE(WaitForCode(newPlayer, PlayerStatusPlaying, 15000));
    EXPECT_EQ(manager.GetStreamName(), QStringLiteral("Other - Station"));
}

TEST_F(PlayerStreamTest, WatchdogReconnectsASilentStationAfterThirtySeconds)
{
    // The source sends 8 s of sound and goes away; it is back when the watchdog reconnects.
    stream.audio = Mp3Noise(8);
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.burstBytes = 32000;
    stream.goDownAtEnd = true;
    stream.Install(server, "/radio");
    manager.PlayStation(Station(QStringLiteral("Flaky"), server.Url(QStringLiteral("/radio"))), false, false);
    RadioPlayer* first = NewPlayerAfter(0, 5000);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(WaitForCode(first, PlayerStatusPlaying, 15000));

    // The main window's 4 s timer. Playing is looked at just before and just after each tick: at the
    // tick where the sound ends the tick itself may have seen either, so the last tick that counted
    // the station as playing lies between the last tick it surely saw playing and the last it may have.
    Clock::time_point surelySeenPlaying;
    Clock::time_point maybeSeenPlaying;
    RadioPlayer* second = nullptr;
    const auto start = Clock::now();
    while (!second && SecondsBetween(start, Clock::now()) < 70) {
        PlayerStatusLog::Pump(4000);
        const auto tick = Clock::now();
        if (manager.IsCurrentPlayer(first) && first->IsPlaying())
            maybeSeenPlaying = tick;
        manager.OnWatchdogTick();
        if (manager.IsCurrentPlayer(first) && first->IsPlaying())
            surelySeenPlaying = tick;
        if (!manager.IsCurrentPlayer(first))
            stream.up = true;
        const size_t before = log.entries.size();
        PlayerStatusLog::Pump(100);
        for (size_t i = before; i < log.entries.size() && !second; ++i) {
            if (log.entries[i].player && log.entries[i].player != LPARAM(first))
                second = reinterpret_cast<RadioPlayer*>(log.entries[i].player);
        }
    }
    ASSERT_NE(second, nullptr);
    ASSERT_NE(surelySeenPlaying, Clock::time_point());
    EXPECT_TRUE(log.Has(first, PlayerStatusBuffering));
    const auto reconnected = log.TimeOf(second, PlayerStatusInitializing);
    EXPECT_GE(SecondsBetween(surelySeenPlaying, reconnected), 30.0);
    EXPECT_LE(SecondsBetween(maybeSeenPlaying, reconnected), 34.5);

    // The old player was stopped like a user stop, and the same station plays again.
    ASSERT_TRUE(WaitForCode(first, PlayerStatusFinished, 5000));
    const std::vector<int> oldCodes = log.CodesOf(first);
    EXPECT_EQ(std::vector<int>(oldCodes.end() - 3, oldCodes.end()), (std::vector<int> { 4, 5, 12 }));
    EXPECT_TRUE(WaitForCode(second, PlayerStatusPlaying, 15000));
    EXPECT_TRUE(manager.IsPlaying());
    EXPECT_EQ(manager.GetStationName(), QStringLiteral("Flaky"));
}

} // namespace
