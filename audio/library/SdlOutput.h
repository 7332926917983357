#pragma once

#include "audio/library/OutputDevice.h"

#include <cstdint>
#include <string>

class CMixer;

// An SDL2 output device. The SDL callback mixes straight into SDL's buffer.
class CSdlOutput : public COutputDevice
{
public:
    // SDL's audio subsystem, counted like SDL counts it. Callers serialise these.
    static bool InitSubsystem();
    static void QuitSubsystem();
    // Output devices as SDL lists them (index 0 is the library's device 1).
    static int DeviceCount();
    static std::string DeviceName(int index);
    static std::string DriverName();
    static std::string DefaultDeviceName();

    CSdlOutput(CMixer& mixer, int sampleRate);
    ~CSdlOutput() override;

    // Opens the device with SDL index index, or the default device for -1. Returns AUDIO_OK or an error.
    int Open(int index);
    bool Start() override;
    void Stop() override;
    int LatencyFrames() const override { return m_latencyFrames; }
    int SampleRate() const override { return m_rate; }

private:
    static void Callback(void* user, uint8_t* stream, int length);

    CMixer& m_mixer;
    const int m_rate;
    uint32_t m_device = 0;
    int m_latencyFrames = 0;
};
