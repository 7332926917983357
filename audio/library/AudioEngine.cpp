#include "audio/library/AudioEngine.h"

#include "audio/library/Channel.h"
#include "audio/library/NullOutput.h"
#include "audio/library/PulseOutput.h"
#include "audio/library/SdlOutput.h"

#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "core/Thread.h"

#include <BuildInfo.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace
{

constexpr int kDefaultRate = 44100;
constexpr auto kThreadExitWait = std::chrono::seconds(10);
// The device list asks the sound server once for a run of device queries.
constexpr auto kSinkListLifetime = std::chrono::seconds(1);

// The sound server is played to directly when one answers, unless a driver was chosen for SDL.
bool SoundServerWanted()
{
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return !driver || !*driver;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

CAudioEngine& CAudioEngine::Instance()
{
    static CAudioEngine* engine = new CAudioEngine(); // never destroyed: threads may outlive static destruction
    return *engine;
}

CAudioEngine::CAudioEngine()
{
    m_config.userAgent = std::string(KAVRILUNE_PRODUCT_NAME) + "/" + KAVRILUNE_PRODUCT_VERSION;
}

int CAudioEngine::Init(int device, uint32_t freq)
{
    std::unique_lock device_lock(m_deviceMutex);
    m_freed.wait(device_lock, [this] { return !m_freeing; });
    if (m_initialised && !m_mixer.IsLost())
        return AUDIO_ERROR_ALREADY;
    if (device < AUDIO_DEVICE_DEFAULT)
        return AUDIO_ERROR_DEVICE;
    if (m_initialised) {
        // The output was lost (its sound server or device went away) and every stream on it stopped;
        // a player that starts while another still holds its stream (a crossfade) opens it afresh.
        m_initialised = false;
        m_output->Stop();
        m_output.reset();
        if (m_sdl)
            CSdlOutput::QuitSubsystem();
        m_sdl = false;
    }
    const int rate = freq == 0 ? kDefaultRate : std::clamp(int(freq), 8000, 192000);

    std::unique_ptr<COutputDevice> output;
    bool sdl = false;
    if (device != AUDIO_DEVICE_NO_SOUND && SoundServerWanted()) {
        // Only without a server is SDL tried. One that is there but does not answer, or has nowhere to
        // play, would be asked again through SDL, whose way to it waits without end or crashes.
        const int result = OpenServerOutput(device, rate, output);
        if (result != AUDIO_OK && result != AUDIO_ERROR_DRIVER)
            return result;
    }
    if (device != AUDIO_DEVICE_NO_SOUND && !output) {
        if (CSdlOutput::InitSubsystem()) {
            auto sdlOutput = std::make_unique<CSdlOutput>(m_mixer, rate);
            if (device > 0 && device > CSdlOutput::DeviceCount()) {
                CSdlOutput::QuitSubsystem();
                return AUDIO_ERROR_DEVICE;
            }
            const int result = sdlOutput->Open(device > 0 ? device - 1 : -1);
            if (result == AUDIO_OK) {
                output = std::move(sdlOutput);
                sdl = true;
            } else {
                CSdlOutput::QuitSubsystem();
                if (device > 0)
                    return result;
            }
        } else if (device > 0) {
            return AUDIO_ERROR_DRIVER;
        }
        if (!output && !m_silentLogged) {
            // The default device on a machine without sound: play on, silently (a recording still
            // works). Device 0 shows as the one in use, so that players can tell the user.
            WriteErrorLog(
                "AudioEngine", __LINE__, QStringLiteral("No sound device could be opened; playing without sound."));
            m_silentLogged = true;
        }
    }
    const bool silent = !output;
    if (silent)
        output = std::make_unique<CNullOutput>(m_mixer, rate);
    else
        m_silentLogged = false;
    if (!output->Start()) {
        if (sdl)
            CSdlOutput::QuitSubsystem();
        return AUDIO_ERROR_DRIVER;
    }
    m_rate = rate;
    m_latencyFrames = output->LatencyFrames();
    m_output = std::move(output);
    m_sdl = sdl;
    m_device = silent ? AUDIO_DEVICE_NO_SOUND : device;
    m_initialised = true;
    return AUDIO_OK;
}

// AUDIO_ERROR_DRIVER when no sound server is there: the caller tries SDL then.
int CAudioEngine::OpenServerOutput(int device, int rate, std::unique_ptr<COutputDevice>& output)
{
    std::string sink;
    if (device > 0) {
        const std::vector<CPulseOutput::Sink>* sinks = ServerSinks(true);
        if (!sinks)
            return m_serverState;
        if (size_t(device) > sinks->size())
            return AUDIO_ERROR_DEVICE;
        sink = (*sinks)[size_t(device) - 1].name;
    }
    auto pulse = std::make_unique<CPulseOutput>(m_mixer, rate);
    const int result = pulse->Open(sink);
    if (result == AUDIO_OK)
        output = std::move(pulse);
    return result;
}

const std::vector<CPulseOutput::Sink>* CAudioEngine::ServerSinks(bool fresh)
{
    if (fresh || std::chrono::steady_clock::now() - m_sinksListedAt > kSinkListLifetime) {
        m_serverState = CPulseOutput::ListSinks(m_sinks);
        // From the answer on: a server slow to answer is not asked again at every query of a run.
        m_sinksListedAt = std::chrono::steady_clock::now();
    }
    return m_serverState == AUDIO_OK ? &m_sinks : nullptr;
}

int CAudioEngine::Free()
{
    {
        std::lock_guard device_lock(m_deviceMutex);
        if (!m_initialised)
            return AUDIO_ERROR_NOT_INIT;
        m_initialised = false; // no stream can be added from here on
        m_freeing = true;
    }
    // Freeing a stream waits for its callbacks, which may query the device: no engine mutex is held
    // meanwhile. Each stream is freed before it leaves the table, so that a handle that cannot be
    // found never has a callback left to run.
    std::vector<std::shared_ptr<CChannel>> channels;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [handle, channel] : m_channels)
            channels.push_back(channel);
    }
    for (const std::shared_ptr<CChannel>& channel : channels) {
        channel->Free();
        RemoveChannel(channel->Handle());
    }
    channels.clear();
    {
        std::unique_lock lock(m_threadMutex);
        if (!m_threadsDone.wait_for(lock, kThreadExitWait, [this] { return m_threads == 0; }))
            WriteErrorLog("AudioEngine", __LINE__, QStringLiteral("A stream thread did not end in time."));
    }
    {
        std::lock_guard device_lock(m_deviceMutex);
        m_output->Stop();
        m_output.reset();
        if (m_sdl)
            CSdlOutput::QuitSubsystem();
        m_sdl = false;
        m_device = -2;
        m_freeing = false;
    }
    m_freed.notify_all();
    return AUDIO_OK;
}

