// The player's work in the audio path: the normaliser on one block of samples, and the spectrum bands
// computed from one set of FFT magnitudes (every 32 ms while the window shows them).
#include "audio/RadioPlayer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<int16_t> MusicLikeBlock(size_t samples)
{
    std::vector<int16_t> block(samples);
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i / 2) / 44100.0;
        const double value = 6000.0 * std::sin(2 * std::numbers::pi * 220.0 * t)
            + 3000.0 * std::sin(2 * std::numbers::pi * 1375.0 * t) + 800.0 * std::sin(2 * std::numbers::pi * 7000.0 * t);
        block[i] = int16_t(value);
    }
    return block;
}

// One block as the library hands it to the DSPs: 4096 interleaved stereo samples (about 46 ms).
void BM_NormalizeBlock(benchmark::State& state)
{
    const size_t samples = size_t(state.range(0));
    const std::vector<int16_t> source = MusicLikeBlock(samples);
    std::vector<int16_t> block = source;
    float gain = 1.0f;
    float levelSum = 0.0f;
    int levelCount = 0;
    // The copy (a few hundred ns for the small block) keeps every pass on the same music.
    for (auto _ : state) {
        block = source;
        RadioPlayer::NormalizeSamples(block.data(), block.size(), gain, levelSum, levelCount);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
    // Seconds per sample (shown with an SI prefix: "n" is ns).
    state.counters["per_sample"] = benchmark::Counter(double(samples), benchmark::Counter::kIsIterationInvariantRate
                                                                          | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NormalizeBlock)->Arg(4096)->Arg(44100 * 2);

void BM_SpectrumBands(benchmark::State& state)
{
    const int bands = int(state.range(0));
    std::vector<float> magnitudes(1024);
    for (size_t i = 0; i < magnitudes.size(); ++i)
        magnitudes[i] = float(0.3 / (1.0 + double(i) * 0.05));
    std::vector<float> values(static_cast<size_t>(bands));
    for (auto _ : state) {
        RadioPlayer::SpectrumBands(magnitudes.data(), values.data(), bands);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_SpectrumBands)->Arg(20)->Arg(64);

} // namespace
