// Recording what a player plays: raw MP3 and AAC streams byte for byte, Ogg re-encoded to MP3 with its
// tag, pre-recording from the last title change, a full disk, and the recording wish through the watchdog.

#include "audio/TagFile.h"
#include "tests/audio/PlayerStreamFixture.h"
#include "tests/support/FfmpegTools.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

namespace
{

// The recorded bytes without an ID3v1 tag at the end.
QByteArray WithoutTag(QByteArray bytes)
{
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

// Where recorded lies inside sent as one piece, or -1.
qsizetype SliceOffset(const QByteArray& sent, const QByteArray& recorded)
{
    if (recorded.isEmpty())
        return -1;
    for (qsizetype at = sent.indexOf(recorded.left(512)); at >= 0; at = sent.indexOf(recorded.left(512), at + 1)) {
        if (sent.mid(at, recorded.size()) == recorded)
            return at;
    }
    return -1;
}

class PlayerRecordingTest : public PlayerStreamFixture
{
protected:
    RadioPlayer* PlayLoopback(const QString& title)
    {
        stream.Install(server, "/radio");
        manager.PlayStation(Station(title, server.Url(QStringLiteral("/radio"))), false, false);
        RadioPlayer* player = NewPlayerAfter(0, 5000);
        EXPECT_NE(player, nullptr);
        EXPECT_TRUE(player && WaitForCode(player, PlayerStatusPlaying, 15000));
        return player;
    }

    QString RecordingPath(const QString& station, const QString& name) const
    {
        return folder.FilePath(QStringLiteral("Recordings/%1/%2").arg(station, name));
    }

    // Runs events until the recording being written holds more than the given bytes (a loaded machine
    // may take longer than the stream's pace).
    static bool PumpUntilRecorded(const QString& path, qint64 bytes)
    {
        return PlayerStatusLog::PumpUntil([&] { return QFileInfo(path).size() > bytes; }, 30000);
    }
};

TEST_F(PlayerRecordingTest, RawMp3RecordingIsOneSliceOfTheSentBytes)
{
    stream.audio
        = GenerateMedia(NoiseInput(40) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.titles = { { 0, "Band - Song" } };
    ASSERT_NE(PlayLoopback(QStringLiteral("Loop: MP3")), nullptr);
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return !manager.GetStreamName().isEmpty(); }, 5000));

    const QString path = RecordingPath(QStringLiteral("Loop- MP3"), QStringLiteral("Band - Song.mp3"));
    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 0, false));
    EXPECT_TRUE(PumpUntilRecorded(path, 3 * 16000));
    ASSERT_TRUE(manager.StopRecording(true, false));
    EXPECT_FALSE(manager.IsRecording());

    const QByteArray file = testing_support::ReadBytes(path);
    const QByteArray body = WithoutTag(file);
    EXPECT_GT(body.size(), 3 * 16000) << path.toStdString();
    EXPECT_GE(SliceOffset(stream.audio, body), 0);

    CTagFile tag;
    ASSERT_EQ(tag.Open(path), 0);
    EXPECT_EQ(tag.GetTitle(), QStringLiteral("Song"));
    EXPECT_EQ(tag.GetArtist(), QStringLiteral("Band"));
    EXPECT_EQ(tag.GetAlbum(), QStringLiteral("Loopback Radio")); // the stream's own name stands in
}

TEST_F(PlayerRecordingTest, RawAacRecordingIsOneSliceOfTheSentBytesWithoutTag)
{
    stream.audio = GenerateMedia(NoiseInput(40) + QStringList { "-c:a", "aac", "-b:a", "96k" }, QStringLiteral("adts"));
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.contentType = "audio/aacp";
    stream.bytesPerSecond = 12000;
    stream.titles = { { 0, "Band - Song" } };
    ASSERT_NE(PlayLoopback(QStringLiteral("Loop AAC")), nullptr);
    ASSERT_EQ(manager.GetStreamInfo(), QStringLiteral("AAC"));
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return !manager.GetStreamName().isEmpty(); }, 5000));

    const QString path = RecordingPath(QStringLiteral("Loop AAC"), QStringLiteral("Band - Song.aac"));
    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 0, false));
    EXPECT_TRUE(PumpUntilRecorded(path, 3 * 12000));
    ASSERT_TRUE(manager.StopRecording(true, false));

    const QByteArray file = testing_support::ReadBytes(path);
    EXPECT_GT(file.size(), 3 * 12000);
    EXPECT_NE(file.right(128).left(3), QByteArray("TAG"));
    EXPECT_GE(SliceOffset(stream.audio, file), 0);
}

