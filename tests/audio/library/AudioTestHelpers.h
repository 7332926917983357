#pragma once

#include "audio/library/AudioLibrary.h"
#include "audio/library/NullOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace audio_test
{

// Initialises the library on the "no sound" device for one test and frees it afterwards.
class LibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CNullOutput::SetKnobs(Knobs());
        ASSERT_TRUE(BASS_Init(AUDIO_DEVICE_NO_SOUND, 44100, AUDIO_INIT_SPEAKERS));
        BASS_SetConfig(AUDIO_CONFIG_NET_TIMEOUT, 5000);
        BASS_SetConfig(AUDIO_CONFIG_NET_BUFFER, 2000);
        BASS_SetConfig(AUDIO_CONFIG_NET_PREBUFFER, 50);
        BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 1);
    }
    void TearDown() override
    {
        BASS_Free();
        CNullOutput::SetKnobs({});
    }
    virtual NullOutputKnobs Knobs() const { return {}; }

    // An object for callbacks that lives until the library has been freed after the test.
    template <typename T, typename... Args> T& Keep(Args&&... args)
    {
        auto object = std::make_shared<T>(std::forward<Args>(args)...);
        m_kept.push_back(object);
        return *object;
    }

private:
    std::vector<std::shared_ptr<void>> m_kept;
};

// Records the data of every sync call, with its arrival time.
struct SyncLog {
    std::mutex mutex;
    std::vector<uint32_t> data;
    std::vector<std::chrono::steady_clock::time_point> times;
    static void Proc(AudioSync, uint32_t, uint32_t value, void* user)
    {
        auto* log = static_cast<SyncLog*>(user);
        std::lock_guard lock(log->mutex);
        log->data.push_back(value);
        log->times.push_back(std::chrono::steady_clock::now());
    }
    std::vector<uint32_t> Data()
    {
        std::lock_guard lock(mutex);
        return data;
    }
};

// Polls until predicate holds or timeoutMs passes.
inline bool WaitFor(const std::function<bool()>& predicate, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The index of the largest FFT magnitude, ignoring the constant part.
inline int PeakBin(const float* magnitudes)
{
    return int(std::max_element(magnitudes + 1, magnitudes + 1024) - magnitudes);
}

// The strings of a tag (null-terminated, ended by an empty one).
inline std::vector<std::string> TagItems(const char* tag)
{
    std::vector<std::string> items;
    while (tag && *tag) {
        items.emplace_back(tag);
        tag += items.back().size() + 1;
    }
    return items;
}

} // namespace audio_test
