// The player's sound processing on generated PCM: normaliser and spectrum bands.

#include "audio/RadioPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace
{

constexpr double kSampleRate = 44100.0;

std::vector<int16_t> Sine(double frequency, double amplitude, size_t frames, size_t offset = 0)
{
    std::vector<int16_t> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i + offset) / kSampleRate;
        const auto value = int16_t(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * frequency * t)));
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
    }
    return samples;
}

// Root mean square of the samples above the normaliser's threshold, as it measures them.
double LoudRms(const std::vector<int16_t>& samples)
{
    double sum = 0.0;
    int count = 0;
    for (int16_t x : samples) {
        if (std::abs(int(x)) > 1638) {
            sum += double(x) * x;
            ++count;
        }
    }
    return count ? std::sqrt(sum / count) : 0.0;
}

struct NormalizerState {
    float gain = 1.0f;
    float levelSum = 0.0f;
    int levelCount = 0;

    void Run(std::vector<int16_t>& block)
    {
        RadioPlayer::NormalizeSamples(block.data(), block.size(), gain, levelSum, levelCount);
    }
};

// 1024 magnitudes of a 2048-point FFT of the left channel, Hann-windowed, scaled so that a full-scale
// sine gives about 0.5 at its bin.
std::vector<float> Magnitudes(const std::vector<int16_t>& stereo)
{
    constexpr int n = 2048;
    std::vector<float> magnitudes(1024);
    for (int k = 0; k < 1024; ++k) {
        double re = 0.0;
        double im = 0.0;
        for (int i = 0; i < n; ++i) {
            const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (n - 1));
            const double x = stereo[2 * size_t(i)] / 32768.0 * window;
            re += x * std::cos(2.0 * std::numbers::pi * k * i / n);
            im -= x * std::sin(2.0 * std::numbers::pi * k * i / n);
        }
        magnitudes[size_t(k)] = float(std::sqrt(re * re + im * im) * 2.0 / n);
    }
    return magnitudes;
}

TEST(NormalizerTest, QuietSineIsRaisedTowardsTheTargetLevel)
{
    NormalizerState state;
    std::vector<int16_t> input;
    std::vector<int16_t> output;
    for (int i = 0; i < 400; ++i) {
        input = Sine(440.0, 2500.0, 2048, size_t(i) * 2048);
        output = input;
        state.Run(output);
    }
    EXPECT_GT(state.gain, 2.5f);
    EXPECT_LE(state.gain, 5.0f + 0.02f);
    // The level the normaliser measures: the loud part of the input, at the gain applied.
    double dot = 0.0;
    double energy = 0.0;
    for (size_t j = 0; j < input.size(); ++j) {
        dot += double(input[j]) * output[j];
        energy += double(input[j]) * input[j];
    }
    EXPECT_NEAR(LoudRms(input) * dot / energy, 7500.0, 7500.0 * 0.05);
}

TEST(NormalizerTest, LoudSineIsLoweredAndNothingClips)
{
    NormalizerState state;
    for (int i = 0; i < 200; ++i) {
        std::vector<int16_t> block = Sine(440.0, 32767.0, 2048, size_t(i) * 2048);
        const std::vector<int16_t> input = block;
        state.Run(block);
        for (size_t j = 0; j < block.size(); ++j)
            ASSERT_LE(std::abs(int(block[j])), std::abs(int(input[j]))) << "block " << i;
    }
    // Lowered to the smallest gain the normaliser allows (it may stand one step below until the next block).
    EXPECT_NEAR(state.gain, 0.4f, 0.021f);
}

TEST(NormalizerTest, GainIsCappedSoThatThePeakFitsAfterAQuietPassage)
{
    NormalizerState state;
    for (int i = 0; i < 400; ++i) {
        std::vector<int16_t> quiet = Sine(440.0, 1800.0, 2048, size_t(i) * 2048);
        state.Run(quiet);
    }
    ASSERT_GT(state.gain, 4.0f);

    std::vector<int16_t> loud = Sine(440.0, 20000.0, 2048);
    const std::vector<int16_t> input = loud;
    state.Run(loud);
    const float used = 32767.0f / 20000.0f;
    for (size_t j = 0; j < loud.size(); ++j) {
        const float expected = float(input[j]) * used;
        ASSERT_NEAR(loud[j], expected, 1.0f) << j; // scaled, never clipped flat
    }
    EXPECT_EQ(*std::max_element(loud.begin(), loud.end()), 32767);
}

TEST(NormalizerTest, FullScaleSampleCapsTheGainJustBelowOne)
{
    NormalizerState state;
    std::vector<int16_t> block(1024, 0);
    block[10] = -32768;
    block[11] = 32767;
    state.Run(block);
    EXPECT_EQ(block[10], -32767);
    EXPECT_EQ(block[11], 32766);
}

TEST(NormalizerTest, SilenceIsOnlyMultipliedByTheGain)
{
    NormalizerState state;
    state.gain = 0.5f;
    std::vector<int16_t> block = { 3, -3, 1, -1, 1638, -1638, 0 };
    state.Run(block);
    EXPECT_EQ(block, (std::vector<int16_t> { 2, -2, 1, -1, 819, -819, 0 }));
    EXPECT_FLOAT_EQ(state.gain, 0.5f);
    EXPECT_FLOAT_EQ(state.levelSum, 0.0f);
    EXPECT_EQ(state.levelCount, 0);
}

