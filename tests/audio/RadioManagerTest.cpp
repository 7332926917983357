// The manager's own logic that needs no stream: recording paths and names, the recording wish and its
// question, the watchdog before any play, the station copy and the neutral values without a player.

#include "audio/RadioManager.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "tests/audio/PlayerStatusLog.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestMedia.h"
#include "tests/support/TestPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

namespace
{

class SpectrumProbe : public CSoundDisplay
{
public:
    void Render(RadioPlayer* player, bool muted, bool playing, bool recording) override
    {
        ++frames;
        lastPlayer = player;
        lastMuted = muted;
        lastPlaying = playing;
        lastRecording = recording;
    }
    int frames = 0;
    RadioPlayer* lastPlayer = reinterpret_cast<RadioPlayer*>(1);
    bool lastMuted = false;
    bool lastPlaying = true;
    bool lastRecording = false;
};

class RadioManagerTest : public ::testing::Test
{
protected:
    CStationItem Station(const QString& title, std::initializer_list<const char*> sources)
    {
        CStationItem station;
        station.SetTitle(title);
        for (const char* source : sources)
            station.AddSource(QString::fromUtf8(source));
        return station;
    }

    // A 30-second MP3 tone in the program folder; empty when it could not be made.
    QString Tone()
    {
        const QString tone = folder.FilePath("tone.mp3");
        testing_support::SineOptions options;
        options.seconds = 30;
        return testing_support::GenerateSine(tone, testing_support::MediaFormat::Mp3, options) ? tone : QString();
    }

    // The newest status's player once a player plays; 0 when none does in time.
    LPARAM WaitForPlaying()
    {
        const bool playing = testing_support::PumpUntil([&] {
            return std::any_of(log.entries.begin(), log.entries.end(),
                [](const PlayerStatusLog::Entry& entry) { return entry.code == PlayerStatusPlaying; });
        });
        return playing ? log.entries.back().player : 0;
    }

