// The player's work in the audio path, call by call: the normaliser on one block of samples, the
// spectrum bands from one set of FFT magnitudes, a metadata block's pass over the response headers
// (which holds the channel lock the spectrum frame waits for), and, on a player playing a local MP3 file, its
// recording DSP for one decoded frame, its download callback for one network block, the window's
// buffer poll and a whole spectrum frame. Multiplied by their rates (about 38 decoded frames and a
// few network blocks a second, a poll every 400 ms) they give the player's own share of a second of
// playing.
#include "audio/RadioPlayer.h"
#include "tests/support/TestMedia.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

namespace
{

std::vector<int16_t> MusicLikeBlock(size_t samples)
{
    std::vector<int16_t> block(samples);
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i / 2) / 44100.0;
        const double value = 6000.0 * std::sin(2 * std::numbers::pi * 220.0 * t)
            + 3000.0 * std::sin(2 * std::numbers::pi * 1375.0 * t)
            + 800.0 * std::sin(2 * std::numbers::pi * 7000.0 * t);
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
    state.counters["per_sample"] = benchmark::Counter(
        double(samples), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
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

// One pass over the response headers, as every metadata block repeats it, on a station that sends
// this many header lines, each a text of its own.
void BM_HeaderPass(benchmark::State& state)
{
    const int lines = int(state.range(0));
    QByteArray tag;
    for (int i = 0; i < lines; ++i)
        tag += "icy-description: Description number " + QByteArray::number(i) + '\0';
    tag += '\0';
    RadioPlayer player(
        QStringLiteral("Bench"), QStringLiteral("/nonexistent.mp3"), 0, 0, 80, false, nullptr, 4000, 0, false);
    player.ReadIcyHeaders(tag.constData()); // the history as it stands after the first pass
    for (auto _ : state)
        player.ReadIcyHeaders(tag.constData());
    state.counters["history"] = double(player.GetTitleHistory().size());
}
BENCHMARK(BM_HeaderPass)->Arg(20)->Arg(1500)->Unit(benchmark::kMicrosecond);

// A player playing a generated MP3 file on the library's null output (the default device here).
struct LivePlayer {
    LivePlayer()
    {
        setenv("SDL_AUDIODRIVER", "none", 1);
        testing_support::SineOptions options;
        options.seconds = 120;
        const QString path = folder.filePath(QStringLiteral("sine.mp3"));
        if (!testing_support::GenerateSine(path, testing_support::MediaFormat::Mp3, options))
            return;
        mp3 = QByteArray(4096, 0);
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            file.seek(8192);
            mp3 = file.read(4096);
        }
        player = new RadioPlayer(QStringLiteral("Bench"), path, 0, 0, 80, false, nullptr, 4000, 0, false);
        player->StartThread();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!player->IsPlaying() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool Ready() const { return player && player->IsPlaying(); }

    QTemporaryDir folder;
    QByteArray mp3;
    RadioPlayer* player = nullptr; // left playing until the program ends
};

LivePlayer& Live()
{
    static LivePlayer live;
    return live;
}

void BM_RecordDspPerDecodedFrame(benchmark::State& state)
{
    LivePlayer& live = Live();
    if (!live.Ready()) {
        state.SkipWithError("the player did not play");
        return;
    }
    std::vector<int16_t> block = MusicLikeBlock(1152 * 2);
    const uint32_t bytes = uint32_t(block.size() * sizeof(int16_t));
    for (auto _ : state)
        RadioPlayer::RecordDspProc(0, live.player->GetHandle(), block.data(), bytes, live.player);
}
BENCHMARK(BM_RecordDspPerDecodedFrame);

void BM_DownloadCallbackPerNetworkBlock(benchmark::State& state)
{
    LivePlayer& live = Live();
    if (!live.Ready()) {
        state.SkipWithError("the player did not play");
        return;
    }
    for (auto _ : state)
        RadioPlayer::DownloadProc(live.mp3.constData(), uint32_t(live.mp3.size()), live.player);
}
BENCHMARK(BM_DownloadCallbackPerNetworkBlock);

// The window's 400 ms poll, and the download callback after it, which measures the bitrate again.
void BM_BufferPollAndBitrateMeasure(benchmark::State& state)
{
    LivePlayer& live = Live();
    if (!live.Ready()) {
        state.SkipWithError("the player did not play");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(live.player->GetBufferPercent());
        RadioPlayer::DownloadProc(live.mp3.constData(), uint32_t(live.mp3.size()), live.player);
    }
}
BENCHMARK(BM_BufferPollAndBitrateMeasure);

// One frame of the spectrum display: the library's FFT of what is heard and the 20 bands.
void BM_SpectrumFrame(benchmark::State& state)
{
    LivePlayer& live = Live();
    if (!live.Ready()) {
        state.SkipWithError("the player did not play");
        return;
    }
    float bands[20];
    for (auto _ : state)
        benchmark::DoNotOptimize(live.player->GetSpectrum(bands, 20));
}
BENCHMARK(BM_SpectrumFrame);

} // namespace
