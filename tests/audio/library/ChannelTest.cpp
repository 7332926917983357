#include "tests/audio/library/AudioTestHelpers.h"

#include "audio/library/PeakEqualizer.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TestMedia.h"

#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace audio_test;
using namespace testing_support;

namespace
{

int PeakOf(const int16_t* samples, size_t count)
{
    int peak = 0;
    for (size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
}

// What the "no sound" device played: the peak of every 10 ms block with the time it was mixed.
struct OutputRecorder {
    struct Block {
        std::chrono::steady_clock::time_point time;
        int leftPeak;
        int rightPeak;
        int maxDifference;
        double leftRms;
    };
    std::mutex mutex;
    std::vector<Block> blocks;

    void Add(const int16_t* samples, int frames)
    {
        Block block { std::chrono::steady_clock::now(), 0, 0, 0, 0.0 };
        for (int i = 0; i < frames; ++i) {
            block.leftRms += double(samples[2 * i]) * samples[2 * i];
            block.leftPeak = std::max(block.leftPeak, std::abs(int(samples[2 * i])));
            block.rightPeak = std::max(block.rightPeak, std::abs(int(samples[2 * i + 1])));
            block.maxDifference
                = std::max(block.maxDifference, std::abs(int(samples[2 * i]) - int(samples[2 * i + 1])));
        }
        block.leftRms = std::sqrt(block.leftRms / std::max(frames, 1));
        std::lock_guard lock(mutex);
        blocks.push_back(block);
    }
    std::vector<Block> Snapshot()
    {
        std::lock_guard lock(mutex);
        return blocks;
    }
};

OutputRecorder* recorder = nullptr;

class ChannelTest : public LibraryTest
{
protected:
    void SetUp() override
    {
        recorder = &m_output;
        LibraryTest::SetUp();
    }
    void TearDown() override
    {
        LibraryTest::TearDown();
        recorder = nullptr;
    }
    NullOutputKnobs Knobs() const override
    {
        NullOutputKnobs knobs;
        knobs.noClock = m_noClock;
        knobs.tap = [](const int16_t* samples, int frames) {
            if (recorder)
                recorder->Add(samples, frames);
        };
        return knobs;
    }
    AudioStream OpenTone(double seconds, int channels = 2, int frequency = 440, uint32_t flags = 0x940000)
    {
        SineOptions options;
        options.seconds = seconds;
        options.channels = channels;
        options.frequencyHz = frequency;
        const QString path = m_folder.filePath(QStringLiteral("tone%1.wav").arg(m_count++));
        EXPECT_TRUE(GenerateSine(path, MediaFormat::WavPcm, options));
        const AudioStream stream = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, flags);
        EXPECT_NE(stream, 0u) << BASS_ErrorGetCode();
        return stream;
    }

    bool m_noClock = false;
    OutputRecorder m_output;
    QTemporaryDir m_folder;
    int m_count = 0;
};

class FastChannelTest : public ChannelTest
{
protected:
    FastChannelTest() { m_noClock = true; }
};

struct DspProbe {
    std::mutex mutex;
    std::vector<int> order; // priority of each call, in call order
    std::vector<int> firstPeaks; // peak seen by the priority-10 DSP
    std::vector<int> lastPeaks; // peak seen by the priority-0 DSP
    std::atomic<int> calls { 0 };
    bool silence = false;
};

struct DspContext {
    DspProbe* probe;
    int priority;
};

void ProbeDsp(AudioDsp, uint32_t, void* buffer, uint32_t length, void* user)
{
    auto* context = static_cast<DspContext*>(user);
    auto* samples = static_cast<int16_t*>(buffer);
    const int peak = PeakOf(samples, length / 2);
    std::lock_guard lock(context->probe->mutex);
    context->probe->order.push_back(context->priority);
    (context->priority == 10 ? context->probe->firstPeaks : context->probe->lastPeaks).push_back(peak);
    ++context->probe->calls;
    if (context->probe->silence && context->priority == 10)
        std::fill_n(samples, length / 2, int16_t(0));
}

} // namespace

