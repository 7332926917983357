#include "audio/library/PeakEqualizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace
{

constexpr int kRate = 44100;
constexpr size_t kBlock = 441;

// A 100 Hz tone through the equaliser in blocks as a stream gives them, kept as it came out.
class Tone
{
public:
    void Play(CPeakEqualizer& equalizer, int ms)
    {
        for (size_t block = 0; block < size_t(ms) * kRate / 1000 / kBlock; ++block) {
            std::vector<int16_t> samples(kBlock * 2);
            for (size_t i = 0; i < kBlock; ++i, ++m_frame)
                samples[2 * i] = samples[2 * i + 1]
                    = int16_t(std::lrint(8000.0 * std::sin(2.0 * M_PI * 100.0 * double(m_frame) / kRate)));
            equalizer.Process(samples.data(), kBlock, 2, kRate);
            for (size_t i = 0; i < kBlock; ++i)
                m_left.push_back(samples[2 * i]);
        }
    }
    // The level of the last 50 ms, in dB against the tone's own.
    double LevelDb() const
    {
        double sum = 0.0;
        for (size_t i = m_left.size() - kRate / 20; i < m_left.size(); ++i)
            sum += double(m_left[i]) * m_left[i];
        return 10.0 * std::log10(sum / (kRate / 20) / (8000.0 * 8000.0 / 2.0));
    }
    // The largest bend of the wave between two frames: a smooth tone bends by about 2 here, a step by
    // hundreds.
    int LargestBend() const
    {
        int bend = 0;
        for (size_t i = 1; i + 1 < m_left.size(); ++i)
            bend = std::max(bend, std::abs(int(m_left[i + 1]) - 2 * int(m_left[i]) + int(m_left[i - 1])));
        return bend;
    }

private:
    size_t m_frame = 0;
    std::vector<int16_t> m_left;
};

AudioPeakEqParams Band(int number, float gain)
{
    return AudioPeakEqParams { number, 0.0f, 0.7f, 100.0f, gain, -1 };
}

void WaitToSettle()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(CPeakEqualizer::kSettleMs + 5));
}

} // namespace

// Bands set, replaced (taken away and set again at once, as a preset change does) and taken away are
// each heard as a fade from the old sound to the new, with no step in the wave.
TEST(PeakEqualizerTest, ChangesAreFadedToWithoutAStep)
{
    CPeakEqualizer equalizer;
    Tone tone;
    tone.Play(equalizer, 100);
    EXPECT_NEAR(tone.LevelDb(), 0.0, 0.1);

    equalizer.SetBands({ Band(0, 6.0f) });
    WaitToSettle();
    tone.Play(equalizer, 200);
    EXPECT_NEAR(tone.LevelDb(), 6.0, 0.3);

    equalizer.SetBands({});
    equalizer.SetBands({ Band(0, -3.0f), Band(1, -3.0f) });
    WaitToSettle();
    tone.Play(equalizer, 200);
    EXPECT_NEAR(tone.LevelDb(), -6.0, 0.3);

    equalizer.SetBands({});
    WaitToSettle();
    tone.Play(equalizer, 200);
    EXPECT_NEAR(tone.LevelDb(), 0.0, 0.1);
    EXPECT_FALSE(equalizer.Active());

    EXPECT_LT(tone.LargestBend(), 20);
}
