// The real program's life on a desktop: ending on signals, a program folder nobody may write to, a
// settings lock another process keeps, and a desktop without a notification area.

#include "tests/ui/support/ProgramFixture.h"

#include "tests/support/IcecastServer.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TempProgramFolder.h"

#include <QDirIterator>
#include <QImage>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>

using namespace testing_support;

namespace
{

using ui_testing::ProgramTest;

// The volume slider of the built-in skin's normal layout.
const QRect kVolumeSlider(286, 221, 88, 30);
// Its minimise button.
const QPoint kMinimizeButton(351, 18);
// Its status line.
const QRect kStatusLine(16, 211, 138, 14);

class ProgramLifeTest : public ProgramTest
{
protected:
    // Presses the volume-up hot key and waits until the slider shows it.
    bool RaiseVolume(const QString& window)
    {
        RunTool("xdotool", { "mousemove", "0", "0" });
        PumpFor(300);
        const QImage before = Grab(window).copy(kVolumeSlider);
        if (before.isNull())
            return false;
        RunTool("xdotool", { "key", "alt+shift+KP_Add" });
        return PumpUntil([&] { return Grab(window).copy(kVolumeSlider) != before; }, 10000);
    }

    // Pixels of the status line in its text's light blue, which the dark panel behind it never shows.
    int StatusInk(const QString& window)
    {
        const QImage status = Grab(window).copy(kStatusLine);
        int ink = 0;
        for (int y = 0; y < status.height(); ++y) {
            for (int x = 0; x < status.width(); ++x) {
                const QColor pixel = status.pixelColor(x, y);
                ink += pixel.green() - pixel.red() > 40;
            }
        }
        return ink;
    }

    QString SavedSettings(const QString& path) const { return QString::fromUtf8(ReadBytes(path)); }

