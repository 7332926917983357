// The soaks run by scripts/soak.
//
//   kavrilune_radio_soak --minutes N [--warmup-minutes W]
//       Against a loopback Icecast whose sources stop and restart, plays, switches stations with
//       crossfade, records and stops every few seconds for N minutes, then reports resident memory
//       (after the warm-up, at the end, slope per hour), descriptors, threads and the error-log lines.
//   kavrilune_radio_soak --program <staged program folder> --minutes N [--warmup-minutes W]
//       The same cycle against the running program, through its command-line hand-over and its hot
//       keys (ProgramSoak); the figures are the program process's.
//   kavrilune_radio_soak --exit-rounds N
//       The exit soak: N fresh processes that each play with crossfade and then run the exit sequence
//       (stop with a fade, wait for the players at most the exit bound, release the audio library).
//   kavrilune_radio_soak --exit-round <url> <url>
//       One round of the exit soak (started by --exit-rounds).
//
// The engine soak drives the radio manager, with a stand-in for the main window that deletes finished
// players, as the window does.
//
// Exit status 0 when every limit held, 1 when one did not, 2 on a set-up failure.

#include "audio/RadioManager.h"
#include "core/ErrorLog.h"
#include "core/WindowMessage.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/helpers/ProgramSoak.h"
#include "tests/support/helpers/SoakCycle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <map>

using namespace testing_support;

namespace
{

constexpr int kWatchdogMs = 4000; // the main window's watchdog timer
constexpr int kIdleWaitMs = 15000; // for the players of a cycle to finish after the last stop
constexpr int kExitBoundMs = 5000; // the exit routine waits at most this long for the players
constexpr int kExitPollMs = 100;
constexpr int kReleaseMs = 1000; // for releasing the audio library after the exit routine's wait

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

// The soak's steps through the radio manager.
soak::SoakActions ManagerActions(CRadioManager& manager)
{
    soak::SoakActions actions;
    actions.play = [&manager](const QString& name, const QString& url) {
        CStationItem station;
        station.SetTitle(name);
        station.AddSource(url);
        manager.PlayStation(station, false, false);
    };
    actions.startRecording
        = [&manager] { manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 128, false); };
    actions.playAndRecord = [actions](const QString& name, const QString& url) {
        actions.play(name, url);
        actions.startRecording();
    };
    actions.stopRecording = [&manager] { manager.StopRecording(true, false); };
    actions.stop = [&manager] { manager.Stop(true, false); };
    actions.run = [](int ms) { PumpFor(ms); };
    actions.waitUntilIdle
        = [&manager] { return PumpUntil([&] { return manager.GetPlayerCount() == 0; }, kIdleWaitMs); };
    actions.measure = [](const QElapsedTimer& clock) { return soak::Measure(QStringLiteral("/proc/self"), clock); };
    return actions;
}

int RunSoak(double minutes, double warmupMinutes)
{
    TempProgramFolder folder;
    InitErrorLog();
    IcecastServer server;
    if (!soak::StartSources(server, "soak"))
        return 2;

    CRadioManager manager;
    StatusWindow window(manager);
    manager.SetNotifyWindow(&window);
    manager.SetPlayerOptions(0, true, 0, 2000, false, true);
    manager.SetVolume(80);
    soak::SoakActions actions = ManagerActions(manager);

    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &window, [&manager] { manager.OnWatchdogTick(); });
    watchdog.start(kWatchdogMs);
    const soak::SoakRun run = soak::RunCycles(actions, server, QStringLiteral("/mp3"), QStringLiteral("/ogg"),
        folder.FilePath(QStringLiteral("Recordings")), minutes, warmupMinutes);
    watchdog.stop();
    ShutdownAudio();

    const bool ok = soak::ReportRun("soak", run, warmupMinutes, folder.LogEntries());
    std::printf("soak: statuses:");
    for (const auto& [code, count] : window.codes)
        std::printf(" %d:%d", code, count);
    std::printf("\n");
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
        soak::SoakActions soak = ManagerActions(manager);

        soak.play(QStringLiteral("First"), first);
        if (!PumpUntil([&] { return window.lastPlaying != nullptr; }, 15000)) {
            QStringList seen;
            for (const auto& [code, count] : window.codes)
                seen.append(QStringLiteral("%1x%2").arg(code).arg(count));
            std::fprintf(
                stderr, "exit round: the first station did not play (statuses %s)\n", qPrintable(seen.join(u' ')));
            for (const QString& line : folder.LogEntries())
                std::fprintf(stderr, "log: %s\n", qPrintable(line));
            return 2;
        }
        // Exit while the second station fades in over the first.
        soak.play(QStringLiteral("Second"), second);
        PumpFor(1000);

        exitClock.start();
        manager.BlockPlay();
        soak.stop();
        while (manager.GetPlayerCount() > 0 && exitClock.elapsed() < kExitBoundMs)
            PumpFor(kExitPollMs);
        left = manager.GetPlayerCount();
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
    if (!soak::StartSources(server, "soak"))
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
    QStringList args = app.arguments();
    QString programFolder;
    if (args.size() >= 3 && args.at(1) == QLatin1String("--program")) {
        programFolder = args.at(2);
        args.remove(1, 2);
    }
    if (args.size() >= 3 && args.at(1) == QLatin1String("--minutes")) {
        const double minutes = args.at(2).toDouble();
        double warmup = std::min(2.0, minutes / 5.0);
        if (args.size() >= 5 && args.at(3) == QLatin1String("--warmup-minutes"))
            warmup = args.at(4).toDouble();
        return programFolder.isEmpty() ? RunSoak(minutes, warmup) : ProgramSoak(programFolder).Run(minutes, warmup);
    }
    if (args.size() >= 3 && args.at(1) == QLatin1String("--exit-rounds"))
        return RunExitRounds(args.at(2).toInt());
    if (args.size() >= 4 && args.at(1) == QLatin1String("--exit-round"))
        return RunExitRound(args.at(2), args.at(3));
    std::fprintf(stderr,
        "usage: %s [--program <staged program folder>] --minutes N [--warmup-minutes W] | --exit-rounds N | "
        "--exit-round <url> <url>\n",
        argv[0]);
    return 2;
}
