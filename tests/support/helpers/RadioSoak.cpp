// The soak of the audio engine, run by scripts/soak.
//
//   kavrilune_radio_soak --minutes N [--warmup-minutes W]
//       Against a loopback Icecast whose sources stop and restart, plays, switches stations with
//       crossfade, records and stops every few seconds for N minutes, then reports resident memory
//       (after the warm-up, at the end, slope per hour), descriptors, threads and the error-log lines.
//   kavrilune_radio_soak --exit-rounds N
//       The exit soak: N fresh processes that each play with crossfade and then run the exit sequence
//       (stop with a fade, wait for the players at most the exit bound, release the audio library).
//   kavrilune_radio_soak --exit-round <url> <url>
//       One round of the exit soak (started by --exit-rounds).
//
// The engine is driven through the radio manager, with a stand-in for the main window that deletes
// finished players, as the window does. The steps go through SoakActions: once the program's main
// window exists, the same steps can be sent to a running program through its command-line hand-over
// by filling SoakActions from there instead of from the manager.
//
// Exit status 0 when every limit held, 1 when one did not, 2 on a set-up failure.

#include "audio/RadioManager.h"
#include "core/ErrorLog.h"
#include "core/WindowMessage.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

using namespace testing_support;

namespace
{

constexpr int kStepMs = 3000;
constexpr int kWatchdogMs = 4000; // the main window's watchdog timer
constexpr int kIdleWaitMs = 15000; // for the players of a cycle to finish after the last stop
constexpr int kExitBoundMs = 5000; // the exit routine waits at most this long for the players
constexpr int kExitPollMs = 100;
constexpr int kReleaseMs = 1000; // for releasing the audio library after the exit routine's wait
constexpr double kRssSlopeLimitMbPerHour = 5.0;

// The main window's part for the players: a finished player is handed back to the manager.
class StatusWindow : public QObject
{
public:
    explicit StatusWindow(CRadioManager& manager)
        : m_manager(manager)
    {
    }

    bool event(QEvent* event) override
    {
        WindowMessage* message = AsWindowMessage(event);
        if (!message || message->message() != PlayerStatusMessage())
            return QObject::event(event);
        const int code = int(message->wParam);
        ++codes[code];
        if (code == PlayerStatusFinished)
            m_manager.DeletePlayer(reinterpret_cast<RadioPlayer*>(message->lParam));
        if (code == PlayerStatusPlaying)
            lastPlaying = reinterpret_cast<RadioPlayer*>(message->lParam);
        return true;
    }

    std::map<int, int> codes; // how often each status came
    RadioPlayer* lastPlaying = nullptr;

private:
    CRadioManager& m_manager;
};

// What the soak does to the player. Filled from the radio manager today.
struct SoakActions {
    std::function<void(const QString& name, const QString& url)> play;
    std::function<void()> startRecording;
    std::function<void()> stopRecording;
    std::function<void()> stop;
    std::function<int()> playerCount;
};

SoakActions ManagerActions(CRadioManager& manager)
{
    SoakActions actions;
    actions.play = [&manager](const QString& name, const QString& url) {
        CStationItem station;
        station.SetTitle(name);
        station.AddSource(url);
        manager.PlayStation(station, false, false);
    };
    actions.startRecording
        = [&manager] { manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 128, false); };
    actions.stopRecording = [&manager] { manager.StopRecording(true, false); };
    actions.stop = [&manager] { manager.Stop(true, false); };
    actions.playerCount = [&manager] { return manager.GetPlayerCount(); };
    return actions;
}

struct Sample {
    double minutes;
    double rssMb;
    int descriptors;
    int threads;
};

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

