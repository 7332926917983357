// MP3 encoding throughput of the recorder's encoder: seconds of audio encoded per second of CPU time,
// 44100 Hz stereo at 128 kbit/s, fed in pieces the size of the audio library's DSP blocks.
#include "audio/LameEncoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace
{

constexpr int kSampleRate = 44100;
constexpr int kSeconds = 10;

// A few tones with a little noise, so that the encoder has something like music to work on.
std::vector<int16_t> MakeStereoPcm()
{
    std::vector<int16_t> pcm(size_t(kSampleRate) * kSeconds * 2);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 600.0);
    const double tones[] = { 220.0, 277.18, 329.63, 1760.0, 5274.0 };
    for (size_t frame = 0; frame < pcm.size() / 2; ++frame) {
        const double t = double(frame) / kSampleRate;
        double value = 0;
        for (size_t i = 0; i < std::size(tones); ++i)
            value += 3000.0 / double(i + 1) * std::sin(2 * M_PI * tones[i] * t + double(i));
        pcm[2 * frame] = int16_t(value + noise(random));
        pcm[2 * frame + 1] = int16_t(0.8 * value + noise(random));
    }
    return pcm;
}

void BM_EncodeStereo128(benchmark::State& state)
{
    const std::vector<int16_t> pcm = MakeStereoPcm();
    const uint32_t pieceBytes = 4 * 882; // 20 ms of 16-bit stereo
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t totalBytes = pcm.size() * 2;
    CLameEncoder encoder;
    if (!CLameEncoder::IsLibraryLoaded()) {
        state.SkipWithError("libmp3lame not found");
        return;
    }
    uint64_t mp3Bytes = 0;
    for (auto _ : state) {
        if (!encoder.Init(kSampleRate, 2, 128)) {
            state.SkipWithError("encoder did not start");
            return;
        }
        for (size_t at = 0; at < totalBytes; at += pieceBytes) {
            const uint8_t* data = bytes + at;
            uint32_t left = uint32_t(std::min<size_t>(pieceBytes, totalBytes - at));
            while (left >= 2) {
                uint32_t consumed = 0;
                const uint8_t* out = nullptr;
                uint32_t produced = 0;
                encoder.EncodeChunk(data, left, consumed, out, produced);
                mp3Bytes += produced;
                data += consumed;
                left -= consumed;
            }
        }
        const uint8_t* out = nullptr;
        uint32_t produced = 0;
        encoder.Finish(out, produced);
        mp3Bytes += produced;
    }
    benchmark::DoNotOptimize(mp3Bytes);
    // Rates are taken over CPU time: seconds of audio per CPU second.
    state.counters["audio_s_per_cpu_s"]
        = benchmark::Counter(double(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeStereo128)->Unit(benchmark::kMillisecond);

} // namespace
