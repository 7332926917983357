// The real program playing to a sound server of the test's own whose sink or whole self goes away while
// it plays and comes back on the same address: what the desktop sees of it meanwhile, and what is heard.

#include "tests/ui/support/ProgramOnBus.h"

#include "tests/support/SoundServer.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace
{

using ui_testing::ProgramOnBusTest;

const QString kIdleTitle = QStringLiteral("Kavri? Lune!");
const QString kStation = QStringLiteral("Server FM");
constexpr int kRate = 44100;

class ProgramSoundServerTest : public ProgramOnBusTest
{
protected:
    void SetUp() override
    {
        if (!SoundServer::Available())
            GTEST_SKIP() << SoundServer::Missing();
        ProgramOnBusTest::SetUp();
    }
    void TearDown() override
    {
        ProgramOnBusTest::TearDown();
        unsetenv("PULSE_SERVER");
        unsetenv("PULSE_CLIENTCONFIG");
    }

    // What the program gets to play to the server: no SDL driver chosen, the server's address.
    QProcessEnvironment SoundEnvironment() const
    {
        QProcessEnvironment environment = busEnvironment;
        environment.remove("SDL_AUDIODRIVER");
        environment.insert("PULSE_SERVER", QString::fromStdString(server.Address()));
        environment.insert("PULSE_CLIENTCONFIG", QString::fromLocal8Bit(std::getenv("PULSE_CLIENTCONFIG")));
        return environment;
    }
    QString PlaybackStatus()
    {
        return RunTool("dbus-send",
            { "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.Kavrilune", "/org/mpris/MediaPlayer2",
                "org.freedesktop.DBus.Properties.Get", "string:org.mpris.MediaPlayer2.Player",
                "string:PlaybackStatus" },
            busEnvironment);
    }
    // The Play button as the window shows it.
    QImage PlayButton() { return Grab(window).copy(QRect(175, 269, 40, 40)); }
    // Whether the caption, the media controls or the Play button (in its Stop look) say that the
    // station plays.
    bool AnyViewSaysPlaying()
    {
        return PlaybackStatus().contains("\"Playing\"") || !Windows({ "--name", "^" + kStation + "$" }).isEmpty()
            || PlayButton() == stopLook;
    }
    bool EveryViewSaysPlaying()
    {
        return PlaybackStatus().contains("\"Playing\"") && !Windows({ "--name", "^" + kStation + "$" }).isEmpty()
            && Windows({ "--name", "^" + QRegularExpression::escape(kIdleTitle) + "$" }).isEmpty()
            && PlayButton() == stopLook;
    }
    // Waits until the server's monitor carries a quarter of a second of the station's tone; the time
    // that took in ms, or -1. A recording of the monitor that ends early (a server just started again
    // may drop it) is made anew.
    qint64 WaitForSound(int ms)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            MonitorRecorder monitor(server.Address());
            size_t from = 0;
            while (monitor.Started() && waited.elapsed() < ms && monitor.WaitForFrames(from + kRate / 4, 2000)) {
                if (LoudFrames(monitor.Left(from, kRate / 4)) > size_t(kRate / 5))
                    return waited.elapsed();
                from += kRate / 4;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }

    SoundServer server;
    QString window;
    QImage stopLook;
};

TEST_F(ProgramSoundServerTest, WhileTheServerOrItsSinkIsAwayNoViewSaysPlayingAndOnTheirReturnTheStationIsHeard)
{
    std::string reason;
    ASSERT_TRUE(server.Start(reason)) << reason;
    ASSERT_NO_FATAL_FAILURE(StartStationAndBus());
    ASSERT_NO_FATAL_FAILURE(StartPlaying(kStation, SoundEnvironment()));
    window = WaitForWindow(program, 10000);
    ASSERT_FALSE(window.isEmpty());
    stopLook = PlayButton();
    ASSERT_FALSE(stopLook.isNull());
    ASSERT_TRUE(PumpUntil([&] { return EveryViewSaysPlaying(); }, 10000));
    ASSERT_GE(WaitForSound(10000), 0) << "the station is heard at the server";

    // The server killed for a short time and for longer than the watchdog's half minute of silence;
    // the playing sink unloaded (PipeWire moves the stream to a stand-in sink instead: it plays on).
    const auto kill = [&] { server.Kill(); };
    const auto start = [&] { ASSERT_TRUE(server.Start(reason)) << reason; };
    const auto unload = [&] { EXPECT_EQ(server.Control({ "unload-module", "module-null-sink" }), 0); };
    const auto load = [&] {
        EXPECT_EQ(
            server.Control({ "load-module", "module-null-sink", "sink_name=probe", "rate=44100", "channels=2" }), 0);
        EXPECT_EQ(server.Control({ "set-default-sink", "probe" }), 0);
    };
    struct Absence {
        const char* what;
        std::function<void()> takeAway, bringBack;
        int ms;
    };
    std::vector<Absence> absences { { "server killed", kill, start, 5000 }, { "server killed", kill, start, 40000 } };
    if (!SoundServer::PipeWire())
        absences.push_back({ "sink unloaded", unload, load, 5000 });
    for (const auto& [what, takeAway, bringBack, absenceMs] : absences) {
        SCOPED_TRACE(std::string(what) + " for " + std::to_string(absenceMs) + " ms");
        takeAway();
        QElapsedTimer away;
        away.start();
        // Nothing is heard meanwhile: within a few seconds no view may say otherwise, and none may start
        // saying it again before the sound is back. The media controls' Play, pressed meanwhile, tries
        // at once and leaves the station to come back by itself.
        qint64 seen = -1;
        bool claimed = false;
        bool pressed = false;
        PumpUntil(
            [&] {
                const bool playing = AnyViewSaysPlaying();
                if (!playing && seen < 0)
                    seen = away.elapsed();
                claimed = claimed || (playing && seen >= 0);
                if (!pressed && away.elapsed() >= absenceMs / 2) {
                    pressed = true;
                    RunTool("dbus-send",
                        { "--session", "--dest=org.mpris.MediaPlayer2.Kavrilune", "/org/mpris/MediaPlayer2",
                            "org.mpris.MediaPlayer2.Player.Play" },
                        busEnvironment);
                }
                return away.elapsed() >= absenceMs;
            },
            absenceMs + 10000);
        EXPECT_GE(seen, 0) << "the views said playing all the time the sound was away";
        EXPECT_LT(seen, 4000) << "the views followed the loss only after " << seen << " ms";
        EXPECT_FALSE(claimed) << "a view said playing again while the sound was away";

        ASSERT_NO_FATAL_FAILURE(bringBack());
        const qint64 heard = WaitForSound(15000);
        EXPECT_GE(heard, 0) << "the station is not heard after the sound's return";
        EXPECT_TRUE(PumpUntil([&] { return EveryViewSaysPlaying(); }, 10000)) << "playing again";
        std::fprintf(stderr,
            "%s for %d ms: every view stopped saying playing after %lld ms; sound %lld ms after its return\n", what,
            absenceMs, static_cast<long long>(seen), static_cast<long long>(heard));
    }

    CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
    EXPECT_TRUE(WaitForEnd(program, 15000));
}

} // namespace
