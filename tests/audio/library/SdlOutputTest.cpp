#include "tests/audio/library/AudioTestHelpers.h"

#include "audio/library/Mixer.h"
#include "audio/library/SdlOutput.h"
#include "tests/support/TestMedia.h"

#include <QTemporaryDir>

#include <cstdlib>
#include <thread>

using namespace audio_test;
using namespace testing_support;

namespace
{

// SDL's own "dummy" driver consumes sound in real time like a sound card, on SDL's audio thread.
class SdlOutputTest : public ::testing::Test
{
protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    void TearDown() override
    {
        BASS_Free();
        unsetenv("SDL_AUDIODRIVER");
    }
    AudioStream OpenTone()
    {
        SineOptions options;
        options.seconds = 2.0;
        const QString path = m_folder.filePath(QStringLiteral("tone.mp3"));
        EXPECT_TRUE(GenerateSine(path, MediaFormat::Mp3, options));
        return BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0x940000);
    }
    QTemporaryDir m_folder;
};

} // namespace

TEST_F(SdlOutputTest, TheDefaultDeviceAndNumberedDevicesPlayThroughSdl)
{
    AudioDeviceInfo info {};
    ASSERT_TRUE(BASS_GetDeviceInfo(1, &info));
    EXPECT_NE(std::string(info.name), "");
    EXPECT_EQ(std::string(info.driver), "dummy");
    EXPECT_FALSE(BASS_GetDeviceInfo(19, &info));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_DEVICE);

    for (int device : { AUDIO_DEVICE_DEFAULT, 1 }) {
        SCOPED_TRACE(device);
        ASSERT_TRUE(BASS_Init(device, 44100, AUDIO_INIT_SPEAKERS)) << BASS_ErrorGetCode();
        const AudioStream stream = OpenTone();
        ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
        ASSERT_TRUE(BASS_ChannelPlay(stream, false));
        const uint64_t start = BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT);
        // The device pulls the sound: the decoder moves on and the FFT sees the tone.
        EXPECT_TRUE(
            WaitFor([&] { return BASS_StreamGetFilePosition(stream, AUDIO_FILEPOS_CURRENT) > start + 4000; }, 3000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<float> fft(1024);
        ASSERT_EQ(BASS_ChannelGetData(stream, fft.data(), AUDIO_DATA_FFT2048), 4096u);
        const int peak = PeakBin(fft.data());
        EXPECT_TRUE(peak == 20 || peak == 21) << peak;
        EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
        ASSERT_TRUE(BASS_GetDeviceInfo(1, &info));
        if (device == 1) {
            EXPECT_TRUE(info.flags & AUDIO_DEVICE_INIT);
        }
        ASSERT_TRUE(BASS_GetDeviceInfo(0, &info));
        EXPECT_FALSE(info.flags & AUDIO_DEVICE_INIT) << "a device plays: the library does not play to no one";
        ASSERT_TRUE(BASS_Free());
    }
    EXPECT_FALSE(BASS_Init(7, 44100, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_DEVICE);
}

TEST_F(SdlOutputTest, WithoutAnySoundDeviceTheDefaultDevicePlaysSilently)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    AudioDeviceInfo info {};
    EXPECT_FALSE(BASS_GetDeviceInfo(1, &info));
    EXPECT_FALSE(BASS_Init(1, 44100, 0));
    ASSERT_TRUE(BASS_Init(AUDIO_DEVICE_DEFAULT, 44100, 0)) << BASS_ErrorGetCode();
    // The library says so: device 0, no sound, is the one in use.
    ASSERT_TRUE(BASS_GetDeviceInfo(0, &info));
    EXPECT_TRUE(info.flags & AUDIO_DEVICE_INIT);
    const AudioStream stream = OpenTone();
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(BASS_ChannelIsActive(stream), AUDIO_ACTIVE_PLAYING);
}

TEST_F(SdlOutputTest, WhatTheOutputHoldsIsHeardWithinATenthOfASecond)
{
    // A volume change, a mute or a stop reaches the ear after what lies queued between the mixer and
    // the sound server; the spectrum looks back by the same amount.
    ASSERT_TRUE(CSdlOutput::InitSubsystem());
    CMixer mixer;
    CSdlOutput output(mixer, 44100);
    ASSERT_EQ(output.Open(-1), AUDIO_OK);
    EXPECT_GT(output.LatencyFrames(), 0);
    EXPECT_LE(output.LatencyFrames(), 44100 / 10);
    output.Stop();
    CSdlOutput::QuitSubsystem();
}