    int argc = 0;
    QCoreApplication app { argc, nullptr };
    testing_support::TempProgramFolder folder;
    PlayerStatusLog log;
    CRadioManager manager { &log };
};

TEST_F(RadioManagerTest, RecordingFolderLiesUnderTheProgramFolderUnlessAbsolute)
{
    EXPECT_EQ(manager.RecordingDirectory(QStringLiteral("Kavrilune Recordings")),
        folder.Path() + QStringLiteral("Kavrilune Recordings"));
    EXPECT_EQ(manager.RecordingDirectory(QStringLiteral("./a/../Recordings/.")),
        folder.Path() + QStringLiteral("Recordings"));
    EXPECT_EQ(manager.RecordingDirectory(QStringLiteral("/srv/music")), QStringLiteral("/srv/music"));

    EXPECT_EQ(CRadioManager::JoinPath(QStringLiteral("/a/b"), QStringLiteral("c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(CRadioManager::JoinPath(QStringLiteral("/a/b/"), QStringLiteral("c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(CRadioManager::JoinPath(QStringLiteral("/a/b"), QStringLiteral("/c")), QStringLiteral("/c"));
    EXPECT_EQ(CRadioManager::JoinPath(QStringLiteral("/a/b"), QString()), QStringLiteral("/a/b"));
}

TEST_F(RadioManagerTest, PathComponentsAreMadeSafe)
{
    EXPECT_EQ(CRadioManager::SafePathComponent(QStringLiteral("AC/DC: Live?")), QStringLiteral("AC-DC- Live-"));
    EXPECT_EQ(CRadioManager::SafePathComponent(QStringLiteral("a // b")), QStringLiteral("a - b"));
    EXPECT_EQ(CRadioManager::SafePathComponent(QStringLiteral(" <>:\"/\\|?* ")), QStringLiteral("---"));
    EXPECT_EQ(CRadioManager::SafePathComponent(QStringLiteral("a-----b")), QStringLiteral("a--b"));
    EXPECT_EQ(CRadioManager::SafePathComponent(QStringLiteral("..")), QString());
    EXPECT_EQ(CRadioManager::SafePathComponent(QStringLiteral("...and more")), QStringLiteral("...and more"));
}

TEST_F(RadioManagerTest, RecordingWithoutPlayerCreatesTheFoldersAndKeepsTheWish)
{
    manager.SetCurrentStation(Station(QStringLiteral("AC/DC: Live?"), { "http://127.0.0.1:9/" }));
    EXPECT_TRUE(manager.StartRecording(QStringLiteral("Kavrilune Recordings"), QStringLiteral("Untitled"), 128, false));
    EXPECT_TRUE(manager.IsRecording());
    EXPECT_TRUE(QFileInfo(folder.FilePath(QStringLiteral("Kavrilune Recordings/AC-DC- Live-"))).isDir());

    // A station name longer than a file name may be gives a folder named by as much of it as fits.
    manager.SetCurrentStation(Station(QString(100, QChar(0x9332)), { "http://127.0.0.1:9/" }));
    EXPECT_TRUE(manager.StartRecording(QStringLiteral("Kavrilune Recordings"), QStringLiteral("Untitled"), 0, false));
    EXPECT_TRUE(
        QFileInfo(folder.FilePath(QStringLiteral("Kavrilune Recordings/") + QString(85, QChar(0x9332)))).isDir());

    // A station called ".." stays inside the recordings folder.
    manager.SetCurrentStation(Station(QStringLiteral(".."), { "http://127.0.0.1:9/" }));
    EXPECT_TRUE(manager.StartRecording(QStringLiteral("Inside"), QStringLiteral("Untitled"), 0, false));
    EXPECT_TRUE(QFileInfo(folder.FilePath(QStringLiteral("Inside"))).isDir());
    QStringList made = QDir(folder.Path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    made.removeAll(QStringLiteral("Log"));
    EXPECT_EQ(made, QStringList({ QStringLiteral("Inside"), QStringLiteral("Kavrilune Recordings") }));
    EXPECT_TRUE(QDir(folder.FilePath(QStringLiteral("Inside"))).isEmpty());
}

TEST_F(RadioManagerTest, StoppingARecordingAsksAndOnlyYesStopsIt)
{
    std::deque<int> answers;
    std::vector<unsigned> types;
    testing_support::ScriptedMessageBoxes boxes([&](const QString&, unsigned type) {
        types.push_back(type);
        if (answers.empty())
            return int(IDOK);
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    });
    EXPECT_TRUE(manager.StopRecording(false, false)); // nothing recording: no question
    EXPECT_TRUE(boxes.texts.isEmpty());

    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Rec"), QStringLiteral("Untitled"), 0, false));
    answers = { IDNO, IDCANCEL };
    EXPECT_FALSE(manager.StopRecording(false, false));
    EXPECT_FALSE(manager.StopRecording(false, false));
    EXPECT_TRUE(manager.IsRecording());
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_EQ(boxes.texts.at(0), GetLangString(300));
    EXPECT_EQ(types.at(0), unsigned(MB_YESNOCANCEL | MB_ICONQUESTION));

    // Forced with the wish kept, then answered Yes: the wish goes, also without a player.
    EXPECT_TRUE(manager.StopRecording(true, true));
    EXPECT_TRUE(manager.IsRecording());
    answers = { IDYES };
    EXPECT_TRUE(manager.StopRecording(false, false));
    EXPECT_FALSE(manager.IsRecording());
}

TEST_F(RadioManagerTest, WatchdogBeforeAnyPlayReportsNothingAndKeepsTheRecordingWish)
{
    ASSERT_TRUE(manager.StartRecording(QStringLiteral("Rec"), QStringLiteral("Untitled"), 0, false));
    for (int tick = 0; tick < 3; ++tick)
        manager.OnWatchdogTick();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(manager.IsPlaying());
    EXPECT_TRUE(manager.IsRecording()) << "the wish waits for the next player";
}

TEST_F(RadioManagerTest, WithoutPlayerGettersAreNeutralAndSettingsAreKept)
{
    EXPECT_EQ(manager.GetBufferPercent(), 0);
    EXPECT_EQ(manager.GetElapsedTime(), 0);
    EXPECT_EQ(manager.GetBitrate(), 0);
    EXPECT_TRUE(manager.GetStreamName().isEmpty());
    EXPECT_TRUE(manager.GetStreamTitle().isEmpty());
    EXPECT_TRUE(manager.GetStreamInfo().isEmpty());
    EXPECT_FALSE(manager.IsCurrentPlayer(nullptr));
    EXPECT_EQ(manager.GetPlayerCount(), 0);

    manager.SetVolume(37);
    manager.ToggleMute();
    manager.SetEqualizerPreset(2);
    EXPECT_EQ(manager.GetVolume(), 37);
    EXPECT_TRUE(manager.IsMuted());
    EXPECT_EQ(manager.GetEqualizerPreset(), 2);

    SpectrumProbe probe;
    manager.DrawSpectrum(probe);
    EXPECT_EQ(probe.frames, 1);
    EXPECT_EQ(probe.lastPlayer, nullptr);
    EXPECT_TRUE(probe.lastMuted);
    EXPECT_FALSE(probe.lastPlaying);

    manager.DeletePlayer(nullptr);
    EXPECT_EQ(manager.GetPlayerCount(), 0);
}

TEST_F(RadioManagerTest, CurrentStationIsCopiedWithItsSource)
{
    CStationItem station = Station(QStringLiteral("Two Sources"), { "http://127.0.0.1:9/a", "http://127.0.0.1:9/b" });
    station.SetCurrentSource(1);
    manager.SetCurrentStation(station);
    EXPECT_EQ(manager.GetStationName(), QStringLiteral("Two Sources"));
    EXPECT_EQ(manager.GetStationUrl(), QStringLiteral("http://127.0.0.1:9/b"));
    CStationItem copy;
    manager.GetCurrentStation(copy);
    EXPECT_EQ(copy.GetCurrentSource(), 1);
    EXPECT_EQ(copy.GetCurrentSourceUrl(), QStringLiteral("http://127.0.0.1:9/b"));

    // After exit no play starts.
    manager.BlockPlay();
    manager.PlayStation(station, false, false);
    EXPECT_EQ(manager.GetPlayerCount(), 0);
    EXPECT_FALSE(manager.IsPlaying());
}

} // namespace

namespace
{

// Shutdown before the window goes: every player stops at once and is deleted, nothing is posted
// afterwards, a second shutdown and a late "finished" are harmless, and nothing plays any more.
TEST_F(RadioManagerTest, ShutdownStopsAndDeletesEveryPlayerAndNothingIsPostedAfterwards)
{
    const QString tone = Tone();
    ASSERT_FALSE(tone.isEmpty());
    manager.SetPlayerOptions(0, true, 0, 4000, false, false);
    manager.PlayStation(Station("One", { tone.toUtf8().constData() }), false, false);
    manager.PlayStation(Station("Two", { tone.toUtf8().constData() }), false, false);
    ASSERT_EQ(manager.GetPlayerCount(), 2);
    const LPARAM player = WaitForPlaying();
    ASSERT_NE(player, 0);

    EXPECT_TRUE(manager.Shutdown(CRadioManager::kShutdownWaitMs));
    EXPECT_EQ(manager.GetPlayerCount(), 0);
    EXPECT_FALSE(manager.IsPlaying());
    QCoreApplication::removePostedEvents(&log);
    const size_t seen = log.entries.size();
    testing_support::PumpFor(300);
    EXPECT_EQ(log.entries.size(), seen) << "a stopped player posted after the shutdown";

    manager.DeletePlayer(reinterpret_cast<RadioPlayer*>(player));
    EXPECT_TRUE(manager.Shutdown(0));
    manager.PlayStation(Station("Three", { tone.toUtf8().constData() }), false, false);
    EXPECT_EQ(manager.GetPlayerCount(), 0);
}

// A stream's buffers are freed between blocks that stay in use, and the allocator keeps such pages
// resident: the program's memory would rise a little with every few plays. When the last finished
// player goes, what is free goes back to the system.
TEST_F(RadioManagerTest, WhenTheLastPlayerGoesTheMemoryLeftFreeGoesBackToTheSystem)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators keep memory their own way";
#endif
    auto residentKb = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("RssAnon:"))
                return line.mid(8).trimmed().split(' ').first().toLongLong();
        }
        return -1LL;
    };
    const QString tone = Tone();
    ASSERT_FALSE(tone.isEmpty());
    manager.SetPlayerOptions(0, true, 0, 4000, false, false);
    manager.PlayStation(Station("One", { tone.toUtf8().constData() }), false, false);
    const LPARAM player = WaitForPlaying();
    ASSERT_NE(player, 0);
    manager.Stop(false, false);
    ASSERT_TRUE(
        testing_support::PumpUntil([&] { return log.Has(reinterpret_cast<void*>(player), PlayerStatusFinished); }));

    // 24 MB freed in pieces that pieces still in use hold apart, as a stream's buffers leave it.
    constexpr int kPieces = 480;
    constexpr size_t kPiece = 100 * 1024;
    std::vector<void*> pieces;
    for (int i = 0; i < kPieces; ++i) {
        pieces.push_back(std::malloc(kPiece));
        std::memset(pieces.back(), 1, kPiece);
        asm volatile("" : : "r"(pieces.back()) : "memory"); // written for real: resident
    }
    for (int i = 0; i < kPieces; i += 2)
        std::free(std::exchange(pieces[i], nullptr));
    const long long before = residentKb();

    manager.DeletePlayer(reinterpret_cast<RadioPlayer*>(player));
    const long long after = residentKb();
    for (void* piece : pieces)
        std::free(piece);
    EXPECT_EQ(manager.GetPlayerCount(), 0);
    EXPECT_LT(after, before - 16 * 1024) << "resident " << before << " kB before, " << after << " kB after";
}

} // namespace