TEST_F(PlayerRecordingTest, PreRecordingStartsTheFileAtTheLastTitleChange)
{
    manager.SetPlayerOptions(0, false, 0, 2000, true, false);
    stream.audio
        = GenerateMedia(NoiseInput(40) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.titles = { { 0, "Band - Intro" }, { 8192 * 10, "Band - Main" } };
    ASSERT_NE(PlayLoopback(QStringLiteral("Pre")), nullptr);
    ASSERT_TRUE(
        PlayerStatusLog::PumpUntil([&] { return manager.GetStreamName() == QStringLiteral("Band - Main"); }, 15000));
    PlayerStatusLog::Pump(1500);

    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 0, false));
    PlayerStatusLog::Pump(1500);
    ASSERT_TRUE(manager.StopRecording(true, false));

    const QByteArray body = WithoutTag(
        testing_support::ReadBytes(RecordingPath(QStringLiteral("Pre"), QStringLiteral("Band - Main.mp3"))));
    const qint64 change = stream.TitleSentAt(1);
    ASSERT_GT(change, 0);
    EXPECT_EQ(SliceOffset(stream.audio, body), change);
}

TEST_F(PlayerRecordingTest, OggStationIsRecordedAsTaggedMp3AtItsSampleRate)
{
    stream.audio = GenerateMedia(NoiseInput(40, 48000)
            + QStringList { "-c:a", "libvorbis", "-q:a", "3", "-metadata", "artist=Band", "-metadata", "title=Song",
                "-metadata", "album=Disc" },
        QStringLiteral("ogg"));
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.contentType = "application/ogg";
    stream.icyMetadata = false;
    stream.bytesPerSecond = 14000;
    RadioPlayer* player = PlayLoopback(QStringLiteral("Ogg"));
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(manager.GetStreamInfo(), QStringLiteral("OGG"));
    EXPECT_EQ(manager.GetStreamName(), QStringLiteral("Band - Song"));
    EXPECT_GT(manager.GetBitrate(), 0); // from the Vorbis identification header

    CTagFile tag;
    RecordEncodedAndCheck(player, QStringLiteral("Ogg"), QStringLiteral("Band - Song.mp3"), QStringLiteral("Song"),
        QStringLiteral("Band"), tag);
    EXPECT_EQ(tag.GetAlbum(), QStringLiteral("Disc"));
}

TEST_F(PlayerRecordingTest, ARecordingOntoAFullDiskFailsOnceLeavesNoFileAndIsNotStartedAgain)
{
    testing_support::ScratchMount disk(folder.FilePath(QStringLiteral("Recordings")), 1024 * 1024);
    if (!disk.IsMounted())
        GTEST_SKIP() << "cannot mount a scratch file system";
    stream.audio
        = GenerateMedia(NoiseInput(30) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
    ASSERT_FALSE(stream.audio.isEmpty());
    RadioPlayer* player = PlayLoopback(QStringLiteral("Full"));
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(QDir().mkpath(RecordingPath(QStringLiteral("Full"), QString())));
    ASSERT_TRUE(disk.Fill());

    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 0, false));
    ASSERT_TRUE(WaitForCode(player, PlayerStatusRecordingError, 10000));
    // Twenty seconds of watchdog ticks start nothing again.
    for (int tick = 0; tick < 5; ++tick) {
        manager.OnWatchdogTick();
        PlayerStatusLog::Pump(200);
    }
    EXPECT_EQ(Only(log.CodesOf(player), { PlayerStatusRecordingError }).size(), 1u);
    EXPECT_FALSE(manager.IsRecording());
    EXPECT_FALSE(player->IsRecording());
    EXPECT_EQ(QDir(RecordingPath(QStringLiteral("Full"), QString())).entryList(QDir::Files), QStringList());

    // Asked for again, it is tried again (once).
    EXPECT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 0, false));
    EXPECT_TRUE(PlayerStatusLog::PumpUntil(
        [&] { return Only(log.CodesOf(player), { PlayerStatusRecordingError }).size() == 2; }, 10000));
    manager.Stop(false, false);
    PlayerStatusLog::PumpUntil([this] { return manager.GetPlayerCount() == 0; }, 10000);
}

TEST_F(PlayerRecordingTest, RecordingWishStartsOnTheNextTickOnceThePlayerHasAStream)
{
    stream.audio
        = GenerateMedia(NoiseInput(30) + QStringList { "-c:a", "libmp3lame", "-b:a", "128k" }, QStringLiteral("mp3"));
    ASSERT_FALSE(stream.audio.isEmpty());
    stream.titles = { { 0, "Band - Song" } };

    // Wanted before anything plays: kept until a player can carry it.
    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 0, false));
    RadioPlayer* player = PlayLoopback(QStringLiteral("Wish"));
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(manager.IsRecording());
    EXPECT_FALSE(player->IsRecording());
    manager.OnWatchdogTick();
    EXPECT_TRUE(player->IsRecording());
    EXPECT_TRUE(QFileInfo(RecordingPath(QStringLiteral("Wish"), QString())).isDir());

    // A user stop of playback ends the wish too.
    manager.Stop(false, false);
    EXPECT_FALSE(manager.IsRecording());
    EXPECT_FALSE(player->IsRecording());
}

} // namespace
