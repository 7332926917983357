// Players on stations that misbehave: metadata in every small block, floods of header lines over many
// reconnections, and a recording whose disk fills up.

#include "tests/audio/PlayerStreamFixture.h"
#include "tests/support/ScratchMount.h"

#include <QElapsedTimer>

#include <algorithm>

namespace
{

using Clock = PlayerStatusLog::Clock;

QByteArray Mp3Noise(int seconds)
{
    return GenerateMedia(
        NoiseInput(seconds) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
}

class PlayerHostileStreamTest : public PlayerStreamFixture
{
protected:
    RadioPlayer* Play(const QString& title)
    {
        stream.Install(server, "/radio");
        manager.PlayStation(Station(title, server.Url(QStringLiteral("/radio"))), false, false);
        RadioPlayer* player = NewPlayerAfter(0, 5000);
        EXPECT_NE(player, nullptr);
        EXPECT_TRUE(player && WaitForCode(player, PlayerStatusPlaying, 15000));
        return player;
    }

    int CountOf(RadioPlayer* player, int code, Clock::time_point from = {}) const
    {
        return int(std::count_if(log.entries.begin(), log.entries.end(), [&](const PlayerStatusLog::Entry& entry) {
            return entry.player == LPARAM(player) && entry.code == code && entry.at >= from;
        }));
    }
};

TEST_F(PlayerHostileStreamTest, TitleInEveryBlockPostsTagsReadOnlyAFewTimesASecond)
{
    stream.audio = Mp3Noise(20);
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.metaInterval = 256; // more than sixty blocks a second, each with the title
    stream.titleInEveryBlock = true;
    stream.titles = { { 0, "Band - Song" } };
    RadioPlayer* player = Play(QStringLiteral("Chatty"));
    ASSERT_NE(player, nullptr);

    const Clock::time_point start = Clock::now();
    const int blocksBefore = stream.TitleBlocksSent();
    PlayerStatusLog::Pump(3000);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int blocks = stream.TitleBlocksSent() - blocksBefore;
    const int tagsRead = CountOf(player, PlayerStatusTagsRead, start);

    EXPECT_GT(blocks, 100);
    EXPECT_LE(tagsRead, int(seconds * 1000 / RadioPlayer::kTagsReadStatusIntervalMs) + 2) << blocks << " blocks";
    EXPECT_GE(tagsRead, 1); // still told now and then
    EXPECT_EQ(CountOf(player, PlayerStatusNewStreamTitle), 1);
    EXPECT_EQ(manager.GetStreamName(), QStringLiteral("Band - Song"));
}

TEST_F(PlayerHostileStreamTest, HeaderFloodsOverManyReconnectionsKeepTheHistoryBoundedAndTheWindowServed)
{
    // Every connection brings 36 header lines never seen before, and a title in every small block
    // makes the player read them again and again; after three seconds of sound it closes.
    stream.audio = Mp3Noise(3);
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.statusLine = "HTTP/1.0 200 OK";
    stream.extraHeaders = [](int connection) {
        QByteArray lines;
        const QByteArray tag = QByteArray::number(connection) + "-";
        for (int i = 0; i < 12; ++i) {
            const QByteArray n = tag + QByteArray::number(i);
            lines += "icy-description: Description " + n + "\r\nicy-url: http://example.invalid/" + n
                + "\r\nauthor: Author " + n + "\r\n";
        }
        return lines;
    };
    stream.metaInterval = 512;
    stream.burstBytes = 16000;
    stream.titleInEveryBlock = true;
    stream.closeAtEnd = true;
    stream.titles = { { 0, "Band - Song" } };
    RadioPlayer* player = Play(QStringLiteral("Flood"));
    ASSERT_NE(player, nullptr);

    // The window's timers meanwhile: a spectrum frame and the title getters every 32 ms.
    int frames = 0;
    int longestHistory = 0;
    float bands[20];
    const bool reconnected = PlayerStatusLog::PumpUntil(
        [&] {
            player->GetSpectrum(bands, 20);
            manager.GetStreamName();
            manager.GetStreamTitle();
            longestHistory = std::max(longestHistory, int(player->GetTitleHistory().size()));
            ++frames;
            PlayerStatusLog::Pump(32);
            return stream.Connections() >= 6;
        },
        60000);
    ASSERT_TRUE(reconnected) << stream.Connections() << " connections";

    EXPECT_LE(longestHistory, RadioPlayer::kMaxHistoryEntries);
    EXPECT_EQ(player->GetTitleHistory().size(), RadioPlayer::kMaxHistoryEntries);
    EXPECT_EQ(
        player->GetTitleHistory().mid(0, 2), QStringList({ QStringLiteral("Flood"), QStringLiteral("Band - Song") }));
    // Five connections of about two seconds each: the window drew far more than a few frames.
    EXPECT_GT(frames, 5 * 10);
}

// A recording on a disk that fills up stops and says so once, whether it writes the received bytes
// (MP3) or encodes the sound (Ogg), and the error log does not grow with every block after that.
class PlayerFullDiskTest : public PlayerHostileStreamTest
{
protected:
    void RecordUntilTheDiskIsFull(const QString& station)
    {
        testing_support::ScratchMount disk(folder.FilePath(QStringLiteral("Recordings")), 64 * 1024);
        if (!disk.IsMounted())
            GTEST_SKIP() << "cannot mount a scratch file system";
        ASSERT_FALSE(stream.audio.isEmpty());
        RadioPlayer* player = Play(station);
        ASSERT_NE(player, nullptr);
        const int logBefore = int(folder.LogEntries().size());

        ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 128, false));
        EXPECT_TRUE(player->IsRecording());
        ASSERT_TRUE(WaitForCode(player, PlayerStatusRecordingError, 30000));
        EXPECT_FALSE(player->IsRecording());
        const int logAtError = int(folder.LogEntries().size());
        PlayerStatusLog::Pump(2000);

        EXPECT_EQ(CountOf(player, PlayerStatusRecordingError), 1);
        EXPECT_EQ(int(folder.LogEntries().size()), logAtError);
        EXPECT_LE(logAtError - logBefore, 2) << folder.LogEntries().join(u'\n').toStdString();

        // Playing goes on, and the player ends normally.
        EXPECT_TRUE(player->IsPlaying());
        manager.Stop(false, false);
        EXPECT_TRUE(PlayerStatusLog::PumpUntil([this] { return manager.GetPlayerCount() == 0; }, 40000));
    }
};

TEST_F(PlayerFullDiskTest, RawMp3Recording)
{
    stream.audio = Mp3Noise(40);
    RecordUntilTheDiskIsFull(QStringLiteral("Raw"));
}

TEST_F(PlayerFullDiskTest, EncodedOggRecording)
{
    stream.audio
        = GenerateMedia(NoiseInput(40) + QStringList { "-c:a", "libvorbis", "-q:a", "3" }, QStringLiteral("ogg"));
    stream.contentType = "application/ogg";
    stream.icyMetadata = false;
    RecordUntilTheDiskIsFull(QStringLiteral("Encoded"));
}

} // namespace