bool CAudioEngine::IsInitialised() const
{
    return m_initialised;
}

int CAudioEngine::OutputRate() const
{
    return m_rate;
}

int CAudioEngine::OutputLatencyFrames() const
{
    return m_latencyFrames;
}

bool CAudioEngine::DeviceInfo(uint32_t device, AudioDeviceInfo& info, int& error)
{
    std::lock_guard device_lock(m_deviceMutex);
    if (device == 0) {
        info.name = "No sound";
        info.driver = "";
        info.flags = AUDIO_DEVICE_ENABLED | (m_initialised && m_device == 0 ? uint32_t(AUDIO_DEVICE_INIT) : 0u);
        return true;
    }
    if (SoundServerWanted()) {
        if (const std::vector<CPulseOutput::Sink>* sinks = ServerSinks(false)) {
            if (device > sinks->size()) {
                error = AUDIO_ERROR_DEVICE;
                return false;
            }
            const CPulseOutput::Sink& sink = (*sinks)[device - 1];
            info.name = m_names.insert(sink.description).first->c_str();
            info.driver = m_names.insert("pulseaudio").first->c_str();
            info.flags = AUDIO_DEVICE_ENABLED | (sink.isDefault ? AUDIO_DEVICE_IS_DEFAULT : 0u)
                | (m_initialised && m_device == int(device) ? uint32_t(AUDIO_DEVICE_INIT) : 0u);
            return true;
        }
        if (m_serverState != AUDIO_ERROR_DRIVER) {
            // A server is there but did not answer: SDL would ask it again and wait.
            error = AUDIO_ERROR_DEVICE;
            return false;
        }
    }
    if (!CSdlOutput::InitSubsystem()) {
        error = AUDIO_ERROR_DEVICE;
        return false;
    }
    const int count = CSdlOutput::DeviceCount();
    bool found = false;
    if (device <= uint32_t(std::max(count, 0))) {
        const std::string name = CSdlOutput::DeviceName(int(device) - 1);
        if (!name.empty()) {
            info.name = m_names.insert(name).first->c_str();
            info.driver = m_names.insert(CSdlOutput::DriverName()).first->c_str();
            info.flags = AUDIO_DEVICE_ENABLED;
            if (name == CSdlOutput::DefaultDeviceName())
                info.flags |= AUDIO_DEVICE_IS_DEFAULT;
            if (m_initialised && m_device == int(device))
                info.flags |= AUDIO_DEVICE_INIT;
            found = true;
        }
    }
    CSdlOutput::QuitSubsystem();
    if (!found)
        error = AUDIO_ERROR_DEVICE;
    return found;
}

