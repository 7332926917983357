#include "audio/Recorder.h"
#include "audio/TagFile.h"
#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "core/StdioFileUTF8.h"
#include "tests/support/FfmpegTools.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

using testing_support::GenerateSinePcm;
using testing_support::ProbeAudio;
using testing_support::ReadBytes;
using testing_support::ScratchMount;
using testing_support::WriteBytes;

namespace
{

constexpr int kRate = 44100;
constexpr int kEncoderSlack = 576 + 1152; // start-up delay and last-frame padding of the encoder, in samples

QByteArray RandomBytes(qsizetype size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char& b : bytes)
        b = char(random());
    return bytes;
}

// Feeds data in pieces the size of the library's blocks (20 ms of stereo PCM).
template <typename Feed> void FeedInPieces(const QByteArray& data, Feed feed, qsizetype piece = 3528)
{
    for (qsizetype at = 0; at < data.size(); at += piece)
        feed(data.constData() + at, uint32_t(std::min(piece, data.size() - at)));
}

class RecorderTest : public ::testing::Test
{
protected:
    void TearDown() override { CLameEncoder::ResetLibraryForTesting(true); }

    QString Base(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    QStringList LogLines() const { return appFolder.LogEntries(); }

    void PutRaw(CRecorder& recorder, const QByteArray& data)
    {
        FeedInPieces(data, [&](const char* p, uint32_t n) { ASSERT_TRUE(recorder.PutRaw(p, n)); });
    }

    void PutPcm(CRecorder& recorder, const QByteArray& data)
    {
        FeedInPieces(data, [&](const char* p, uint32_t n) { ASSERT_TRUE(recorder.PutPcm(p, n)); });
    }

    testing_support::TempProgramFolder appFolder;
    QTemporaryDir dir;
};

TEST_F(RecorderTest, EncodedRecordingsAreConstantBitrateMp3WithPreRecordedStartAndTag)
{
    struct Case {
        int channels;
        int kbps;
        const char* album;
        const char* expectedAlbum;
    } cases[] = { { 2, 128, "", "Station One" }, { 1, 64, "Album", "Album" } };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        const QByteArray pcm = GenerateSinePcm(10, kRate, c.channels);
        ASSERT_EQ(pcm.size(), qsizetype(10) * kRate * 2 * c.channels);
        const qsizetype preRecorded = qsizetype(3) * kRate * 2 * c.channels;

        CRecorder recorder;
        recorder.SetStreamInfo(0, true);
        recorder.SetFormat(kRate, c.channels, false);
        recorder.SetBitrate(c.kbps);
        PutPcm(recorder, pcm.left(preRecorded)); // the first three seconds arrive before the start
        recorder.SetTags(QStringLiteral("Station One"), QStringLiteral("Song Title"), QStringLiteral("Singer"),
            QString::fromUtf8(c.album));
        const QString base = Base(c.channels == 2 ? "Singer - Song Title" : "mono");
        ASSERT_TRUE(recorder.Start(base, QStringLiteral("mp3"), 0, false));
        EXPECT_TRUE(recorder.IsRecording());
        EXPECT_FALSE(recorder.IsDiscarded());
        PutPcm(recorder, pcm.mid(preRecorded));
        recorder.Stop();
        EXPECT_FALSE(recorder.IsRecording());

        const QString path = base + QStringLiteral(".mp3");
        const auto probed = ProbeAudio(path);
        ASSERT_TRUE(probed.ok) << probed.error.toStdString();
        EXPECT_EQ(probed.codecName, "mp3");
        EXPECT_EQ(probed.sampleRate, kRate);
        EXPECT_EQ(probed.channels, c.channels);
        EXPECT_EQ(probed.bitRate, c.kbps * 1000);
        EXPECT_GE(probed.decodedSamples, 10 * kRate);
        EXPECT_LE(probed.decodedSamples, 10 * kRate + kEncoderSlack);
        EXPECT_GE(probed.duration, 10.0 - 0.001);
        // ffprobe estimates the duration from the size, and counts the tag's 128 bytes as audio.
        EXPECT_LE(probed.duration, 10.0 + double(kEncoderSlack) / kRate + 128 * 8.0 / (c.kbps * 1000));

        CTagFile tag;
        ASSERT_EQ(tag.Open(path), 0);
        EXPECT_EQ(tag.GetTitle(), "Song Title");
        EXPECT_EQ(tag.GetArtist(), "Singer");
        EXPECT_EQ(tag.GetAlbum(), QString::fromUtf8(c.expectedAlbum));
        EXPECT_EQ(tag.GetComment(), "Recorded by Kavrilune");
    }
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(RecorderTest, RawRecordingsKeepTheBytesAsReceivedAndOnlyMp3GetsATag)
{
    const QByteArray stream = RandomBytes(100000, 1);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    recorder.SetTags(QStringLiteral("Station"), QStringLiteral("T"), QStringLiteral("A"), QString());

    ASSERT_TRUE(recorder.Start(Base("aac stream"), QStringLiteral("aac"), 0, false));
    PutRaw(recorder, stream);
    recorder.PutPcm(stream.constData(), 4000); // the other feed keeps quiet in raw mode
    recorder.Stop();
    EXPECT_EQ(ReadBytes(Base("aac stream") + ".aac"), stream);

    ASSERT_TRUE(recorder.Start(Base("mp3 stream"), QStringLiteral("MP3"), 0, false));
    PutRaw(recorder, stream);
    recorder.Stop();
    const QByteArray file = ReadBytes(Base("mp3 stream") + ".MP3");
    ASSERT_EQ(file.size(), stream.size() + 128);
    EXPECT_EQ(file.left(stream.size()), stream);
    EXPECT_EQ(file.mid(stream.size(), 3), "TAG");
    // Stop forgot the tags, so this recording's tag has empty texts.
    EXPECT_EQ(file.mid(stream.size() + 3, 90), QByteArray(90, '\0'));

    // A recording shorter than a tag stays untagged.
    ASSERT_TRUE(recorder.Start(Base("short"), QStringLiteral("mp3"), 0, false));
    PutRaw(recorder, stream.left(100));
    recorder.Stop();
    EXPECT_EQ(ReadBytes(Base("short") + ".mp3"), stream.left(100));
}

TEST_F(RecorderTest, PreRecordBufferIsCopiedToTheFileStartAndEmptiedByStopAndNewSongs)
{
    const QByteArray before = RandomBytes(70001, 2); // more than two copy blocks
    const QByteArray after = RandomBytes(5000, 3);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);