int EntriesIn(const char* folder)
{
    return int(QDir(QString::fromLatin1(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

Sample Measure(const QElapsedTimer& clock)
{
    return { double(clock.elapsed()) / 60000.0, ResidentMb(), EntriesIn("/proc/self/fd"),
        EntriesIn("/proc/self/task") };
}

// Least-squares slope of resident memory over time, in MB per hour.
double SlopePerHour(const std::vector<Sample>& samples)
{
    if (samples.size() < 2)
        return 0.0;
    double meanT = 0, meanR = 0;
    for (const Sample& s : samples) {
        meanT += s.minutes / 60.0;
        meanR += s.rssMb;
    }
    meanT /= double(samples.size());
    meanR /= double(samples.size());
    double covariance = 0, variance = 0;
    for (const Sample& s : samples) {
        covariance += (s.minutes / 60.0 - meanT) * (s.rssMb - meanR);
        variance += (s.minutes / 60.0 - meanT) * (s.minutes / 60.0 - meanT);
    }
    return variance > 0 ? covariance / variance : 0.0;
}

bool StartServer(IcecastServer& server)
{
    IcecastSourceOptions ogg;
    ogg.format = IcecastFormat::OggVorbis;
    ogg.frequencyHz = 660;
    if (!server.IsRunning() || !server.StartSource(QStringLiteral("/mp3"))
        || !server.StartSource(QStringLiteral("/ogg"), ogg)) {
        std::fprintf(stderr, "soak: Icecast did not start: %s\n", qPrintable(server.Error()));
        return false;
    }
    return true;
}

int RunSoak(double minutes, double warmupMinutes)
{
    TempProgramFolder folder;
    InitErrorLog();
    IcecastServer server;
    if (!StartServer(server))
        return 2;
    const QString mp3 = server.Url(QStringLiteral("/mp3"));
    const QString ogg = server.Url(QStringLiteral("/ogg"));

    CRadioManager manager;
    StatusWindow window(manager);
    manager.SetNotifyWindow(&window);
    manager.SetPlayerOptions(0, true, 0, 2000, false, true);
    manager.SetVolume(80);
    SoakActions soak = ManagerActions(manager);

    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &window, [&manager] { manager.OnWatchdogTick(); });
    watchdog.start(kWatchdogMs);

    int cycles = 0;
    // One cycle: two stations with crossfade between them, a re-encoded and a raw recording across a
    // title change, the MP3 source going away under the player and coming back, and a stop with fade-out.
    const std::vector<std::function<void()>> steps = {
        [&] { soak.play(QStringLiteral("MP3 station"), mp3); },
        [&] { soak.play(QStringLiteral("Ogg station"), ogg); },
        [&] { soak.startRecording(); },
        [&] { soak.stopRecording(); },
        [&] {
            soak.play(QStringLiteral("MP3 station"), mp3);
            soak.startRecording();
            server.SetTitle(QStringLiteral("/mp3"), QStringLiteral("Soak - Cycle %1").arg(cycles + 1));
        },
        [&] { server.StopSource(QStringLiteral("/mp3")); },
        [&] { server.RestartSource(QStringLiteral("/mp3")); },
        [&] {
            soak.stopRecording();
            soak.stop();
        },
    };

    QElapsedTimer clock;
    clock.start();
    std::vector<Sample> afterWarmup;
    Sample first {};
    bool playersLeft = false;
    while (double(clock.elapsed()) / 60000.0 < minutes) {
        for (const auto& step : steps) {
            step();
            PumpFor(kStepMs);
        }
        if (!PumpUntil([&] { return soak.playerCount() == 0; }, kIdleWaitMs))
            playersLeft = true;
        QDir(folder.FilePath(QStringLiteral("Recordings"))).removeRecursively();
        ++cycles;
        const Sample sample = Measure(clock);
        if (cycles == 1)
            first = sample;
        if (sample.minutes >= warmupMinutes)
            afterWarmup.push_back(sample);
        std::printf("cycle %d at %.1f min: rss %.1f MB, %d descriptors, %d threads\n", cycles, sample.minutes,
            sample.rssMb, sample.descriptors, sample.threads);
        std::fflush(stdout);
    }
    watchdog.stop();
    ShutdownAudio();

    const QStringList logLines = folder.LogEntries();
    if (afterWarmup.empty())
        afterWarmup.push_back(Measure(clock));
    const Sample& warm = afterWarmup.front();
    const Sample& last = afterWarmup.back();
    int maxDescriptors = 0, maxThreads = 0;
    for (const Sample& s : afterWarmup) {
        maxDescriptors = std::max(maxDescriptors, s.descriptors);
        maxThreads = std::max(maxThreads, s.threads);
    }
    const double slope = SlopePerHour(afterWarmup);

    std::printf("\nsoak: %d cycles in %.1f minutes (warm-up %.1f minutes)\n", cycles, last.minutes, warmupMinutes);
    std::printf(
        "soak: first cycle: rss %.1f MB, %d descriptors, %d threads\n", first.rssMb, first.descriptors, first.threads);
    std::printf("soak: rss after warm-up %.1f MB, at the end %.1f MB, slope %.2f MB per hour (limit %.1f)\n",
        warm.rssMb, last.rssMb, slope, kRssSlopeLimitMbPerHour);
    std::printf("soak: descriptors after warm-up %d, at the end %d, most %d\n", warm.descriptors, last.descriptors,
        maxDescriptors);
    std::printf("soak: threads after warm-up %d, at the end %d, most %d\n", warm.threads, last.threads, maxThreads);
    std::printf("soak: statuses:");
    for (const auto& [code, count] : window.codes)
        std::printf(" %d:%d", code, count);
    std::printf("\nsoak: %lld error-log lines\n", static_cast<long long>(logLines.size()));
    for (const QString& line : logLines)
        std::printf("  %s\n", qPrintable(line));

    bool ok = true;
    auto fail = [&ok](const char* why) {
        std::printf("soak: FAILED: %s\n", why);
        ok = false;
    };
    if (slope >= kRssSlopeLimitMbPerHour)
        fail("resident memory grows");
    if (last.descriptors > warm.descriptors)
        fail("descriptors grow");
    if (last.threads > warm.threads)
        fail("threads grow");
    if (!logLines.isEmpty())
        fail("error-log lines");
    if (playersLeft)
        fail("players still alive after a cycle's stop");
    return ok ? 0 : 1;
}

// One start-play-exit of the program, as far as the audio engine takes part in it: the exit routine
// stops the manager with a fade-out and waits for its players at most the exit bound; then the
// library is released and the manager and the window go, whatever players are still fading.
int RunExitRound(const QString& first, const QString& second)
{
    TempProgramFolder folder;
    InitErrorLog();
    QElapsedTimer exitClock;
    int left = 0;
    {
        CRadioManager manager;
        StatusWindow window(manager);
        manager.SetNotifyWindow(&window);
        manager.SetPlayerOptions(0, true, 0, 2000, false, false);
        SoakActions soak = ManagerActions(manager);

        soak.play(QStringLiteral("First"), first);
        if (!PumpUntil([&] { return window.lastPlaying != nullptr; }, 15000)) {
            std::fprintf(stderr, "exit round: the first station did not play\n");
            return 2;
        }
        // Exit while the second station fades in over the first.
        soak.play(QStringLiteral("Second"), second);
        PumpFor(1000);

        exitClock.start();
        manager.BlockPlay();
        soak.stop();
        while (soak.playerCount() > 0 && exitClock.elapsed() < kExitBoundMs)
            PumpFor(kExitPollMs);
        left = soak.playerCount();
        ShutdownAudio();
    }
    const qint64 exitMs = exitClock.elapsed();
    std::printf("exit-ms: %lld players-left: %d\n", static_cast<long long>(exitMs), left);
    const QStringList logLines = folder.LogEntries();
    for (const QString& line : logLines)
        std::printf("log: %s\n", qPrintable(line));
    CloseErrorLog();
    return logLines.isEmpty() && exitMs <= kExitBoundMs + kReleaseMs ? 0 : 1;
}

int RunExitRounds(int rounds)
{
    IcecastServer server;
    if (!StartServer(server))
        return 2;
    int failed = 0;
    int cutShort = 0;
    qint64 slowest = 0;
    for (int round = 1; round <= rounds; ++round) {
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--exit-round"), server.Url(QStringLiteral("/mp3")), server.Url(QStringLiteral("/ogg")) });
        const bool ended = child.waitForFinished(60000);
        const QString output = QString::fromUtf8(child.readAll());
        const QRegularExpressionMatch match
            = QRegularExpression(QStringLiteral("exit-ms: (\\d+) players-left: (\\d+)")).match(output);
        const qint64 exitMs = match.hasMatch() ? match.captured(1).toLongLong() : -1;
        const int left = match.hasMatch() ? match.captured(2).toInt() : -1;
        slowest = std::max(slowest, exitMs);
        if (left > 0)
            ++cutShort;
        const bool ok = ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
        std::printf("exit round %d: %s, exit took %lld ms, %d players still fading\n", round, ok ? "ok" : "FAILED",
            static_cast<long long>(exitMs), left);
        if (!ok) {
            ++failed;
            std::printf("%s\n", qPrintable(output));
            if (!ended)
                child.kill();
        }
        std::fflush(stdout);
    }
    std::printf("\nexit soak: %d of %d rounds failed; slowest exit %lld ms (bound %d ms + %d ms to release the "
                "library); %d rounds left a player fading at the bound\n",
        failed, rounds, static_cast<long long>(slowest), kExitBoundMs, kReleaseMs, cutShort);
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args.at(1) == QLatin1String("--minutes")) {
        const double minutes = args.at(2).toDouble();
        double warmup = std::min(2.0, minutes / 5.0);
        if (args.size() >= 5 && args.at(3) == QLatin1String("--warmup-minutes"))
            warmup = args.at(4).toDouble();
        return RunSoak(minutes, warmup);
    }
    if (args.size() >= 3 && args.at(1) == QLatin1String("--exit-rounds"))
        return RunExitRounds(args.at(2).toInt());
    if (args.size() >= 4 && args.at(1) == QLatin1String("--exit-round"))
        return RunExitRound(args.at(2), args.at(3));
    std::fprintf(
        stderr, "usage: %s --minutes N [--warmup-minutes W] | --exit-rounds N | --exit-round <url> <url>\n", argv[0]);
    return 2;
}
