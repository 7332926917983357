// CPU time of playing a 128 kbit/s MP3 station from Icecast on loopback for a minute (set
// KAVRILUNE_BENCH_PLAY_SECONDS to change it): once through the audio library alone, once through a
// player started by the manager, with its download callback, syncs, recording DSP and the window's
// 400 ms buffer poll, and once more with the normaliser on and the spectrum drawn every 32 ms.
// Both play on the library's clocked null output; the figures are the process's CPU seconds while
// playing (Icecast and its ffmpeg source run in processes of their own).
#include "audio/RadioManager.h"
#include "audio/library/AudioLibrary.h"
#include "bench/PlayerWindow.h"
#include "core/ErrorLog.h"
#include "tests/support/IcecastServer.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

int PlaySeconds()
{
    const char* value = std::getenv("KAVRILUNE_BENCH_PLAY_SECONDS");
    const int seconds = value ? std::atoi(value) : 0;
    return seconds > 0 ? seconds : 60;
}

double ProcessCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Environment {
    Environment()
    {
        // The player asks for the default device; here that is the library's null output, as device 0 is.
        setenv("SDL_AUDIODRIVER", "none", 1);
        SetAppFolderOverride(folder.path() + QLatin1Char('/'));
        ok = station.IsRunning() && station.StartSource(QStringLiteral("/mp3"));
    }
    int argc = 0;
    QCoreApplication app { argc, nullptr };
    QTemporaryDir folder;
    testing_support::IcecastServer station;
    bool ok = false;
};

Environment& Shared()
{
    static Environment environment;
    return environment;
}

double libraryCpu = 0.0; // the first benchmark's figure, for the ratios

void PumpFor(int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void BM_LibraryPlaysMp3(benchmark::State& state)
{
    Environment& environment = Shared();
    if (!environment.ok) {
        state.SkipWithError("Icecast did not start");
        return;
    }
    const QByteArray url = environment.station.Url(QStringLiteral("/mp3")).toUtf8();
    for (auto _ : state) {
        BASS_Free();
        BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, AUDIO_INIT_SPEAKERS);
        BASS_SetConfig(AUDIO_CONFIG_BUFFER, 500);
        BASS_SetConfig(AUDIO_CONFIG_NET_BUFFER, 4000);
        BASS_SetConfig(AUDIO_CONFIG_NET_PREBUFFER, 100);
        const AudioStream stream = BASS_StreamCreateURL(url.constData(), 0, 0x940000, nullptr, nullptr);
        if (!stream || !BASS_ChannelPlay(stream, false)) {
            state.SkipWithError("the stream did not play");
            return;
        }
        const double start = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(PlaySeconds()));
        libraryCpu = ProcessCpuSeconds() - start;
        BASS_ChannelStop(stream);
        BASS_Free();
    }
    state.counters["cpu_s"] = libraryCpu;
}
BENCHMARK(BM_LibraryPlaysMp3)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void PlayThroughPlayer(benchmark::State& state, bool normalise, bool spectrum)
{
    Environment& environment = Shared();
    if (!environment.ok) {
        state.SkipWithError("Icecast did not start");
        return;
    }
    double cpu = 0.0;
    for (auto _ : state) {
        BASS_Free();
        CRadioManager manager;
        bench::PlayerWindow window(manager);
        manager.SetNotifyWindow(&window);
        manager.SetPlayerOptions(0, false, 0, 4000, false, normalise);
        manager.SetVolume(80);
        manager.Play(QStringLiteral("Bench"), environment.station.Url(QStringLiteral("/mp3")));
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!window.playing && Clock::now() < deadline)
            PumpFor(20);
        if (!window.playing) {
            state.SkipWithError("the player did not play");
            return;
        }
        // The window's timers: buffer fill every 400 ms, the spectrum every 32 ms when shown.
        class Bars : public CSoundDisplay
        {
        public:
            void Render(RadioPlayer* player, bool, bool, bool) override
            {
                if (player)
                    player->GetSpectrum(bands, 20);
            }
            float bands[20] = {};
        } bars;
        // The main thread sleeps between timer ticks, as the window's would.
        const double start = ProcessCpuSeconds();
        const auto end = Clock::now() + std::chrono::seconds(PlaySeconds());
        const auto tick = std::chrono::milliseconds(spectrum ? 32 : 400);
        auto next = Clock::now();
        int ticks = 0;
        while (Clock::now() < end) {
            next += tick;
            std::this_thread::sleep_until(next);
            QCoreApplication::processEvents();
            if (!spectrum || ++ticks % 12 == 0)
                benchmark::DoNotOptimize(manager.GetBufferPercent());
            if (spectrum)
                manager.DrawSpectrum(bars);
        }
        cpu = ProcessCpuSeconds() - start;
        manager.Stop(false, false);
        const auto stopped = Clock::now() + std::chrono::seconds(5);
        while (manager.GetPlayerCount() > 0 && Clock::now() < stopped)
            PumpFor(20);
    }
    state.counters["cpu_s"] = cpu;
    if (libraryCpu > 0.0)
        state.counters["vs_library"] = cpu / libraryCpu;
}

void BM_PlayerPlaysMp3(benchmark::State& state)
{
    PlayThroughPlayer(state, false, false);
}
BENCHMARK(BM_PlayerPlaysMp3)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_PlayerPlaysMp3NormalisedWithSpectrum(benchmark::State& state)
{
    PlayThroughPlayer(state, true, true);
}
BENCHMARK(BM_PlayerPlaysMp3NormalisedWithSpectrum)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