    // Without pre-buffering nothing is kept while idle.
    PutRaw(recorder, before);
    ASSERT_TRUE(recorder.Start(Base("none"), QStringLiteral("aac"), 0, false));
    PutRaw(recorder, after);
    recorder.Stop();
    EXPECT_EQ(ReadBytes(Base("none") + ".aac"), after);

    recorder.SetStreamInfo(0, true);
    PutRaw(recorder, RandomBytes(3000, 4));
    EXPECT_TRUE(recorder.ClearPreBuffer()); // a new song began
    PutRaw(recorder, before);
    ASSERT_TRUE(recorder.Start(Base("pre"), QStringLiteral("aac"), 0, false));
    PutRaw(recorder, after);
    recorder.Stop();
    EXPECT_EQ(ReadBytes(Base("pre") + ".aac"), before + after);

    // Start emptied the buffer; what arrived during the recording is not kept either.
    ASSERT_TRUE(recorder.Start(Base("again"), QStringLiteral("aac"), 0, false));
    recorder.Stop();
    EXPECT_EQ(QFile(Base("again") + ".aac").size(), 0);
}

TEST_F(RecorderTest, PreRecordBufferPastTenMillionBytesStartsOverWithTheNextChunk)
{
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    recorder.SetStreamInfo(0, true);
    const int chunkSize = 100000;
    QByteArray chunk(chunkSize, '\0');
    QByteArray expected;
    for (int i = 1; i <= 120; ++i) { // 12,000,000 bytes
        chunk.fill(char(i));
        ASSERT_TRUE(recorder.PutRaw(chunk.constData(), chunkSize));
        // The buffer holds 10,100,000 bytes after chunk 101, so chunk 102 finds it too long and starts over.
        if (i >= 102)
            expected += chunk;
    }
    ASSERT_TRUE(recorder.Start(Base("long"), QStringLiteral("aac"), 0, false));
    recorder.Stop();
    EXPECT_EQ(ReadBytes(Base("long") + ".aac"), expected);
}

