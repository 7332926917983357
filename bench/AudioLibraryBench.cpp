// The audio library's per-block work: FFT of what is heard, the peak equaliser, ICY parsing.

#include "audio/library/FftAnalyzer.h"
#include "audio/library/IcyParser.h"
#include "audio/library/PeakEqualizer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace
{

std::vector<int16_t> Sine(size_t frames, int channels)
{
    std::vector<int16_t> samples(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[i * size_t(channels) + size_t(c)]
                = int16_t(8000.0 * std::sin(2.0 * M_PI * 440.0 * double(i) / 44100.0));
    return samples;
}

void BM_Fft2048(benchmark::State& state)
{
    CFftAnalyzer analyzer;
    const std::vector<int16_t> samples = Sine(CFftAnalyzer::kPoints, 2);
    std::vector<float> magnitudes(CFftAnalyzer::kBins);
    for (auto _ : state) {
        analyzer.Compute(samples.data(), 2, magnitudes.data());
        benchmark::DoNotOptimize(magnitudes.data());
    }
}
BENCHMARK(BM_Fft2048);

void BM_PeakEqualizerFiveBands(benchmark::State& state)
{
    CPeakEqualizer equalizer;
    const float centres[] = { 125, 200, 1200, 2200, 6300 };
    std::vector<AudioPeakEqParams> bands;
    for (int band = 0; band < 5; ++band)
        bands.push_back({ band, 0.0f, 0.7f, centres[band], 4.0f, -1 });
    equalizer.SetBands(bands);
    const std::vector<int16_t> block = Sine(1152, 2);
    std::vector<int16_t> work = block;
    // Past the change's fade: the bands alone are measured.
    std::this_thread::sleep_for(std::chrono::milliseconds(CPeakEqualizer::kSettleMs * 2));
    for (int i = 0; i < 100; ++i) {
        work = block;
        equalizer.Process(work.data(), 1152, 2, 44100);
    }
    for (auto _ : state) {
        work = block;
        equalizer.Process(work.data(), 1152, 2, 44100);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 1152);
}
BENCHMARK(BM_PeakEqualizerFiveBands);

void BM_IcyParser(benchmark::State& state)
{
    // One minute of a 128 kbit/s stream with a metadata block every 16000 bytes.
    std::string wire;
    for (int i = 0; i < 60; ++i) {
        wire.append(16000, char(i));
        std::string meta = "StreamTitle='Artist - Title " + std::to_string(i) + "';";
        meta.resize(64, '\0');
        wire += char(4);
        wire += meta;
    }
    std::vector<uint8_t> audio;
    for (auto _ : state) {
        CIcyParser parser(16000);
        for (size_t i = 0; i < wire.size(); i += 16384) {
            audio.clear();
            parser.Feed(reinterpret_cast<const uint8_t*>(wire.data() + i), std::min<size_t>(16384, wire.size() - i),
                audio, [](const std::string&) {});
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(wire.size()));
}
BENCHMARK(BM_IcyParser);

} // namespace