    void WriteProgramSettings(const QString& path, const QString& inner)
    {
        ASSERT_TRUE(skin_test::WriteSkinFile(path, inner));
    }
};

TEST_F(ProgramLifeTest, SigtermEndsAPlayingRecordingProgramWithItsSettingsSavedAndTheRecordingClosed)
{
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/live"));
    const QString recordings = home.path() + "/recordings";
    WriteProgramSettings(Program("Kavrilune.xml"),
        "<General><Check_updates>0</Check_updates><Autoplay>1</Autoplay><GlobalHotkeys>1</GlobalHotkeys>"
        "<Volume>50</Volume><Station_URL>"
            + server.Url("/live")
            + "</Station_URL><Station_Title>Loopback FM</Station_Title></General>"
              "<Recordings><Folder>"
            + recordings + "</Folder></Recordings>");
    StartProgram({ "/record" });
    ASSERT_TRUE(WaitForTitle("Loopback FM", 20000));
    const QString window = WaitForWindow(program, 5000);
    ASSERT_TRUE(RaiseVolume(window));
    auto recorded = [&recordings] {
        qint64 bytes = 0;
        for (QDirIterator it(recordings, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            bytes += QFileInfo(it.next()).size();
        return bytes;
    };
    ASSERT_TRUE(PumpUntil([&] { return recorded() > 0; }, 10000)) << "the recording runs";

    // The exit routine would ask whether to stop the recording; nobody answers a log-out.
    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(WaitForEnd(program, 10000)) << "the program still runs after SIGTERM";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(SavedSettings(Program("Kavrilune.xml")).contains("<Volume>54</Volume>"));
    EXPECT_GT(recorded(), 0);
    EXPECT_TRUE(QDir(Program("Log")).entryList(QDir::Files).isEmpty()) << "nothing was logged";
}

// A sound server that hangs (stopped where it was, its socket still open) while a station plays holds
// neither the player's stop nor the exit routine.
TEST_F(ProgramLifeTest, SigtermEndsAProgramPlayingToASoundServerThatHangs)
{
    if (!SoundServer::Available())
        GTEST_SKIP() << SoundServer::Missing();
    SoundServer sound;
    std::string reason;
    ASSERT_TRUE(sound.Start(reason)) << reason;
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/live"));
    WriteSettings("<Autoplay>1</Autoplay><Station_URL>" + server.Url("/live")
        + "</Station_URL><Station_Title>Loopback FM</Station_Title>");
    QProcessEnvironment environment = Environment(); // the server's address with it
    environment.remove("SDL_AUDIODRIVER");
    Launch(program, {}, environment);
    {
        MonitorRecorder monitor(sound.Address());
        ASSERT_TRUE(monitor.Started());
        const size_t tenth = 4410;
        EXPECT_TRUE(PumpUntil(
            [&] {
                const size_t frames = monitor.Frames();
                return frames > tenth && LoudFrames(monitor.Left(frames - tenth, tenth)) > tenth / 2;
            },
            20000))
            << "the station was not heard";
    }
    sound.Freeze();
    PumpFor(700); // what the server held runs out, as far as the program can tell

    // The fault this guards against took 6.5 to 10 s.
    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    const bool ended = WaitForEnd(program, 5000);
    sound.Thaw();
    ASSERT_TRUE(ended) << "the program still runs 5 s after SIGTERM";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(QDir(Program("Log")).entryList(QDir::Files).isEmpty()) << "the exit logged a fault";
}

TEST_F(ProgramLifeTest, SigtermSigintAndSighupEndAnIdleProgramWithItsSettingsSaved)
{
    for (const int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        WriteSettings("<Autoplay>0</Autoplay><GlobalHotkeys>1</GlobalHotkeys><Volume>50</Volume>");
        StartProgram();
        const QString window = WaitForWindow(program, 20000);
        ASSERT_FALSE(window.isEmpty());
        ASSERT_TRUE(RaiseVolume(window));
        ASSERT_EQ(::kill(pid_t(program.processId()), signalNumber), 0);
        ASSERT_TRUE(WaitForEnd(program, 10000)) << signalNumber;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signalNumber;
        EXPECT_EQ(program.exitCode(), 0) << signalNumber;
        EXPECT_TRUE(SavedSettings(Program("Kavrilune.xml")).contains("<Volume>54</Volume>")) << signalNumber;
    }

    // A start that ignores hang-ups (nohup) outlives its terminal.
    program.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
    StartProgram();
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
    ASSERT_EQ(::kill(pid_t(program.processId()), SIGHUP), 0);
    EXPECT_FALSE(WaitForEnd(program, 1500));
}

TEST_F(ProgramLifeTest, ASettingsLockAnotherProcessKeepsDelaysNeitherTheWindowNorAHandOverNorTheExit)
{
    WriteSettings("<Autoplay>0</Autoplay>");
    // This test's process is the other process.
    const int holder
        = ::open(QFile::encodeName(Program("Kavrilune.xml.lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    StartProgram();
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
    Launch(second, { "/reuse", "/play", "/source=http://127.0.0.1:9/handed" });
    ASSERT_TRUE(WaitForEnd(second, 20000)) << "the hand-over did not end";
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(WaitForEnd(program, 5000)) << "the exit waits for the lock";
    EXPECT_EQ(program.exitCode(), 0);
    ::close(holder);

    EXPECT_TRUE(
        SavedSettings(Program("Kavrilune.xml")).contains("<Station_URL>http://127.0.0.1:9/handed</Station_URL>"))
        << "the handed-over station was played and saved";
    QStringList entries;
    const QDir logs(Program("Log"));
    for (const QString& name : logs.entryList(QDir::Files))
        entries += QString::fromUtf8(ReadBytes(logs.filePath(name))).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(entries.size(), 2) << "once by each process:\n" << entries.join('\n').toStdString();
}

// A sound server that takes the connection and never says a word: the player gives up on it and says
// so, and the program still ends at once when asked to.
TEST_F(ProgramLifeTest, ADeafSoundServerHoldsNeitherThePlayerNorTheExit)
{
    DeafSoundServer server;
    ASSERT_TRUE(server.Listening());
    // While the player initialises its status line is blank in this language; any later state has ink.
    ASSERT_TRUE(skin_test::WriteSkinFile(Program("lang/English.lng"), "<Radio><Init></Init></Radio>"));
    WriteSettings("<Autoplay>1</Autoplay><Station_URL>http://127.0.0.1:9/</Station_URL>"
                  "<Station_Title>Deaf FM</Station_Title>");
    QProcessEnvironment environment = Environment();
    environment.remove("SDL_AUDIODRIVER");
    environment.insert("PULSE_SERVER", QString::fromStdString(server.Address()));
    environment.insert("PULSE_CLIENTCONFIG", QString::fromStdString(server.ClientConfig()));
    QElapsedTimer clock;
    clock.start();
    Launch(program, {}, environment);
    const QString window = WaitForWindow(program, 10000);
    ASSERT_FALSE(window.isEmpty());
    EXPECT_TRUE(PumpUntil([&] { return StatusInk(window) > 20; }, int(std::max<qint64>(10000 - clock.elapsed(), 0))))
        << "still initialising after " << clock.elapsed() << " ms";

    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    EXPECT_TRUE(WaitForEnd(program, 5000)) << "the program still runs 5 s after SIGTERM";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramLifeTest, OnAReadOnlyProgramFolderChangesSurviveAnExitAndANewStart)
{
    // Not even root may write on a read-only mount.
    ScratchMount mount(home.path() + "/opt", qint64(1) << 30);
    if (!mount.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    ASSERT_TRUE(CopyFolder(folder.path(), mount.Folder()));
    const QString shipped = mount.Folder() + "/Kavrilune.xml";
    WriteProgramSettings(shipped,
        "<General><Check_updates>0</Check_updates><Autoplay>0</Autoplay><GlobalHotkeys>1</GlobalHotkeys>"
        "<Volume>50</Volume><Station_Title>Shipped FM</Station_Title></General>");
    const QByteArray shippedBytes = ReadBytes(shipped);
    ASSERT_TRUE(mount.MakeReadOnly());
    const QString userSettings = home.path() + "/data/Kavrilune/Kavrilune.xml";

    for (const char* expected : { "<Volume>54</Volume>", "<Volume>58</Volume>" }) {
        program.setProcessEnvironment(Environment());
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(mount.Folder() + "/kavrilune");
        ASSERT_TRUE(program.waitForStarted(5000));
        const QString window = WaitForWindow(program, 20000);
        ASSERT_FALSE(window.isEmpty());
        ASSERT_TRUE(RaiseVolume(window));
        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
        ASSERT_TRUE(WaitForEnd(program, 10000));
        EXPECT_EQ(program.exitCode(), 0);
        const QString saved = SavedSettings(userSettings);
        EXPECT_TRUE(saved.contains(expected)) << expected << "\n" << saved.toStdString();
        EXPECT_TRUE(saved.contains("<Station_Title>Shipped FM</Station_Title>")) << "seeded from the program folder";
    }
    EXPECT_EQ(ReadBytes(shipped), shippedBytes);
}

TEST_F(ProgramLifeTest, WithoutATrayHostMinimisingAndAHiddenStartLeaveAWindowTheDesktopLists)
{
    WriteSettings("<Autoplay>0</Autoplay><MinimizeToTray>1</MinimizeToTray>");
    StartProgram();
    const QString window = WaitForWindow(program, 20000);
    ASSERT_FALSE(window.isEmpty());
    RunTool("xdotool",
        { "mousemove", "--window", window, QString::number(kMinimizeButton.x()), QString::number(kMinimizeButton.y()),
            "click", "1" });
    PumpFor(1500);
    EXPECT_FALSE(Windows({ "--pid", QString::number(program.processId()) }).isEmpty())
        << "the minimise button left no window";

    // A start that hands over raises the player and ends unseen.
    Launch(second, { "/reuse" });
    bool shown = false;
    ASSERT_TRUE(WaitForEnd(second, 15000, &shown));
    EXPECT_FALSE(shown);
    EXPECT_FALSE(Windows({ "--pid", QString::number(program.processId()) }).isEmpty());
    CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
    ASSERT_TRUE(WaitForEnd(program, 10000));

    StartProgram({ "/hidden" });
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty()) << "a hidden start is minimised, not gone";
    PumpFor(1500);
    EXPECT_FALSE(Windows({ "--pid", QString::number(program.processId()) }).isEmpty());
    CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
    ASSERT_TRUE(WaitForEnd(program, 10000));
}

} // namespace