TEST_F(RecorderTest, EncoderStartsOnlyOnceABitrateIsKnownAndUsesTheBitrateRules)
{
    const QByteArray second = GenerateSinePcm(1, kRate, 2);
    ASSERT_FALSE(second.isEmpty());

    // Automatic bitrate, stream bitrate not known yet: the file exists but stays empty until it is.
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, false);
    ASSERT_TRUE(recorder.Start(Base("later"), QStringLiteral("mp3"), 0, false));
    PutPcm(recorder, second);
    EXPECT_EQ(QFile(Base("later") + ".mp3").size(), 0);
    recorder.SetBitrate(96);
    PutPcm(recorder, second);
    PutPcm(recorder, second);
    recorder.Stop();
    auto probed = ProbeAudio(Base("later") + ".mp3");
    ASSERT_TRUE(probed.ok) << probed.error.toStdString();
    EXPECT_EQ(probed.bitRate, 96000);
    EXPECT_LE(probed.decodedSamples, 2 * kRate + kEncoderSlack);

    // A setting of 32 kbit/s encodes at 64; the setting wins over the stream's bitrate.
    ASSERT_TRUE(recorder.Start(Base("low"), QStringLiteral("mp3"), 32, false));
    PutPcm(recorder, second);
    recorder.Stop();
    probed = ProbeAudio(Base("low") + ".mp3");
    ASSERT_TRUE(probed.ok) << probed.error.toStdString();
    EXPECT_EQ(probed.bitRate, 64000);

    // Automatic with a stream bitrate above 320: the encoder never starts, the file stays empty.
    recorder.SetBitrate(500);
    ASSERT_TRUE(recorder.Start(Base("high"), QStringLiteral("mp3"), 0, false));
    PutPcm(recorder, second);
    recorder.Stop();
    EXPECT_EQ(QFile(Base("high") + ".mp3").size(), 0);
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(RecorderTest, FileNamesAreNumberedAndDontOverwriteSendsTakenNamesToTheNullDevice)
{
    const QString base = Base("Song");
    const QByteArray data = RandomBytes(500, 5);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);

    ASSERT_TRUE(recorder.Start(base, QStringLiteral("aac"), 0, true)); // free name: dontOverwrite changes nothing
    PutRaw(recorder, data);
    recorder.Stop();
    EXPECT_FALSE(recorder.IsDiscarded());
    EXPECT_EQ(ReadBytes(base + ".aac"), data);

    ASSERT_TRUE(recorder.Start(base, QStringLiteral("aac"), 0, false));
    PutRaw(recorder, data.left(10));
    recorder.Stop();
    EXPECT_EQ(ReadBytes(base + " (1).aac"), data.left(10));

    // Taken with dontOverwrite: the recording runs into the null device and touches no file.
    ASSERT_TRUE(recorder.Start(base, QStringLiteral("aac"), 0, true));
    EXPECT_TRUE(recorder.IsRecording());
    EXPECT_TRUE(recorder.IsDiscarded());
    EXPECT_TRUE(recorder.PutRaw(data.constData(), uint32_t(data.size())));
    recorder.Stop();
    EXPECT_EQ(ReadBytes(base + ".aac"), data);
    EXPECT_FALSE(QFile::exists(base + " (2).aac"));

    // Every number up to 999 taken: the last one is overwritten.
    for (int n = 2; n <= 999; ++n)
        ASSERT_TRUE(WriteBytes(QStringLiteral("%1 (%2).aac").arg(base).arg(n), "old"));
    ASSERT_TRUE(recorder.Start(base, QStringLiteral("aac"), 0, false));
    EXPECT_FALSE(recorder.IsDiscarded()); // every Start clears it
    PutRaw(recorder, data.left(20));
    recorder.Stop();
    EXPECT_EQ(ReadBytes(base + " (999).aac"), data.left(20));
    EXPECT_EQ(ReadBytes(base + " (998).aac"), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1000);

    // A file that cannot be created fails the start.
    EXPECT_FALSE(recorder.Start(Base("no-such-folder/x"), QStringLiteral("aac"), 0, false));
    EXPECT_FALSE(recorder.IsRecording());

    // A name the file system refuses to look up counts as taken, not as free.
    const QString tooLong = dir.filePath(QString(300, QLatin1Char('n')) + QStringLiteral("/x"));
    ASSERT_TRUE(recorder.Start(tooLong, QStringLiteral("aac"), 0, true));
    EXPECT_TRUE(recorder.IsDiscarded());
    recorder.Stop();
    EXPECT_FALSE(recorder.Start(tooLong, QStringLiteral("aac"), 0, false));
}

