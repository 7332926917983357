#include "audio/library/MixKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

std::vector<int16_t> RandomSamples(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<int16_t> samples(count);
    for (int16_t& sample : samples)
        sample = int16_t(value(random));
    // The extremes and the halves that rounding must tie to even.
    if (count >= 4) {
        samples[0] = -32768;
        samples[1] = 32767;
        samples[2] = 1;
        samples[3] = -3;
    }
    return samples;
}

// What the output adds for one block, frame by frame.
std::vector<int32_t> Expected(const std::vector<int16_t>& samples, int channels, size_t frames, float from, float step,
    size_t firstIndex, std::vector<int32_t> mix)
{
    for (size_t i = 0; i < frames; ++i) {
        const float gain = from + step * float(firstIndex + i);
        for (int side = 0; side < 2; ++side) {
            const int16_t sample = samples[i * size_t(channels) + size_t(channels == 2 ? side : 0)];
            mix[2 * i + size_t(side)] += int32_t(std::lrintf(float(sample) * gain));
        }
    }
    return mix;
}

} // namespace

// Stereo and mono, block lengths around the vector width, a constant volume, one of exactly a half
// (ties), and a slide in the middle of a block: every mixed sample is what the frame-by-frame sum gives,
// added to what was in the mix already, and nothing past the block is touched.
TEST(MixKernelsTest, ScaledFramesAddUpAsFrameByFrame)
{
    struct Volume {
        float from;
        float step;
        size_t firstIndex;
    };
    const Volume volumes[] = { { 1.0f, 0.0f, 0 }, { 0.5f, 0.0f, 0 }, { 0.8f, -0.0003f, 17 }, { 0.0f, 0.0f, 0 } };
    for (const int channels : { 1, 2 }) {
        for (const size_t frames : { size_t(0), size_t(1), size_t(3), size_t(4), size_t(5), size_t(8), size_t(883) }) {
            for (const Volume& volume : volumes) {
                const std::vector<int16_t> samples
                    = RandomSamples(frames * size_t(channels), unsigned(frames * 7 + size_t(channels)));
                std::vector<int32_t> mix(frames * 2 + 2, 0);
                for (size_t i = 0; i < mix.size(); ++i)
                    mix[i] = int32_t(i % 5) * 1000 - 2000;
                std::vector<int32_t> expected
                    = Expected(samples, channels, frames, volume.from, volume.step, volume.firstIndex, mix);
                AddScaledFrames(
                    samples.data(), channels, frames, volume.from, volume.step, volume.firstIndex, mix.data());
                EXPECT_EQ(mix, expected) << channels << " channel(s), " << frames << " frames, volume " << volume.from
                                         << " step " << volume.step;
            }
        }
    }
}

TEST(MixKernelsTest, MixedSamplesAreClippedToSixteenBits)
{
    const std::vector<int32_t> mix
        = { 0, 1, -1, 32767, 32768, -32768, -32769, 100000, -100000, 12345, -54321, 7, 65535, -65536, 3, 2, 1 };
    for (size_t count = 0; count <= mix.size(); ++count) {
        std::vector<int16_t> out(mix.size(), 99);
        SaturateToInt16(mix.data(), count, out.data());
        for (size_t i = 0; i < mix.size(); ++i) {
            const int16_t expected = i < count ? int16_t(std::clamp(mix[i], -32768, 32767)) : int16_t(99);
            EXPECT_EQ(out[i], expected) << "sample " << i << " of " << count;
        }
    }
}
