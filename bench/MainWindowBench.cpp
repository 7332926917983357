// The main window as a user meets it, on the offscreen platform: from creating the window to seeing it
// (with the shipped catalogue in the program folder), from a play request to "playing" on a loopback
// Icecast station, and the resident memory while it plays with the catalogue loaded.
#include "bench/BenchApplication.h"
#include "core/ErrorLog.h"
#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"
#include "core/ServerHosts.h"
#include "core/XMLSettings.h"
#include "ui/app/KavriluneApp.h"
#include "ui/mainwindow/KavriluneDlg.h"
#include "ui/mainwindow/PlaybackControl.h"
#include "ui/skin/WindowFader.h"
#include "ui/stationlist/StationsListCtrl.h"

#include "audio/RadioPlayer.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <memory>
#include <unistd.h>

namespace
{

void EnsureApplication()
{
    if (QApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    bench::EnsureApplication("MainWindowBench");
    CKavriluneApp::InstallScreenDensity();
    CWindowFader::SetDurationOverride(0);
    static QTemporaryDir locks;
    CNamedMutex::SetFolderOverride(locks.path());
    CInstanceMessenger::SetFolderOverride(locks.path());
    CInstanceLock::SetSharedMemoryNameOverride(QStringLiteral("/kavrilune-bench-%1").arg(getpid()));
    // Song titles are looked up nowhere but on loopback.
    SetImageHostOverride(QStringLiteral("http://127.0.0.1:9"));
}

// A copy of the staged program folder, with its shipped catalogue, skins and icons.
class ProgramFolder
{
public:
    explicit ProgramFolder(const QString& settings)
    {
        testing_support::CopyFolder(QStringLiteral(KAVRILUNE_BENCH_BINARY_DIR "/Kavrilune"), m_dir.path());
        QFile file(m_dir.path() + "/Kavrilune.xml");
        file.open(QIODevice::WriteOnly);
        file.write(("<?xml version=\"1.0\"?><XMLConfigSettings><General><Check_updates>0</Check_updates>" + settings
            + "</General></XMLConfigSettings>")
                       .toUtf8());
        SetAppFolderOverride(m_dir.path());
    }
    ~ProgramFolder() { SetAppFolderOverride(QString()); }

private:
    QTemporaryDir m_dir;
};

std::unique_ptr<CKavriluneDlg> StartWindow()
{
    auto window = std::make_unique<CKavriluneDlg>();
    window->OnInitDialog();
    testing_support::PumpUntil([&] { return window->isVisible(); }, 10000);
    return window;
}

// A "Name:   123 kB" line of /proc/self/status, in KiB.
long StatusKiB(const QByteArray& name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLong();
    return 0;
}

long ResidentKiB()
{
    return StatusKiB("VmRSS");
}

// From creating the window to its first showing (the start-up's own 250 ms pause included), and on
// to the list's first rows from the shipped catalogue.
void BM_StartUpToWindowShown(benchmark::State& state)
{
    EnsureApplication();
    double listMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ProgramFolder folder(QStringLiteral("<Autoplay>0</Autoplay>"));
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<CKavriluneDlg> window = StartWindow();
        const double shownMs = clock.nsecsElapsed() / 1e6;
        testing_support::PumpUntil([&] { return window->Controls().list->GetVisibleCount() > 0; }, 20000);
        listMs += clock.nsecsElapsed() / 1e6;
        state.SetIterationTime(shownMs / 1000.0);
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.counters["list_filled_ms"] = benchmark::Counter(listMs / double(state.iterations()));
}
BENCHMARK(BM_StartUpToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Records when each player reports "playing".
class PlayingWatcher : public QObject
{
public:
    explicit PlayingWatcher(QObject* window) { window->installEventFilter(this); }
    int playing = 0;
    QElapsedTimer clock; // from the request
    double connectingMs = 0;
    double playingMs = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (WindowMessage* message = AsWindowMessage(event); message && message->message() == PlayerStatusMessage()) {
            if (message->wParam == PlayerStatusConnecting)
                connectingMs = clock.nsecsElapsed() / 1e6;
            if (message->wParam == PlayerStatusPlaying) {
                playingMs = clock.nsecsElapsed() / 1e6;
                ++playing;
            }
        }
        return false;
    }
};

// From a play request to the new player's "playing" on a loopback Icecast station, which sends its
// burst at once; the previous player is stopped without a crossfade in between.
void BM_PlayRequestToPlaying(benchmark::State& state)
{
    EnsureApplication();
    testing_support::IcecastServer server;
    if (!server.IsRunning() || !server.StartSource(QStringLiteral("/live"))) {
        state.SkipWithError("Icecast could not be started");
        return;
    }
    ProgramFolder folder(QStringLiteral("<Autoplay>0</Autoplay><Crossfade>0</Crossfade>"));
    std::unique_ptr<CKavriluneDlg> window = StartWindow();
    PlayingWatcher watcher(window.get());
    const QString url = server.Url(QStringLiteral("/live"));
    // Icecast's burst for new listeners fills while the source runs.
    testing_support::PumpFor(5000);
    double toConnecting = 0;
    double connecting = 0;
    for (auto _ : state) {
        const int before = watcher.playing;
        QElapsedTimer clock;
        clock.start();
        watcher.clock.start();
        window->Playback().OnDropText(url);
        testing_support::PumpUntil([&] { return watcher.playing > before; }, 10000);
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        toConnecting += watcher.connectingMs;
        connecting += watcher.playingMs - watcher.connectingMs;
        state.PauseTiming();
        window->Playback().OnStop();
        testing_support::PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000);
        state.ResumeTiming();
    }
    // Where the time goes: device set-up before the connection, then the stream's connection.
    state.counters["to_connecting_ms"] = benchmark::Counter(toConnecting / double(state.iterations()));
    state.counters["connecting_ms"] = benchmark::Counter(connecting / double(state.iterations()));
}
BENCHMARK(BM_PlayRequestToPlaying)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Resident memory of the whole process while a loopback station plays and the list shows the whole
// shipped catalogue.
void BM_ResidentMemoryWhilePlaying(benchmark::State& state)
{
    EnsureApplication();
    testing_support::IcecastServer server;
    if (!server.IsRunning() || !server.StartSource(QStringLiteral("/live"))) {
        state.SkipWithError("Icecast could not be started");
        return;
    }
    ProgramFolder folder(QStringLiteral("<Autoplay>1</Autoplay><Station_URL>") + server.Url(QStringLiteral("/live"))
        + QStringLiteral("</Station_URL>"));
    const long beforeKiB = ResidentKiB();
    std::unique_ptr<CKavriluneDlg> window = StartWindow();
    testing_support::PumpUntil([&] { return window->Controls().list->GetVisibleCount() > 0; }, 20000);
    const long listedKiB = ResidentKiB();
    const int stations = window->Controls().list->GetVisibleCount();
    testing_support::PumpFor(5000);
    long kib = 0;
    for (auto _ : state)
        kib = ResidentKiB();
    state.counters["resident_MiB"] = benchmark::Counter(kib / 1024.0);
    // Where it is: pages of the program's own (heap, stacks, images) and pages of mapped files (the
    // libraries' code and data, fonts), and of the former what the allocator has handed out.
    state.counters["anonymous_MiB"] = benchmark::Counter(StatusKiB("RssAnon") / 1024.0);
    state.counters["files_MiB"] = benchmark::Counter(StatusKiB("RssFile") / 1024.0);
    const struct mallinfo2 heap = mallinfo2();
    state.counters["heap_in_use_MiB"] = benchmark::Counter(double(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0));
    state.counters["before_window_MiB"] = benchmark::Counter(beforeKiB / 1024.0);
    state.counters["listed_MiB"] = benchmark::Counter(listedKiB / 1024.0);
    state.counters["stations"] = benchmark::Counter(stations);
    state.counters["playing"] = benchmark::Counter(window->Radio().IsPlaying() ? 1 : 0);
}
BENCHMARK(BM_ResidentMemoryWhilePlaying)->Iterations(1);

} // namespace
