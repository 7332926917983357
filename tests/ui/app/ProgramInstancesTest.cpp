// Several real instances on one virtual display: the hand-over of a command line, ending them all,
// the duration limit, the global hot keys and the desktop's media controls.

#include "tests/ui/support/ProgramOnBus.h"

#include "tests/support/IcecastServer.h"
#include "tests/support/LoopbackHttpServer.h"

#include <QImage>

using namespace testing_support;

namespace
{

using ui_testing::ProgramOnBusTest;

const QString kIdleTitle = QStringLiteral("Kavri? Lune!");

class ProgramInstancesTest : public ProgramOnBusTest
{
protected:
    void EndProgram(QProcess& process)
    {
        CInstanceMessenger::SendInstanceMessage(process.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
        EXPECT_TRUE(WaitForEnd(process, 10000));
    }
};

TEST_F(ProgramInstancesTest, AReuseStartHandsItsLineToTheRunningInstanceAndEndsUnseen)
{
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/x"));
    WriteSettings("<Autoplay>0</Autoplay>");
    StartProgram();
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());

    const QString url = server.Url("/x");
    Launch(second, { "/reuse", "/play", "/source=" + url, "/station=T t" });
    bool shown = false;
    ASSERT_TRUE(WaitForEnd(second, 40000, &shown)) << "the second start ends once the first took its line";
    EXPECT_FALSE(shown);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitForTitle("T t", 20000)) << "the running instance plays the station under its title";
    CInstanceLock reader;
    EXPECT_EQ(reader.GetCommandText(), Program("kavrilune") + " /play /source=" + url + " /station=\"T t\"");

    // A line ending in "/reuse" arrives without it.
    Launch(third, { "/play", "/reuse" });
    ASSERT_TRUE(WaitForEnd(third, 15000));
    EXPECT_EQ(reader.GetCommandText(), Program("kavrilune") + " /play ");
    EndProgram(program);
}

TEST_F(ProgramInstancesTest, AfterTheSecondInstanceIsKilledTheLineGoesToTheFirstAndValuesStayWhole)
{
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/x"));
    const QString url = server.Url("/x");
    WriteSettings("<Autoplay>0</Autoplay>");
    StartProgram({ "/play", "/source=" + url, "/station=Own \"Quoted\" Title" });
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
    EXPECT_TRUE(WaitForTitle("Own \"Quoted\" Title", 20000)) << "the own value is read whole";
    Launch(second);
    ASSERT_FALSE(WaitForWindow(second, 20000).isEmpty()) << "the second instance holds slot 2";
    second.kill();
    ASSERT_TRUE(second.waitForFinished(5000));

    Launch(third, { "/reuse", "/play", "/source=" + url, "/station=Radio \"Blue\" Night" });
    bool shown = false;
    ASSERT_TRUE(WaitForEnd(third, 15000, &shown));
    EXPECT_FALSE(shown) << "the start handed its line over";
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_TRUE(WaitForTitle("Radio \"Blue\" Night", 20000)) << "the first instance plays the handed-over station";
    EndProgram(program);
}

TEST_F(ProgramInstancesTest, HandOversFourAtATimeLoseNoStationAndAForeignMessageCrashesNothing)
{
    WriteSettings("<Autoplay>0</Autoplay>");
    StartProgram();
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());

    // A drop message from outside would be a pointer into the program: it is refused.
    EXPECT_EQ(
        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_DROP_TEXT", 0, 0x41414141, 5000),
        std::nullopt);
    PumpFor(500);
    ASSERT_EQ(program.state(), QProcess::Running);

    // Twenty hand-overs, four at a time, as a file manager opens several links.
    constexpr int kStations = 20;
    auto source = [](int n) { return QStringLiteral("http://127.0.0.1:9/station-%1-end").arg(n); };
    for (int batch = 0; batch < kStations / 4; ++batch) {
        QProcess starts[4];
        for (int i = 0; i < 4; ++i) {
            const int n = batch * 4 + i;
            Launch(starts[i], { "/reuse", "/play", "/source=" + source(n), QStringLiteral("/station=S %1").arg(n) });
        }
        for (QProcess& start : starts) {
            bool shown = false;
            ASSERT_TRUE(WaitForEnd(start, 20000, &shown));
            EXPECT_FALSE(shown) << "every line was taken";
        }
    }
    EndProgram(program);
    const QString saved = QString::fromUtf8(ReadBytes(Program("Kavrilune.xml")));
    for (int n = 0; n < kStations; ++n)
        EXPECT_TRUE(saved.contains(">" + source(n) + "<")) << "station " << n << " is in the saved history";
}