TEST_F(FastChannelTest, DspsRunByPriorityWithTheEqualiserBetweenThem)
{
    const AudioStream stream = OpenTone(3.0);
    ASSERT_NE(stream, 0u);
    DspProbe& probe = Keep<DspProbe>();
    DspContext& last = Keep<DspContext>(DspContext { &probe, 0 });
    DspContext& first = Keep<DspContext>(DspContext { &probe, 10 });
    // Set in the "wrong" order: priority decides, not the order of setting.
    ASSERT_NE(BASS_ChannelSetDSP(stream, &ProbeDsp, &last, 0), 0u);
    const AudioFx effect = BASS_ChannelSetFX(stream, AUDIO_FX_PEAK_EQ, 2);
    ASSERT_NE(effect, 0u);
    const AudioPeakEqParams band { 0, 0.0f, 1.0f, 440.0f, 12.0f, -1 };
    ASSERT_TRUE(BASS_FXSetParameters(effect, &band));
    // Bands are taken up once no other change has followed for a moment; this stream decodes much
    // faster than real time.
    std::this_thread::sleep_for(std::chrono::milliseconds(CPeakEqualizer::kSettleMs * 2));
    const AudioDsp firstDsp = BASS_ChannelSetDSP(stream, &ProbeDsp, &first, 10);
    ASSERT_NE(firstDsp, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return probe.calls > 60; }, 5000));

    std::lock_guard lock(probe.mutex);
    ASSERT_GE(probe.order.size(), 40u);
    // Calls come in pairs, 10 then 0, after the first blocks that were decoded before the DSPs were set.
    size_t start = probe.order.size() - 40;
    if (probe.order[start] == 0)
        ++start;
    for (size_t i = start; i + 1 < probe.order.size(); i += 2) {
        EXPECT_EQ(probe.order[i], 10);
        EXPECT_EQ(probe.order[i + 1], 0);
    }
    // +12 dB at the tone's frequency: about four times the level.
    const double ratio = double(probe.lastPeaks.back()) / double(probe.firstPeaks.back());
    EXPECT_NEAR(ratio, std::pow(10.0, 12.0 / 20.0), 0.4);
}

TEST_F(FastChannelTest, ARemovedDspOrEffectIsNotCalledAgain)
{
    const AudioStream stream = OpenTone(60.0);
    ASSERT_NE(stream, 0u);
    DspProbe& probe = Keep<DspProbe>();
    DspContext& first = Keep<DspContext>(DspContext { &probe, 10 });
    const AudioDsp dsp = BASS_ChannelSetDSP(stream, &ProbeDsp, &first, 10);
    const AudioFx effect = BASS_ChannelSetFX(stream, AUDIO_FX_PEAK_EQ, 2);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return probe.calls > 5; }, 5000));
    ASSERT_TRUE(BASS_ChannelRemoveDSP(stream, dsp));
    const int calls = probe.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(probe.calls, calls);
    EXPECT_FALSE(BASS_ChannelRemoveDSP(stream, dsp));
    ASSERT_TRUE(BASS_ChannelRemoveFX(stream, effect));
    const AudioPeakEqParams band { 0, 0.0f, 1.0f, 440.0f, 3.0f, -1 };
    EXPECT_FALSE(BASS_FXSetParameters(effect, &band));
    const AudioFx another = BASS_ChannelSetFX(stream, AUDIO_FX_PEAK_EQ, 2);
    const AudioPeakEqParams nonsense { 0, 0.0f, 0.0f, -5.0f, 3.0f, -1 };
    EXPECT_FALSE(BASS_FXSetParameters(another, &nonsense));
    EXPECT_EQ(BASS_ChannelSetFX(stream, 0x10005, 2), 0u);
}