AudioConfig CAudioEngine::Config() const
{
    std::lock_guard lock(m_mutex);
    return m_config;
}

int CAudioEngine::SetConfig(uint32_t option, uint32_t value)
{
    std::lock_guard lock(m_mutex);
    const int number = int(std::min<uint32_t>(value, 1u << 30));
    switch (option) {
    case AUDIO_CONFIG_BUFFER:
        m_config.bufferMs = std::clamp(number, 10, 5000);
        return AUDIO_OK;
    case AUDIO_CONFIG_VOLUME_CURVE:
        return value == 0 ? AUDIO_OK : AUDIO_ERROR_PARAMETER;
    case AUDIO_CONFIG_NET_TIMEOUT:
        m_config.netTimeoutMs = std::clamp(number, 500, 600000);
        return AUDIO_OK;
    case AUDIO_CONFIG_NET_BUFFER:
        m_config.netBufferMs = std::clamp(number, 500, 60000);
        return AUDIO_OK;
    case AUDIO_CONFIG_NET_PREBUFFER:
        m_config.netPrebufferPercent = std::clamp(number, 0, 100);
        return AUDIO_OK;
    case AUDIO_CONFIG_NET_PLAYLIST:
        if (value > 2)
            return AUDIO_ERROR_PARAMETER;
        m_config.playlistMode = number;
        return AUDIO_OK;
    case AUDIO_CONFIG_UPDATE_THREADS:
        m_config.updateThreads = std::clamp(number, 0, 64);
        return AUDIO_OK;
    default:
        return AUDIO_ERROR_PARAMETER;
    }
}

int CAudioEngine::SetConfigPtr(uint32_t option, const void* value)
{
    if (option != AUDIO_CONFIG_NET_AGENT)
        return AUDIO_ERROR_PARAMETER;
    std::lock_guard lock(m_mutex);
    m_config.userAgent = value ? static_cast<const char*>(value)
                               : std::string(KAVRILUNE_PRODUCT_NAME) + "/" + KAVRILUNE_PRODUCT_VERSION;
    return AUDIO_OK;
}

uint32_t CAudioEngine::NewHandle()
{
    uint32_t handle;
    do {
        handle = m_nextHandle.fetch_add(1);
    } while (handle == 0);
    return handle;
}

int CAudioEngine::AddChannel(const std::shared_ptr<CChannel>& channel, const void* creator)
{
    std::lock_guard lock(m_mutex);
    if (!m_initialised)
        return AUDIO_ERROR_NOT_INIT;
    if (creator) {
        if (m_abortedCreators.count(creator))
            return AUDIO_ERROR_UNKNOWN;
        m_creators[channel->Handle()] = creator;
    }
    m_channels[channel->Handle()] = channel;
    return AUDIO_OK;
}

void CAudioEngine::CreationEnded(uint32_t handle)
{
    std::lock_guard lock(m_mutex);
    m_creators.erase(handle);
}

