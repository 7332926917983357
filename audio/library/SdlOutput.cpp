#include "audio/library/SdlOutput.h"

#include "audio/library/AudioLibrary.h"
#include "audio/library/Mixer.h"

#include <SDL.h>

namespace
{

// SDL asks the sound server for a buffer of one callback's length and mixes a callback ahead of it, so
// about two callbacks lie between the mixer and the ear. 2048 frames (46 ms at 44.1 kHz) keep that
// under a tenth of a second, so a volume change, a mute or a stop is heard at once, while the sound
// server and SDL's thread wake half as often as with 1024-frame callbacks: a sound server spends
// most of its time for a stream on those wake-ups.
constexpr int kCallbackFrames = 2048;

} // namespace

bool CSdlOutput::InitSubsystem()
{
    // The audio subsystem brings up SDL's events, which would otherwise take SIGINT and SIGTERM for a
    // quit event nobody reads: the program that uses the library decides how it ends.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

void CSdlOutput::QuitSubsystem()
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int CSdlOutput::DeviceCount()
{
    return SDL_GetNumAudioDevices(0);
}

std::string CSdlOutput::DeviceName(int index)
{
    const char* name = SDL_GetAudioDeviceName(index, 0);
    return name ? name : std::string();
}

std::string CSdlOutput::DriverName()
{
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? name : std::string();
}

std::string CSdlOutput::DefaultDeviceName()
{
    char* name = nullptr;
    SDL_AudioSpec spec;
    if (SDL_GetDefaultAudioInfo(&name, &spec, 0) != 0 || !name)
        return std::string();
    std::string result = name;
    SDL_free(name);
    return result;
}

CSdlOutput::CSdlOutput(CMixer& mixer, int sampleRate)
    : m_mixer(mixer)
    , m_rate(sampleRate)
{
}

CSdlOutput::~CSdlOutput()
{
    Stop();
}

int CSdlOutput::Open(int index)
{
    std::string name;
    if (index >= 0) {
        name = DeviceName(index);
        if (name.empty())
            return AUDIO_ERROR_DEVICE;
    }
    SDL_AudioSpec wanted {};
    wanted.freq = m_rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kCallbackFrames;
    wanted.callback = &CSdlOutput::Callback;
    wanted.userdata = this;
    SDL_AudioSpec obtained {};
    // No changes allowed: SDL converts to whatever the hardware wants.
    m_device = SDL_OpenAudioDevice(index >= 0 ? name.c_str() : nullptr, 0, &wanted, &obtained, 0);
    if (m_device == 0)
        return AUDIO_ERROR_DRIVER;
    m_latencyFrames = int(obtained.samples) * 2;
    m_mixer.Prepare(m_rate);
    return AUDIO_OK;
}

bool CSdlOutput::Start()
{
    if (m_device == 0)
        return false;
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void CSdlOutput::Stop()
{
    if (m_device != 0) {
        SDL_CloseAudioDevice(m_device); // waits for a running callback
        m_device = 0;
    }
}

void CSdlOutput::Callback(void* user, uint8_t* stream, int length)
{
    CSdlOutput& self = *static_cast<CSdlOutput*>(user);
    self.m_mixer.Mix(reinterpret_cast<int16_t*>(stream), length / 4, false);
}