TEST_F(ChannelTest, WhatADspWritesIsWhatIsHeard)
{
    const AudioStream stream = OpenTone(3.0);
    ASSERT_NE(stream, 0u);
    DspProbe& probe = Keep<DspProbe>();
    probe.silence = true;
    DspContext& first = Keep<DspContext>(DspContext { &probe, 10 });
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto before = m_output.Snapshot();
    ASSERT_FALSE(before.empty());
    EXPECT_GT(before.back().leftPeak, 2000);

    ASSERT_NE(BASS_ChannelSetDSP(stream, &ProbeDsp, &first, 10), 0u);
    const auto set = std::chrono::steady_clock::now();
    // After the playback buffer (500 ms) has been played the output is silent.
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    const auto after = m_output.Snapshot();
    int latePeak = 0;
    for (const auto& block : after)
        if (block.time > set + std::chrono::milliseconds(700))
            latePeak = std::max(latePeak, block.leftPeak);
    EXPECT_EQ(latePeak, 0);
}

TEST_F(ChannelTest, TheFftShowsWhatIsHeardNotWhatIsDecoded)
{
    // 440 Hz for one second, then 2 kHz: while the first second plays, the decoder is already far
    // into the second tone (the playback buffer is 500 ms ahead).
    const QString path = m_folder.filePath(QStringLiteral("two-tones.wav"));
    ASSERT_EQ(ChildProcess::Run({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                    "sine=frequency=440:sample_rate=44100:duration=1[a];"
                                    "sine=frequency=2000:sample_rate=44100:duration=2[b];[a][b]concat=v=0:a=1",
                                    "-c:a", "pcm_s16le", path.toStdString() },
                  30000),
        0);
    const AudioStream stream = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0x940000);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    std::vector<float> fft(1024);
    ASSERT_EQ(BASS_ChannelGetData(stream, fft.data(), AUDIO_DATA_FFT2048), 4096u);
    const int early = PeakBin(fft.data());
    EXPECT_TRUE(early == 20 || early == 21) << early;
    EXPECT_GT(fft[size_t(early)], 0.05f);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_EQ(BASS_ChannelGetData(stream, fft.data(), AUDIO_DATA_FFT2048), 4096u);
    const int late = PeakBin(fft.data());
    EXPECT_TRUE(late == 92 || late == 93) << late;

    EXPECT_EQ(BASS_ChannelGetData(stream, fft.data(), 0x80000002), uint32_t(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_PARAMETER);
}

TEST_F(ChannelTest, VolumeSlidesEndAtTheirTargetInTheirTime)
{
    const AudioStream stream = OpenTone(4.0);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelSetAttribute(stream, AUDIO_ATTRIB_VOLUME, 1.0f));
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int full = m_output.Snapshot().back().leftPeak;
    ASSERT_GT(full, 2000);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelSlideAttribute(stream, AUDIO_ATTRIB_VOLUME, 0.25f, 600));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    for (const auto& block : m_output.Snapshot()) {
        const double ms = std::chrono::duration<double, std::milli>(block.time - start).count();
        if (ms < 20 || ms > 900)
            continue;
        const double expected = full * (ms >= 600 ? 0.25 : 1.0 - 0.75 * ms / 600.0);
        EXPECT_NEAR(block.leftPeak, expected, full * 0.06 + 200) << "at " << ms << " ms";
    }
    ASSERT_TRUE(BASS_ChannelSetAttribute(stream, AUDIO_ATTRIB_VOLUME, 0.0f));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(m_output.Snapshot().back().leftPeak, 0);
    EXPECT_FALSE(BASS_ChannelSetAttribute(stream, 1, 0.5f));
}

