// Sound processing on a real channel playing local files: the equaliser on white noise, the spectrum
// bands and the normaliser on a sine.

#include "tests/audio/PlayerStreamFixture.h"
#include "tests/support/TestPaths.h"

#include <cmath>

namespace
{

class PlayerChannelTest : public PlayerStreamFixture
{
protected:
    // The FFT magnitudes of what is heard, averaged over a second and a half.
    std::vector<double> AverageSpectrum(RadioPlayer* player)
    {
        std::vector<double> sum(1024, 0.0);
        int frames = 0;
        for (int i = 0; i < 60; ++i) {
            float magnitudes[1024];
            if (BASS_ChannelGetData(player->GetHandle(), magnitudes, AUDIO_DATA_FFT2048) != uint32_t(-1)) {
                for (size_t bin = 0; bin < 1024; ++bin)
                    sum[bin] += magnitudes[bin];
                ++frames;
            }
            PlayerStatusLog::Pump(25);
        }
        for (double& value : sum)
            value /= std::max(frames, 1);
        return sum;
    }

    // Level in dB of the bins around a frequency, relative to the same bins of base.
    RadioPlayer* PlayFile(const QByteArray& bytes, const QString& name)
    {
        const QString path = folder.FilePath(name);
        EXPECT_TRUE(testing_support::WriteBytes(path, bytes));
        manager.Play(name, path);
        RadioPlayer* player = NewPlayerAfter(0, 5000);
        EXPECT_TRUE(player && WaitForCode(player, PlayerStatusPlaying, 10000));
        return player;
    }

    static double GainDb(const std::vector<double>& with, const std::vector<double>& base, double hz)
    {
        const int centre = int(std::lround(hz * 2048.0 / 44100.0));
        double a = 0.0;
        double b = 0.0;
        for (int bin = std::max(1, centre - 2); bin <= centre + 2; ++bin) {
            a += with[size_t(bin)];
            b += base[size_t(bin)];
        }
        return 20.0 * std::log10(a / b);
    }
};

TEST_F(PlayerChannelTest, RockPresetShapesTheSpectrumOfWhiteNoiseAndOffRestoresIt)
{
    const QByteArray wav = GenerateMedia(
        { "-f", "lavfi", "-i", "anoisesrc=d=20:c=white:a=0.3:r=44100:seed=3", "-ac", "2" }, QStringLiteral("wav"));
    ASSERT_FALSE(wav.isEmpty());
    RadioPlayer* player = PlayFile(wav, QStringLiteral("noise.wav"));
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(manager.GetStreamInfo(), QStringLiteral("WAV"));
    PlayerStatusLog::Pump(800);
    const std::vector<double> flat = AverageSpectrum(player);

    manager.SetEqualizerPreset(2);
    PlayerStatusLog::Pump(1200); // what is heard lags the decoder by the playback buffer
    const std::vector<double> rock = AverageSpectrum(player);
    EXPECT_GT(GainDb(rock, flat, 125), 3.0);
    EXPECT_LT(GainDb(rock, flat, 1200), -1.5);
    EXPECT_GT(GainDb(rock, flat, 2200) - GainDb(rock, flat, 1200), 2.5);
    EXPECT_GT(GainDb(rock, flat, 6300), 1.0);

    manager.SetEqualizerPreset(-1);
    PlayerStatusLog::Pump(1200);
    const std::vector<double> off = AverageSpectrum(player);
    EXPECT_NEAR(GainDb(off, flat, 125), 0.0, 1.5);
    EXPECT_NEAR(GainDb(off, flat, 1200), 0.0, 1.5);
}

TEST_F(PlayerChannelTest, SpectrumOfASinePeaksInItsBandAndTheNormaliserRaisesAQuietOne)
{
    manager.SetPlayerOptions(0, false, 0, 2000, false, true);
    const QByteArray wav
        = GenerateMedia({ "-f", "lavfi", "-i", "sine=f=440:d=20:r=44100", "-ac", "2" }, QStringLiteral("wav"));
    ASSERT_FALSE(wav.isEmpty());
    RadioPlayer* player = PlayFile(wav, QStringLiteral("sine.wav"));
    ASSERT_NE(player, nullptr);
    PlayerStatusLog::Pump(1000);

    float bands[20];
    ASSERT_TRUE(player->GetSpectrum(bands, 20));
    EXPECT_EQ(std::max_element(bands, bands + 20) - bands, 9);

    // A quiet sine (peak 4096, an eighth of full scale) is raised step by step towards the target level.
    PlayerStatusLog::PumpUntil([&] { return player->GetGain() > 1.5f; }, 8000);
    EXPECT_GT(player->GetGain(), 1.5f);
    EXPECT_LE(player->GetGain(), 5.02f);
}

} // namespace
