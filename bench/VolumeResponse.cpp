// How soon a volume command is heard when the library plays to a sound server of its own (PulseAudio,
// or PipeWire's PulseAudio service with KAVRILUNE_TEST_SOUND_SERVER=pipewire), measured at its sink's
// monitor on a steady tone: a volume set, a mute as the player does it (a 100 ms slide to silence) and
// a stop. For each: the time from the call to the change beginning, to 90 % of it and to its end, the
// share of a fall made in its first 5 ms, and how long the call took to return. Then STEADY seconds
// (default 20, at most 50) of the tone under a slide to another volume every few hundred milliseconds:
// the gaps (2 ms or more of silence) and clicks (a step between two frames that the tone never makes)
// heard meanwhile, and the underruns of the stream.
//
//     kavrilune_volume_response [ROUNDS [STEADY]]

#include "audio/library/AudioLibrary.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestMedia.h"

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace
{

constexpr int kRate = 44100;
using Clock = std::chrono::steady_clock;

double Ms(int frames)
{
    return frames < 0 ? -1.0 : frames * 1000.0 / kRate;
}

std::map<std::string, std::vector<double>> figures;
std::atomic<int> stalls { 0 };

// Runs the command, waits for what it brings to be heard, and notes how it was heard.
void Measure(MonitorRecorder& monitor, const std::string& name, double ratio, const std::function<void()>& command)
{
    const size_t at = monitor.Frames();
    const auto start = Clock::now();
    command();
    const double callMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    monitor.WaitForFrames(at + kRate * 6 / 10, 5000);
    const std::vector<int16_t> samples = monitor.Left(at - kRate / 5, kRate * 8 / 10);
    const LevelChange change = MeasureLevelChange(samples, kRate / 5, ratio, kRate);
    std::printf("  %-6s call %6.1f ms  begins %6.1f  90%% %6.1f  done %6.1f  first 5 ms %5.1f %%\n", name.c_str(),
        callMs, Ms(change.onset), Ms(change.ninety), Ms(change.done), change.firstFiveMs * 100);
    figures[name + " call"].push_back(callMs);
    figures[name + " begins"].push_back(Ms(change.onset));
    figures[name + " 90%"].push_back(Ms(change.ninety));
    figures[name + " done"].push_back(Ms(change.done));
    figures[name + " first 5 ms %"].push_back(change.firstFiveMs * 100);
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(std::atoi(argv[1]), 1) : 5;
    const int steady = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, 50) : 20;
    unsetenv("SDL_AUDIODRIVER");
    SoundServer server;
    std::string reason;
    if (!server.Start(reason)) {
        std::fprintf(stderr, "no sound server: %s\n", reason.c_str());
        return 1;
    }
    QTemporaryDir folder;
    const QString tone = folder.filePath(QStringLiteral("tone.wav"));
    SineOptions options;
    options.seconds = 60;
    options.frequencyHz = 441;
    if (!GenerateSine(tone, MediaFormat::WavPcm, options) || !BASS_Init(AUDIO_DEVICE_DEFAULT, kRate, 0)) {
        std::fprintf(stderr, "cannot play\n");
        return 1;
    }
    MonitorRecorder monitor(server.Address());
    std::printf("%s\n", SoundServer::PipeWire() ? "PipeWire" : "PulseAudio");
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d\n", round + 1);
        const AudioStream stream = BASS_StreamCreateFile(false, tone.toUtf8().constData(), 0, 0, 0);
        BASS_ChannelPlay(stream, false);
        for (int wait = 0; wait < 100 && LoudFrames(monitor.Left(monitor.Frames() - kRate / 10, kRate / 10)) == 0;
             ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 + 37 * round));
        Measure(monitor, "set", 0.25, [&] { BASS_ChannelSetAttribute(stream, AUDIO_ATTRIB_VOLUME, 0.25f); });
        BASS_ChannelSetAttribute(stream, AUDIO_ATTRIB_VOLUME, 1.0f);
        std::this_thread::sleep_for(std::chrono::milliseconds(500 + 13 * round));
        Measure(monitor, "mute", 0.0, [&] { BASS_ChannelSlideAttribute(stream, AUDIO_ATTRIB_VOLUME, 0.0f, 100); });
        BASS_ChannelSlideAttribute(stream, AUDIO_ATTRIB_VOLUME, 1.0f, 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500 + 11 * round));
        Measure(monitor, "stop", 0.0, [&] { BASS_ChannelStop(stream); });
    }
    if (steady > 0) {
        const AudioStream stream = BASS_StreamCreateFile(false, tone.toUtf8().constData(), 0, 0, 0);
        // The stream runs dry (an underrun): its stall sync.
        BASS_ChannelSetSync(
            stream, AUDIO_SYNC_STALL, 0, [](AudioSync, uint32_t, uint32_t data, void*) { stalls += data == 0 ? 1 : 0; },
            nullptr);
        BASS_ChannelPlay(stream, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const size_t from = monitor.Frames();
        const auto end = Clock::now() + std::chrono::seconds(steady);
        for (int change = 0; Clock::now() < end; ++change) {
            BASS_ChannelSlideAttribute(
                stream, AUDIO_ATTRIB_VOLUME, change % 2 ? 1.0f : 0.3f + 0.1f * (change % 5), 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(200 + 37 * (change % 7)));
        }
        const size_t to = monitor.Frames();
        BASS_ChannelSlideAttribute(stream, AUDIO_ATTRIB_VOLUME, 1.0f, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        BASS_ChannelStop(stream);
        // At full volume the tone steps by at most 182 between two frames and is near zero for two.
        const std::vector<int16_t> left = monitor.Left(from, to - from);
        int gaps = 0;
        int clicks = 0;
        size_t quiet = 0;
        for (size_t i = 1; i < left.size(); ++i) {
            quiet = std::abs(int(left[i])) < 50 ? quiet + 1 : 0;
            if (quiet == size_t(kRate / 500)) {
                ++gaps;
                std::printf("  gap at %.3f s\n", double(i) / kRate);
            }
            if (std::abs(int(left[i]) - int(left[i - 1])) > 300) {
                ++clicks;
                std::printf("  click at %.3f s\n", double(i) / kRate);
            }
        }
        std::printf("%d s under a slide every 200-450 ms: %d gaps, %d clicks, %d underruns\n", steady, gaps, clicks,
            stalls.load());
    }
    std::printf("over %d rounds: min  median  max\n", rounds);
    for (auto& [name, values] : figures) {
        std::sort(values.begin(), values.end());
        std::printf(
            "  %-18s %7.1f %7.1f %7.1f\n", name.c_str(), values.front(), values[values.size() / 2], values.back());
    }
    BASS_Free();
    return 0;
}