TEST_F(ChannelTest, MonoStreamsAreHeardOnBothSidesAndStreamsMix)
{
    // The blocks mixed after a moment, once the third of them meets the condition: a block may have
    // been under way when a stream started, and a loaded machine may mix its first blocks late.
    const auto settledBlock = [this](std::chrono::steady_clock::time_point after, auto condition) {
        std::optional<OutputRecorder::Block> found;
        WaitFor(
            [&] {
                int count = 0;
                for (const auto& block : m_output.Snapshot())
                    if (block.time > after && condition(block) && ++count == 3) {
                        found = block;
                        return true;
                    }
                return false;
            },
            5000);
        return found;
    };

    // Both files are made first: making one takes a while on a loaded machine, long enough for a tone
    // already playing to end.
    const AudioStream mono = OpenTone(10.0, 1);
    ASSERT_NE(mono, 0u);
    const AudioStream second = OpenTone(10.0, 2, 1000);
    ASSERT_NE(second, 0u);
    const auto monoStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelPlay(mono, false));
    const auto alone
        = settledBlock(monoStart, [](const OutputRecorder::Block& block) { return block.leftPeak > 2000; });
    ASSERT_TRUE(alone.has_value()) << "the mono tone was never heard";
    EXPECT_EQ(alone->maxDifference, 0);

    // A second stream adds to the first (a crossfade plays both): two tones of different pitch
    // add up in power.
    const auto secondStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelPlay(second, false));
    const double secondAlone = alone->leftRms * std::sqrt(0.5); // the stereo file is 3 dB lower per side
    const double expected = std::hypot(alone->leftRms, secondAlone);
    // Louder than the first tone alone: the second is being mixed in.
    const auto both = settledBlock(
        secondStart, [&](const OutputRecorder::Block& block) { return block.leftRms > 1.1 * alone->leftRms; });
    ASSERT_TRUE(both.has_value()) << "the second stream was never added";
    EXPECT_NEAR(both->leftRms, expected, 0.1 * both->leftRms);
}

TEST_F(ChannelTest, AnUnderrunStallsTheChannelAndItResumes)
{
    const AudioStream stream = OpenTone(5.0);
    ASSERT_NE(stream, 0u);
    SyncLog& stalls = Keep<SyncLog>();
    ASSERT_NE(BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | AUDIO_SYNC_MIXTIME, 0, &SyncLog::Proc, &stalls), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    CNullOutput::SimulateUnderrun(300);
    ASSERT_TRUE(WaitFor([&] { return stalls.Data().size() >= 1; }, 2000));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STALLED);
    ASSERT_TRUE(WaitFor([&] { return stalls.Data().size() >= 2; }, 3000));
    EXPECT_EQ(stalls.Data(), (std::vector<uint32_t> { 0, 1 }));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
}

TEST_F(FastChannelTest, TheChannelLockHoldsProcessingAndFailsOnceTheStreamIsFreed)
{
    const AudioStream stream = OpenTone(30.0);
    ASSERT_NE(stream, 0u);
    DspProbe& probe = Keep<DspProbe>();
    DspContext& first = Keep<DspContext>(DspContext { &probe, 10 });
    ASSERT_NE(BASS_ChannelSetDSP(stream, &ProbeDsp, &first, 10), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return probe.calls > 3; }, 5000));

    ASSERT_TRUE(BASS_ChannelLock(stream, true));
    ASSERT_TRUE(BASS_ChannelLock(stream, true)); // nests
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int held = probe.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(probe.calls, held);
    ASSERT_TRUE(BASS_ChannelLock(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(probe.calls, held);
    ASSERT_TRUE(BASS_ChannelLock(stream, false));
    ASSERT_TRUE(WaitFor([&] { return probe.calls > held; }, 2000));

    // A thread waiting for the lock gets false when the holder frees the stream.
    ASSERT_TRUE(BASS_ChannelLock(stream, true));
    std::atomic<int> waiterResult { -1 };
    std::thread waiter([&] { waiterResult = BASS_ChannelLock(stream, true) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(waiterResult, -1);
    ASSERT_TRUE(BASS_ChannelStop(stream)); // auto-free
    waiter.join();
    EXPECT_EQ(waiterResult, 0);
    EXPECT_TRUE(BASS_ChannelLock(stream, false)); // the holder can still let go
    const int calls = probe.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(probe.calls, calls);
    EXPECT_FALSE(BASS_ChannelLock(stream, true));
}

TEST_F(FastChannelTest, StoppingAStreamWithoutAutoFreeKeepsItForPlayingOn)
{
    const AudioStream stream = OpenTone(30.0, 2, 440, 0);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(BASS_ChannelStop(stream));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_STOPPED);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the playback buffer fills up again
    const uint64_t position = BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT), position);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
}
