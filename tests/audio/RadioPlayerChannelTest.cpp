// Sound processing on a real channel playing local files: the equaliser on white noise and, at a sound
// server's monitor, on a tone; the spectrum bands and the normaliser on a sine.

#include "tests/audio/PlayerStreamFixture.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestPaths.h"

#include <cmath>
#include <cstdlib>

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
    PlayerStatusLog::Pump(1200); // what is heard lags the change by the output's queue
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

// A preset chosen while a station plays is heard as a short fade from the old sound to the new, not as
// a step in the wave: at the sound server's monitor no two frames of a low tone differ by more than the
// stop test's click threshold (300), in switches that meet the wave at different points. At 60 Hz the
// tone's own steepest step is about 80 at the louder preset, and the presets there are 6 dB apart.
TEST_F(PlayerChannelTest, APresetChosenWhilePlayingIsHeardWithoutAStep)
{
    using testing_support::MonitorRecorder;
    using testing_support::SoundServer;
    if (!SoundServer::Available())
        GTEST_SKIP() << SoundServer::Missing();
    struct Restore {
        ~Restore()
        {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            unsetenv("PULSE_SERVER");
            unsetenv("PULSE_CLIENTCONFIG");
        }
    } restore;
    unsetenv("SDL_AUDIODRIVER"); // a driver chosen for SDL would keep the library on SDL
    SoundServer server;
    std::string reason;
    ASSERT_TRUE(server.Start(reason)) << reason;
    MonitorRecorder monitor(server.Address());
    ASSERT_TRUE(monitor.Started());
    const QByteArray wav = GenerateMedia(
        { "-f", "lavfi", "-i", "sine=f=60:d=30:r=44100", "-af", "volume=3", "-ac", "2" }, QStringLiteral("wav"));
    ASSERT_FALSE(wav.isEmpty());
    manager.SetEqualizerPreset(0); // Jazz: -3.8 dB at 60 Hz
    RadioPlayer* player = PlayFile(wav, QStringLiteral("tone.wav"));
    ASSERT_NE(player, nullptr);
    constexpr size_t kRate = 44100;
    // Until the tone is heard (the server's queue lies between), then past its fade-in.
    ASSERT_TRUE(PlayerStatusLog::PumpUntil(
        [&] {
            const size_t heard = monitor.Frames();
            return heard > kRate / 10
                && testing_support::LoudFrames(monitor.Left(heard - kRate / 10, kRate / 10), 1000) > kRate / 20;
        },
        10000));
    PlayerStatusLog::Pump(800);

    auto levelDb = [](const std::vector<int16_t>& samples) {
        double sum = 0.0;
        for (int16_t sample : samples)
            sum += double(sample) * sample;
        return 10.0 * std::log10(sum / double(std::max<size_t>(samples.size(), 1)) + 1.0);
    };
    constexpr size_t kPeriod = kRate / 60;
    // The preset and the change it makes at 60 Hz (Jazz -3.8 dB, Rock +2.5 dB, off 0).
    const std::pair<int, double> switches[] = { { 2, 6.3 }, { 0, -6.3 }, { 2, 6.3 }, { -1, -2.5 }, { 2, 2.5 } };
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        const auto [preset, changeDb] = switches[round];
        const size_t from = monitor.Frames();
        const double before = levelDb(monitor.Left(from - kRate / 5, kRate / 5));
        manager.SetEqualizerPreset(preset);
        ASSERT_TRUE(monitor.WaitForFrames(from + kRate * 3 / 2, 5000));
        const std::vector<int16_t> heard = monitor.Left(from, kRate * 3 / 2);
        // Where the change is heard: the first period of the tone a third of the way to its new level.
        // The wave is checked around it (an underrun of a loaded machine elsewhere is another matter).
        size_t change = 0;
        for (size_t at = 0; at + kPeriod <= heard.size() && change == 0; at += kPeriod / 4) {
            const double level = levelDb(std::vector<int16_t>(heard.begin() + at, heard.begin() + at + kPeriod));
            if ((level - before) / changeDb > 1.0 / 3.0)
                change = at + kPeriod;
        }
        ASSERT_NE(change, 0u) << "the change was not heard";
        const size_t end = std::min(change + kRate / 10, heard.size());
        int step = 0;
        for (size_t i = std::max(change, kRate / 10) - kRate / 10; i + 1 < end; ++i)
            step = std::max(step, std::abs(int(heard[i + 1]) - int(heard[i])));
        EXPECT_LT(step, 300) << "the change steps the wave by " << step;
        const double after = levelDb(std::vector<int16_t>(heard.end() - kRate / 5, heard.end()));
        EXPECT_NEAR(after - before, changeDb, 1.5);
        PlayerStatusLog::Pump(37 * round); // the next change meets the wave elsewhere
    }
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