TEST_F(RecorderTest, LongNamesAreCutToTheFileSystemLimitKeepingTheNumberAndTheExtension)
{
    EXPECT_EQ(CRecorder::FitToBytes(QStringLiteral("abc"), 3), "abc");
    EXPECT_EQ(CRecorder::FitToBytes(QStringLiteral("ab cd"), 3), "ab");
    EXPECT_EQ(CRecorder::FitToBytes(QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC"), 5), QString::fromUtf8("a\xC3\xA9"));

    // 86 three-byte characters (258 bytes), and a name of four-byte characters whose cut falls inside one.
    const QString wide = QString(86, QChar(0x9332));
    QString emoji = QStringLiteral("a");
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x8E\xB5");
    const QByteArray data = RandomBytes(300, 9);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    for (const QString& name : { wide, emoji }) {
        for (int take = 0; take < 2; ++take) {
            ASSERT_TRUE(recorder.Start(dir.filePath(name), QStringLiteral("mp3"), 0, false)) << take;
            PutRaw(recorder, data);
            recorder.Stop();
        }
    }
    QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 4);
    for (const QString& file : files) {
        const QByteArray bytes = file.toUtf8();
        EXPECT_LE(bytes.size(), CRecorder::kMaxFileNameBytes);
        EXPECT_GT(bytes.size(), CRecorder::kMaxFileNameBytes - 4) << "cut no shorter than needed";
        EXPECT_FALSE(file.contains(QChar::ReplacementCharacter));
        const QString stem = file.section(QLatin1Char('.'), 0, 0).remove(QStringLiteral(" (1)"));
        EXPECT_TRUE((file.startsWith(wide.left(10)) ? wide : emoji).startsWith(stem)) << file.toStdString();
        EXPECT_EQ(ReadBytes(dir.filePath(file)).left(300), data);
    }
    EXPECT_EQ(files.filter(QStringLiteral(" (1).mp3")).size(), 2);
    EXPECT_EQ(files.filter(QRegularExpression(QStringLiteral("^[^ ]+\\.mp3$"))).size(), 2);
}

TEST_F(RecorderTest, SafeFileNamesReplaceReservedCharactersAndShrinkHyphenRuns)
{
    EXPECT_EQ(CRecorder::MakeSafeFileName(QStringLiteral("AC/DC: Back")), "AC-DC- Back");
    EXPECT_EQ(CRecorder::MakeSafeFileName(QStringLiteral("a // b")), "a - b");
    EXPECT_EQ(CRecorder::MakeSafeFileName(QStringLiteral("a////b")), "a-b");
    EXPECT_EQ(CRecorder::MakeSafeFileName(QStringLiteral(" <x>|\"y\"?*\\ ")), "-x-y-");
    EXPECT_EQ(CRecorder::MakeSafeFileName(QStringLiteral("  Plain Name\t")), "Plain Name");
}

TEST_F(RecorderTest, StopWithoutStartDoesNothing)
{
    CRecorder recorder;
    recorder.SetTags(QStringLiteral("S"), QStringLiteral("T"), QStringLiteral("A"), QStringLiteral("B"));
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_TRUE(recorder.PutRaw("abc", 3)); // idle without pre-buffering: dropped
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(RecorderTest, ReadOnlyFolderFailsStartWithoutALogEntry)
{
    const QString folder = Base("ro");
    ScratchMount mount(folder, 1 << 20);
    if (::geteuid() == 0) {
        if (!mount.IsMounted() || !mount.MakeReadOnly())
            GTEST_SKIP() << "cannot mount a scratch file system";
    } else {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    recorder.SetStreamInfo(0, true);
    PutRaw(recorder, RandomBytes(1000, 6));
    EXPECT_FALSE(recorder.Start(folder + "/song", QStringLiteral("mp3"), 0, false));
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_TRUE(LogLines().isEmpty());
    recorder.Stop();
}

class RecorderFullDiskTest : public RecorderTest
{
protected:
    void SetUp() override
    {
        RecorderTest::SetUp();
        mount = std::make_unique<ScratchMount>(Base("small"), 64 * 1024);
        if (!mount->IsMounted())
            GTEST_SKIP() << "cannot mount a scratch file system";
    }

    void TearDown() override
    {
        mount.reset();
        RecorderTest::TearDown();
    }

    QString Small(const char* name) const { return mount->Folder() + QLatin1Char('/') + QLatin1String(name); }

    std::unique_ptr<ScratchMount> mount;
};

TEST_F(RecorderFullDiskTest, RawFeedReportsTheFullDiskEachTimeAndStopStillClosesTheFile)
{
    const QByteArray stream = RandomBytes(200000, 7);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    ASSERT_TRUE(recorder.Start(Small("song"), QStringLiteral("mp3"), 0, false));
    int failures = 0;
    FeedInPieces(
        stream,
        [&](const char* p, uint32_t n) {
            try {
                EXPECT_TRUE(recorder.PutRaw(p, n));
            } catch (const CFileException& e) {
                EXPECT_EQ(e.m_cause, CFileException::diskFull);
                ++failures; // the download feed logs it and goes on
            }
        },
        8192);
    EXPECT_GT(failures, 1);
    EXPECT_TRUE(recorder.IsRecording());
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());

    // The file holds the stream up to where the disk filled, and no tag fitted behind it.
    const QByteArray file = ReadBytes(Small("song.mp3"));
    ASSERT_GT(file.size(), 0);
    EXPECT_EQ(file, stream.left(file.size()));
}

TEST_F(RecorderFullDiskTest, EncodedFeedThrowsAndStopAfterwardsLogsInsteadOfThrowing)
{
    const QByteArray pcm = GenerateSinePcm(10, kRate, 2);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, false);
    recorder.SetBitrate(128);
    ASSERT_TRUE(recorder.Start(Small("song"), QStringLiteral("mp3"), 0, false));
    bool thrown = false;
    for (qsizetype at = 0; at < pcm.size() && !thrown; at += 3528) {
        try {
            EXPECT_TRUE(recorder.PutPcm(pcm.constData() + at, uint32_t(std::min<qsizetype>(3528, pcm.size() - at))));
        } catch (const CFileException&) {
            thrown = true;
        }
    }
    ASSERT_TRUE(thrown);
    // The DSP feed stops the recording on a file error; the flush then meets the full disk too.
    EXPECT_NO_THROW(recorder.Stop());
    EXPECT_FALSE(recorder.IsRecording());
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Recorder, line "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": CFileException in stop recording.")));

    // With room again, the next recording works.
    ASSERT_TRUE(QFile::remove(Small("song.mp3")));
    ASSERT_TRUE(recorder.Start(Small("next"), QStringLiteral("mp3"), 0, false));
    EXPECT_TRUE(recorder.PutPcm(pcm.constData(), 35280));
    recorder.Stop();
    EXPECT_GT(QFile(Small("next.mp3")).size(), 128);
}

TEST_F(RecorderFullDiskTest, ARecordingThatWroteNothingLeavesNoFile)
{
    ASSERT_TRUE(mount->Fill());
    const QByteArray stream = RandomBytes(20000, 10);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    ASSERT_TRUE(recorder.Start(Small("song"), QStringLiteral("mp3"), 0, false));
    EXPECT_TRUE(QFile::exists(Small("song.mp3")));
    EXPECT_THROW(recorder.PutRaw(stream.constData(), uint32_t(stream.size())), CFileException);
    recorder.Stop();
    EXPECT_FALSE(QFile::exists(Small("song.mp3")));

    // Also a recording stopped before anything came; one that wrote something stays.
    ASSERT_TRUE(QFile::remove(Small("filler")));
    ASSERT_TRUE(recorder.Start(Small("quiet"), QStringLiteral("aac"), 0, false));
    recorder.Stop();
    EXPECT_FALSE(QFile::exists(Small("quiet.aac")));
    ASSERT_TRUE(recorder.Start(Small("kept"), QStringLiteral("aac"), 0, false));
    PutRaw(recorder, stream.left(10));
    recorder.Stop();
    EXPECT_EQ(ReadBytes(Small("kept.aac")), stream.left(10));
}

TEST_F(RecorderFullDiskTest, PreRecordedDataThatDoesNotFitFailsStartWithALogEntry)
{
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    recorder.SetStreamInfo(0, true);
    PutRaw(recorder, RandomBytes(100000, 8));
    EXPECT_FALSE(recorder.Start(Small("song"), QStringLiteral("mp3"), 0, false));
    EXPECT_FALSE(recorder.IsRecording());
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": CFileException in start recording."))) << lines[0].toStdString();
    recorder.Stop(); // not recording: nothing happens
}

