// Players on a real streaming server: Icecast on loopback with MP3, AAC and Ogg sources.

#include "audio/TagFile.h"
#include "tests/audio/PlayerStreamFixture.h"
#include "tests/support/FfmpegTools.h"
#include "tests/support/IcecastServer.h"

#include <QElapsedTimer>

namespace
{

using testing_support::IcecastFormat;
using testing_support::IcecastServer;
using testing_support::IcecastSourceOptions;

class PlayerIcecastTest : public PlayerStreamFixture
{
protected:
    RadioPlayer* PlayMount(const QString& mount, const IcecastSourceOptions& options, const QString& title)
    {
        if (!icecast.IsRunning()) {
            ADD_FAILURE() << icecast.Error().toStdString();
            return nullptr;
        }
        if (!icecast.StartSource(mount, options)) {
            ADD_FAILURE() << "source " << mount.toStdString() << ": " << icecast.Error().toStdString();
            return nullptr;
        }
        const size_t before = log.entries.size();
        manager.PlayStation(Station(title, icecast.Url(mount)), false, false);
        RadioPlayer* player = NewPlayerAfter(before, 5000);
        if (!player || !WaitForCode(player, PlayerStatusPlaying, 20000)) {
            ADD_FAILURE() << "no player playing " << mount.toStdString();
            return nullptr;
        }
        return player;
    }

    int CountOf(RadioPlayer* player, int code)
    {
        const std::vector<int> codes = log.CodesOf(player);
        return int(std::count(codes.begin(), codes.end(), code));
    }

    IcecastServer icecast;
};

TEST_F(PlayerIcecastTest, Mp3StationPlaysAnnouncesTitlesAndBitrateAndStops)
{
    RadioPlayer* player = PlayMount(QStringLiteral("/mp3"), {}, QStringLiteral("Icecast MP3"));
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(Only(log.CodesOf(player), { 1, 2, 3, 6, 7, 8, 10 }), (std::vector<int> { 1, 3, 6, 8, 10 }));
    EXPECT_EQ(manager.GetBitrate(), 128); // icy-br
    EXPECT_EQ(CountOf(player, PlayerStatusBitrateChanged), 1);
    EXPECT_EQ(manager.GetStreamInfo(), QStringLiteral("MP3"));
    EXPECT_EQ(player->GetOwnStreamName(), QStringLiteral("Test Station"));

    const int titlesBefore = CountOf(player, PlayerStatusNewStreamTitle);
    ASSERT_TRUE(icecast.SetTitle(QStringLiteral("/mp3"), QStringLiteral("Band - Song")));
    ASSERT_TRUE(
        PlayerStatusLog::PumpUntil([&] { return CountOf(player, PlayerStatusNewStreamTitle) > titlesBefore; }, 15000));
    EXPECT_EQ(manager.GetStreamName(), QStringLiteral("Band - Song"));
    EXPECT_EQ(player->GetArtist(), QStringLiteral("Band"));
    EXPECT_EQ(player->GetSongTitle(), QStringLiteral("Song"));
    const QStringList history = player->GetTitleHistory();
    EXPECT_EQ(history.value(0), QStringLiteral("Icecast MP3"));
    EXPECT_EQ(history.value(1), QStringLiteral("Band - Song"));

    manager.Stop(false, false);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return manager.GetPlayerCount() == 0; }, 5000));
    // A tag read may still land while the stream winds down; the stop's own events end the log.
    const std::vector<int> codes = Only(log.CodesOf(player), { 4, 5, 12 });
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(std::vector<int>(codes.end() - 3, codes.end()), (std::vector<int> { 4, 5, 12 }));
    EXPECT_FALSE(log.Has(player, PlayerStatusCannotConnect));
}

TEST_F(PlayerIcecastTest, AacStationPlaysWithItsCodecName)
{
    IcecastSourceOptions options;
    options.format = IcecastFormat::Aac;
    options.bitrateKbps = 96;
    RadioPlayer* player = PlayMount(QStringLiteral("/aac"), options, QStringLiteral("Icecast AAC"));
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(manager.GetStreamInfo(), QStringLiteral("AAC"));
    EXPECT_EQ(manager.GetBitrate(), 96);
}

TEST_F(PlayerIcecastTest, OggStationIsRecordedAsMp3WithTitleAndArtist)
{
    IcecastSourceOptions options;
    options.format = IcecastFormat::OggVorbis;
    options.sampleRate = 48000;
    RadioPlayer* player = PlayMount(QStringLiteral("/ogg"), options, QStringLiteral("Icecast Ogg"));
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(manager.GetStreamInfo(), QStringLiteral("OGG"));

    ASSERT_TRUE(icecast.SetOggTags(QStringLiteral("/ogg"), QStringLiteral("Song"), QStringLiteral("Band")));
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return !player->GetArtist().isEmpty(); }, 15000))
        << manager.GetStreamName().toStdString();
    EXPECT_EQ(manager.GetStreamName(), QStringLiteral("Band - Song"));

    CTagFile tag;
    RecordEncodedAndCheck(player, QStringLiteral("Icecast Ogg"), QStringLiteral("Band - Song.mp3"),
        QStringLiteral("Song"), QStringLiteral("Band"), tag);
    EXPECT_EQ(tag.GetComment(), QStringLiteral("Recorded by Kavrilune"));
}

} // namespace
