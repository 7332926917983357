#include "tests/audio/library/AudioTestHelpers.h"

#include "tests/support/TestMedia.h"

#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace audio_test;
using namespace testing_support;

namespace
{

class AudioEngineTest : public LibraryTest
{
protected:
    AudioStream OpenTone()
    {
        SineOptions options;
        options.seconds = 30.0;
        const QString path = m_folder.filePath(QStringLiteral("tone%1.wav").arg(m_count++));
        EXPECT_TRUE(GenerateSine(path, MediaFormat::WavPcm, options));
        const AudioStream stream = BASS_StreamCreateFile(false, path.toUtf8().constData(), 0, 0, 0x940000);
        EXPECT_NE(stream, 0u) << BASS_ErrorGetCode();
        return stream;
    }

    QTemporaryDir m_folder;
    int m_count = 0;
};

// The user data of a DSP: its owner marks it released once the library said the stream is gone.
struct Owner {
    std::atomic<int> calls { 0 };
    std::atomic<bool> released { false };
    std::atomic<int> callsAfterRelease { 0 };
    // One call holds on for a while, doing what the test sets.
    std::atomic<int> slowCall { -1 };
    std::atomic<bool> inSlowCall { false };
    std::atomic<bool> slowCallDone { false };
    bool queryDevice = false;

    static void Dsp(AudioDsp, uint32_t, void*, uint32_t, void* user)
    {
        auto* owner = static_cast<Owner*>(user);
        const int call = owner->calls++;
        if (owner->released)
            ++owner->callsAfterRelease;
        if (call != owner->slowCall)
            return;
        owner->inSlowCall = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (owner->queryDevice) {
            AudioDeviceInfo info {};
            BASS_GetDeviceInfo(0, &info);
        }
        owner->slowCallDone = true;
    }
};

// A wait that must end: a deadlocked library cannot be cleaned up, so the test program stops.
void JoinOrAbort(std::thread& thread, const std::atomic<bool>& done, const char* what)
{
    if (!WaitFor([&] { return done.load(); }, 10000)) {
        std::fprintf(stderr, "%s did not return: deadlock\n", what);
        std::abort();
    }
    thread.join();
}

} // namespace

TEST_F(AudioEngineTest, WhileTheLibraryIsFreedAStreamStaysFoundUntilItsCallbacksHaveEnded)
{
    const AudioStream first = OpenTone();
    const AudioStream second = OpenTone();
    ASSERT_TRUE(first && second);
    Owner& owner = Keep<Owner>();
    ASSERT_NE(BASS_ChannelSetDSP(second, &Owner::Dsp, &owner, 0), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(first, false));
    ASSERT_TRUE(BASS_ChannelPlay(second, false));
    ASSERT_TRUE(WaitFor([&] { return owner.calls > 3; }, 5000));

    // Holding the first stream's lock keeps the library's Free busy with it for a second. Meanwhile
    // the second stream's owner does what a player does: once the lock fails, it stops the stream and
    // takes that as the end of every callback.
    ASSERT_TRUE(BASS_ChannelLock(first, true));
    std::atomic<bool> freed { false };
    std::thread freer([&] {
        BASS_Free();
        freed = true;
    });
    const auto release = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    bool holding = true;
    while (!owner.released) {
        if (BASS_ChannelLock(second, true)) {
            BASS_ChannelLock(second, false);
        } else {
            BASS_ChannelStop(second);
            owner.released = true;
        }
        if (holding && std::chrono::steady_clock::now() > release) {
            BASS_ChannelLock(first, false);
            holding = false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(owner.callsAfterRelease, 0);
    if (holding)
        BASS_ChannelLock(first, false);
    JoinOrAbort(freer, freed, "BASS_Free");
    ASSERT_TRUE(BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, 0));
}

TEST_F(AudioEngineTest, ADspMayQueryTheDeviceWhileTheLibraryIsFreed)
{
    const AudioStream stream = OpenTone();
    ASSERT_NE(stream, 0u);
    Owner& owner = Keep<Owner>();
    owner.slowCall = 5;
    owner.queryDevice = true;
    ASSERT_NE(BASS_ChannelSetDSP(stream, &Owner::Dsp, &owner, 0), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return owner.inSlowCall.load(); }, 5000));

    std::atomic<bool> freed { false };
    std::thread freer([&] {
        BASS_Free();
        freed = true;
    });
    JoinOrAbort(freer, freed, "BASS_Free");
    EXPECT_TRUE(owner.slowCallDone);
    ASSERT_TRUE(BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, 0));
}

TEST_F(AudioEngineTest, StoppingAStreamThatAnotherThreadFreesReturnsOnceItsCallbackHasEnded)
{
    const AudioStream stream = OpenTone();
    ASSERT_NE(stream, 0u);
    Owner& owner = Keep<Owner>();
    owner.slowCall = 5;
    ASSERT_NE(BASS_ChannelSetDSP(stream, &Owner::Dsp, &owner, 0), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(stream, false));
    ASSERT_TRUE(WaitFor([&] { return owner.inSlowCall.load(); }, 5000));

    std::atomic<bool> stopped { false };
    std::thread stopper([&] {
        BASS_ChannelStop(stream); // auto-free: waits for the DSP
        stopped = true;
    });
    // The lock fails once freeing has begun, while the DSP still runs.
    while (BASS_ChannelLock(stream, true)) {
        BASS_ChannelLock(stream, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    BASS_ChannelStop(stream);
    EXPECT_TRUE(owner.slowCallDone) << "returned while a callback of the stream still ran";
    JoinOrAbort(stopper, stopped, "BASS_ChannelStop");
    EXPECT_FALSE(BASS_ChannelStop(stream));
    EXPECT_EQ(BASS_ErrorGetCode(), AUDIO_ERROR_HANDLE);
}