TEST_F(RecorderTest, EncodedModeWithoutEncoderLibraryLosesThePcmQuietly)
{
    CLameEncoder::ResetLibraryForTesting(false); // the program folder is empty
    {
        CRecorder recorder;
        recorder.SetFormat(kRate, 2, false);
        recorder.SetBitrate(128);
        ASSERT_TRUE(recorder.Start(Base("silent"), QStringLiteral("mp3"), 0, false));
        const QByteArray pcm(35280, '\x10');
        EXPECT_TRUE(recorder.PutPcm(pcm.constData(), uint32_t(pcm.size())));
        recorder.Stop();
    }
    EXPECT_EQ(QFile(Base("silent") + ".mp3").size(), 0);
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Cannot load library: ")));
}

TEST_F(RecorderTest, ProcessorFaultInAFeedIsLoggedAndReportedAsFailure)
{
    InstallSeTranslator(true);
    CRecorder recorder;
    recorder.SetFormat(kRate, 2, true);
    recorder.SetStreamInfo(0, true);
    const auto* unmapped = reinterpret_cast<const void*>(uintptr_t(0x10));
    EXPECT_FALSE(recorder.PutRaw(unmapped, 1000));
    InstallSeTranslator(false);
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Recorder, line "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("ACCESS_VIOLATION")));
}

} // namespace
