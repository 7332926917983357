#pragma once

#include "audio/library/AudioLibrary.h"
#include "audio/library/Mixer.h"
#include "audio/library/PulseOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CChannel;
class COutputDevice;

// Library settings; a stream takes a copy when it is created.
struct AudioConfig {
    int bufferMs = 500;
    int netTimeoutMs = 5000;
    int netBufferMs = 5000;
    int netPrebufferPercent = 75;
    std::string userAgent;
    int playlistMode = 0;
    int updateThreads = 1;
};

// The process-wide state of the library: the output device and its mixer, the settings, the handle
// tables and the count of the library's own threads.
//
// Lock order: a channel lock before m_deviceMutex before m_mutex; neither engine mutex is held
// while a channel is freed or a callback runs. Free() frees the streams with no engine mutex held and
// marks the engine as freeing meanwhile, so that an Init() on another thread waits for it.
class CAudioEngine
{
public:
    static CAudioEngine& Instance();

    int Init(int device, uint32_t freq);
    int Free();
    bool IsInitialised() const;
    int OutputRate() const;
    int OutputLatencyFrames() const;
    CMixer& Mixer() { return m_mixer; }
    bool DeviceInfo(uint32_t device, AudioDeviceInfo& info, int& error);

    AudioConfig Config() const;
    int SetConfig(uint32_t option, uint32_t value);
    int SetConfigPtr(uint32_t option, const void* value);

    uint32_t NewHandle();
    // Registers a stream being created on behalf of creator (null: no one): AUDIO_ERROR_NOT_INIT when
    // the library is not initialised, AUDIO_ERROR_UNKNOWN when creator's creations are aborted.
    int AddChannel(const std::shared_ptr<CChannel>& channel, const void* creator);
    // The stream's creation has returned: it can no longer be aborted.
    void CreationEnded(uint32_t handle);
    // Aborts every creation on behalf of creator, now and until it is lifted (abort false).
    void AbortCreations(const void* creator, bool abort);
    std::shared_ptr<CChannel> FindChannel(uint32_t handle) const;
    void RemoveChannel(uint32_t handle);
    void AddEffect(uint32_t effect, uint32_t channel);
    uint32_t EffectChannel(uint32_t effect) const;
    void RemoveEffect(uint32_t effect);

    // Starts one of the library's threads (fault translator installed); Free() waits for them.
    bool StartThread(std::function<void()> work);

    AudioPlugin LoadPlugin(const char* file, int& error);

private:
    CAudioEngine();
    void ThreadEnded();
    int OpenServerOutput(int device, int rate, std::unique_ptr<COutputDevice>& output);
    // The sound server's sinks, listed anew when fresh or when the last list is old; null when no
    // server answered (m_serverState tells why). Caller holds m_deviceMutex.
    const std::vector<CPulseOutput::Sink>* ServerSinks(bool fresh);

    std::mutex m_deviceMutex; // serialises Init, Free and device queries
    std::condition_variable m_freed; // with m_deviceMutex: a Free() has finished
    bool m_freeing = false; // guarded by m_deviceMutex
    mutable std::mutex m_mutex;
    CMixer m_mixer;
    std::unique_ptr<COutputDevice> m_output; // guarded by m_deviceMutex
    bool m_sdl = false; // guarded by m_deviceMutex
    std::atomic<bool> m_initialised { false };
    std::atomic<int> m_device { -2 }; // the device in use: 0 also when it stands in for one that failed
    bool m_silentLogged = false; // guarded by m_deviceMutex: the fall-back to no sound was logged
    std::atomic<int> m_rate { 44100 };
    std::atomic<int> m_latencyFrames { 0 };
    AudioConfig m_config; // guarded by m_mutex
    std::map<uint32_t, std::shared_ptr<CChannel>> m_channels; // guarded by m_mutex
    std::map<uint32_t, uint32_t> m_effects; // guarded by m_mutex: effect -> channel
    std::map<uint32_t, const void*> m_creators; // guarded by m_mutex: stream being created -> creator
    std::set<const void*> m_abortedCreators; // guarded by m_mutex
    std::map<std::string, AudioPlugin> m_plugins; // guarded by m_mutex
    std::set<std::string> m_names; // guarded by m_deviceMutex: device names handed out
    std::vector<CPulseOutput::Sink> m_sinks; // guarded by m_deviceMutex
    int m_serverState = AUDIO_ERROR_DRIVER; // guarded by m_deviceMutex: how the last listing went
    std::chrono::steady_clock::time_point m_sinksListedAt; // guarded by m_deviceMutex
    std::atomic<uint32_t> m_nextHandle { 0x10000 };
    std::mutex m_threadMutex;
    std::condition_variable m_threadsDone;
    int m_threads = 0; // guarded by m_threadMutex
};