TEST(NormalizerTest, GainMayLeaveItsRangeByOneStepAndIsClampedBeforeUse)
{
    NormalizerState state;
    state.gain = 5.0f;
    std::vector<int16_t> quiet(2048, 1700); // measured level 8500 at gain 5: above target
    state.Run(quiet);
    EXPECT_EQ(quiet[0], 8500);
    EXPECT_NEAR(state.gain, 5.0f - 0.01f, 1e-4f);

    state.gain = 5.02f;
    state.levelSum = 2000.0f;
    state.levelCount = 2;
    std::vector<int16_t> next(16, 100);
    state.Run(next);
    EXPECT_EQ(next[0], 500); // used at 5.0
    EXPECT_NEAR(state.gain, 5.02f, 1e-4f);
}

TEST(NormalizerTest, LaterBlocksWeighOneThird)
{
    NormalizerState state;
    for (int i = 0; i < 5; ++i) {
        std::vector<int16_t> block = Sine(440.0, 10000.0, 1024, size_t(i) * 1024);
        state.Run(block);
    }
    EXPECT_EQ(state.levelCount, 2);
    EXPECT_GT(state.levelSum, 0.0f);
}

TEST(SpectrumBandsTest, SineOf440HzPeaksInItsBand)
{
    const std::vector<float> magnitudes = Magnitudes(Sine(440.0, 16000.0, 2048));
    std::vector<float> bands(20);
    RadioPlayer::SpectrumBands(magnitudes.data(), bands.data(), 20);
    // 440 Hz is bin 20.4 of 2048 points at 44100 Hz; band 9 holds bins 19 to 26.
    const auto peak = std::max_element(bands.begin(), bands.end()) - bands.begin();
    EXPECT_EQ(peak, 9);
    EXPECT_GT(bands[9], 0.3f);
    for (float value : bands) {
        EXPECT_GE(value, 0.0f);
        EXPECT_LE(value, 1.0f);
    }
}

TEST(SpectrumBandsTest, BandEdgesFollowTheLogarithmicScale)
{
    std::vector<float> bands(20);
    auto lit = [&](int bin) {
        std::vector<float> magnitudes(1024, 0.0f);
        magnitudes[size_t(bin)] = 0.25f;
        RadioPlayer::SpectrumBands(magnitudes.data(), bands.data(), 20);
        std::vector<int> on;
        for (int i = 0; i < 20; ++i) {
            if (bands[size_t(i)] > 0.0f)
                on.push_back(i);
        }
        return on;
    };
    EXPECT_EQ(lit(0), std::vector<int> {}); // the constant part is never shown
    EXPECT_EQ(lit(1), std::vector<int> { 0 }); // band 0 is bin 1 alone
    EXPECT_EQ(lit(2), std::vector<int> { 1 }); // equal ends are pushed one bin up
    EXPECT_EQ(lit(4), std::vector<int> { 3 });
    EXPECT_EQ(lit(19), std::vector<int> { 9 });
    EXPECT_EQ(lit(26), std::vector<int> { 9 });
    EXPECT_EQ(lit(27), std::vector<int> { 10 });
    EXPECT_EQ(lit(1023), std::vector<int> { 19 });

    lit(1);
    EXPECT_NEAR(bands[0], std::sqrt(0.25 / std::log10(11.0)) - 0.02, 1e-6);
}

TEST(SpectrumBandsTest, OneBandAndVeryManyBandsStayInsideTheBins)
{
    std::vector<float> magnitudes(1024, 0.01f);
    float one = -1.0f;
    RadioPlayer::SpectrumBands(magnitudes.data(), &one, 1);
    EXPECT_NEAR(one, std::sqrt(0.01 / std::log10(11.0)) - 0.02, 1e-6);

    std::vector<float> many(3000, -1.0f);
    RadioPlayer::SpectrumBands(magnitudes.data(), many.data(), int(many.size()));
    for (float value : many) {
        ASSERT_GE(value, 0.0f);
        ASSERT_LE(value, 1.0f);
    }
    EXPECT_EQ(many.back(), 0.0f);
}

TEST(EqualizerTest, PresetTableHoldsQThenCentresThenGains)
{
    const float* rock = RadioPlayer::kEqualizerPresets[2];
    EXPECT_EQ(std::vector<float>(rock, rock + 5), (std::vector<float> { 0.7f, 0.7f, 0.5f, 1.0f, 0.7f }));
    EXPECT_EQ(std::vector<float>(rock + 5, rock + 10), (std::vector<float> { 125, 200, 1200, 2200, 6300 }));
    EXPECT_EQ(std::vector<float>(rock + 10, rock + 15), (std::vector<float> { 5, 2, -4, 4, 2 }));
    const float* classic = RadioPlayer::kEqualizerPresets[3];
    EXPECT_EQ(classic[7], 1000.0f);
    EXPECT_EQ(classic[12], 0.0f);
}

} // namespace