TEST_F(ProgramInstancesTest, TerminateAllEndsEveryInstanceAndThenItself)
{
    WriteSettings("<Autoplay>0</Autoplay>");
    StartProgram();
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
    Launch(second);
    ASSERT_FALSE(WaitForWindow(second, 20000).isEmpty()) << "the second instance holds the other slot";

    Launch(third, { "/TerminateAll" });
    bool shown = false;
    ASSERT_TRUE(WaitForEnd(third, 20000, &shown));
    EXPECT_FALSE(shown);
    EXPECT_EQ(third.exitCode(), 0) << "both slots were taken";
    ASSERT_TRUE(WaitForEnd(program, 10000));
    ASSERT_TRUE(WaitForEnd(second, 10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);
}

TEST_F(ProgramInstancesTest, TheDurationEndsTheProgramAtTheFirstTickPastIt)
{
    WriteSettings("<Autoplay>0</Autoplay>");
    QProcessEnvironment environment = Environment();
    // Ten program seconds to the second: one minute has passed after six, so the tick at eight ends it.
    environment.insert("KAVRILUNE_CLOCK_SCALE", "10");
    Launch(program, { "/duration=1" }, environment);
    ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
    PumpFor(5000);
    EXPECT_EQ(program.state(), QProcess::Running) << "the first tick comes before the minute is over";
    ASSERT_TRUE(WaitForEnd(program, 20000));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramInstancesTest, GlobalHotKeysReachTheProgramThroughItsKeyGrabs)
{
    // A station that keeps connecting: the program plays it until told otherwise.
    LoopbackHttpServer server;
    server.Route("/hot", [](HttpConnection& connection) { connection.Sleep(60000); });
    WriteSettings("<Autoplay>0</Autoplay><GlobalHotkeys>1</GlobalHotkeys><Station_URL>" + server.Url("/hot")
        + "</Station_URL><Station_Title>Hot Keys</Station_Title>");
    StartProgram();
    const QString window = WaitForWindow(program, 20000);
    ASSERT_FALSE(window.isEmpty());
    RunTool("xdotool", { "mousemove", "0", "0" });
    PumpFor(500);

    // The Mute button of the built-in skin changes its look while muted. Its first look is taken once
    // it holds still: on a loaded machine the first paint, or the hover the pointer took away, may lag.
    const QRect mute(48, 274, 30, 30);
    QImage before;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const QImage now = Grab(window).copy(mute);
            const bool settled = !now.isNull() && now == before;
            before = now;
            return settled;
        },
        20000));
    RunTool("xdotool", { "key", "alt+shift+m" });
    EXPECT_TRUE(PumpUntil([&] { return Grab(window).copy(mute) != before; }, 5000)) << "muted";
    RunTool("xdotool", { "key", "alt+shift+m" });
    EXPECT_TRUE(PumpUntil([&] { return Grab(window).copy(mute) == before; }, 5000)) << "unmuted";

    // The Play button shows its stop look while playing.
    const QRect play(175, 269, 40, 40);
    const QImage idle = Grab(window).copy(play);
    RunTool("xdotool", { "key", "alt+shift+p" });
    EXPECT_TRUE(PumpUntil([&] { return Grab(window).copy(play) != idle; }, 5000)) << "playing";
    EndProgram(program);
}

TEST_F(ProgramInstancesTest, TheDesktopsMediaControlsPlayAndStopThroughTheSessionBus)
{
    ASSERT_NO_FATAL_FAILURE(StartStationAndBus());
    const QProcessEnvironment environment = busEnvironment;
    ASSERT_NO_FATAL_FAILURE(StartPlaying("Bus FM", environment));

    const QStringList call { "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.Kavrilune",
        "/org/mpris/MediaPlayer2" };
    auto property = [&](const QString& interface, const QString& name) {
        return RunTool("dbus-send",
            call + QStringList { "org.freedesktop.DBus.Properties.Get", "string:" + interface, "string:" + name },
            environment);
    };
    // The program takes its name on the bus once its window has shown, which may be after the title.
    EXPECT_TRUE(
        PumpUntil([&] { return property("org.mpris.MediaPlayer2", "Identity").contains("\"Kavrilune\""); }, 10000));
    EXPECT_TRUE(property("org.mpris.MediaPlayer2.Player", "PlaybackStatus").contains("\"Playing\""));

    RunTool("dbus-send", call + QStringList { "org.mpris.MediaPlayer2.Player.PlayPause" }, environment);
    EXPECT_TRUE(WaitForTitle(kIdleTitle, 10000)) << "stopped";
    EXPECT_TRUE(property("org.mpris.MediaPlayer2.Player", "PlaybackStatus").contains("\"Stopped\""));
    RunTool("dbus-send", call + QStringList { "org.mpris.MediaPlayer2.Player.PlayPause" }, environment);
    EXPECT_TRUE(WaitForTitle("Bus FM", 20000)) << "playing again";

    EndProgram(program);
}

} // namespace