void CAudioEngine::AbortCreations(const void* creator, bool abort)
{
    // A creation registers itself under m_mutex: one that began before the mark is found here, and
    // one that begins after it sees the mark.
    std::vector<std::shared_ptr<CChannel>> pending;
    {
        std::lock_guard lock(m_mutex);
        if (!abort) {
            m_abortedCreators.erase(creator);
            return;
        }
        m_abortedCreators.insert(creator);
        for (const auto& [handle, owner] : m_creators) {
            const auto it = m_channels.find(handle);
            if (owner == creator && it != m_channels.end())
                pending.push_back(it->second);
        }
    }
    for (const std::shared_ptr<CChannel>& channel : pending)
        channel->AbortOpen();
}

std::shared_ptr<CChannel> CAudioEngine::FindChannel(uint32_t handle) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_channels.find(handle);
    return it == m_channels.end() ? nullptr : it->second;
}

void CAudioEngine::RemoveChannel(uint32_t handle)
{
    std::shared_ptr<CChannel> removed;
    std::lock_guard lock(m_mutex);
    const auto it = m_channels.find(handle);
    if (it != m_channels.end()) {
        removed = std::move(it->second); // dropped after the lock: a channel may end on this thread
        m_channels.erase(it);
    }
    std::erase_if(m_effects, [&](const auto& item) { return item.second == handle; });
}

void CAudioEngine::AddEffect(uint32_t effect, uint32_t channel)
{
    std::lock_guard lock(m_mutex);
    m_effects[effect] = channel;
}

uint32_t CAudioEngine::EffectChannel(uint32_t effect) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_effects.find(effect);
    return it == m_effects.end() ? 0 : it->second;
}

void CAudioEngine::RemoveEffect(uint32_t effect)
{
    std::lock_guard lock(m_mutex);
    m_effects.erase(effect);
}

bool CAudioEngine::StartThread(std::function<void()> work)
{
    {
        std::lock_guard lock(m_threadMutex);
        ++m_threads;
    }
    const bool started = BeginThread(
        [this, work = std::move(work)]() mutable {
            try {
                work();
            } catch (CSeException* e) {
                e->Log("AudioEngine", __LINE__);
                e->Delete();
            } catch (const std::exception& e) {
                WriteErrorLog("AudioEngine", __LINE__, QString::fromLocal8Bit(e.what()));
            } catch (...) {
                WriteErrorLog("AudioEngine", __LINE__, QStringLiteral("A stream thread threw an unknown exception."));
            }
            work = nullptr; // releases what the work held before the thread counts as ended
            ThreadEnded();
        },
        true);
    if (!started) {
        WriteErrorLog("AudioEngine", __LINE__, QStringLiteral("Cannot start a stream thread."));
        ThreadEnded();
    }
    return started;
}

void CAudioEngine::ThreadEnded()
{
    std::lock_guard lock(m_threadMutex);
    if (--m_threads == 0)
        m_threadsDone.notify_all();
}

AudioPlugin CAudioEngine::LoadPlugin(const char* file, int& error)
{
    if (!file || !*file) {
        error = AUDIO_ERROR_FILE_OPEN;
        return 0;
    }
    std::string name = file;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    name = Lower(name);
    // Every decoder is built in: an add-on name stands for the formats it would add, and loads when
    // FFmpeg can decode them.
    bool available;
    std::string kind;
    if (name.find("wma") != std::string::npos) {
        kind = "wma";
        available = avcodec_find_decoder(AV_CODEC_ID_WMAV2) && av_find_input_format("asf");
    } else if (name.find("aac") != std::string::npos) {
        kind = "aac";
        available = avcodec_find_decoder(AV_CODEC_ID_AAC) && av_find_input_format("aac") && av_find_input_format("mov");
    } else {
        struct stat info {
        };
        error = stat(file, &info) == 0 ? AUDIO_ERROR_FILE_FORMAT : AUDIO_ERROR_FILE_OPEN;
        return 0;
    }
    if (!available) {
        error = AUDIO_ERROR_FILE_FORMAT;
        return 0;
    }
    std::lock_guard lock(m_mutex);
    AudioPlugin& handle = m_plugins[kind];
    if (handle == 0)
        handle = NewHandle();
    return handle;
}
