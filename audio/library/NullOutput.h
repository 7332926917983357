#pragma once

#include "audio/library/OutputDevice.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class CMixer;

// Knobs of the "no sound" device for tests; they apply to devices started afterwards.
struct NullOutputKnobs {
    bool noClock = false; // consume as fast as the channels deliver instead of in real time
    int addedLatencyMs = 0; // reported on top of the device's own block
    // Sees every mixed block (interleaved stereo) on the output thread.
    std::function<void(const int16_t* samples, int frames)> tap;
};

// Device 0, "no sound": a thread that pulls mixed sound at real time (20 ms blocks) and drops it.
class CNullOutput : public COutputDevice
{
public:
    static constexpr int kBlockMs = 20;

    static void SetKnobs(const NullOutputKnobs& knobs);
    static NullOutputKnobs Knobs();
    // Makes every channel of the running device find no data for ms milliseconds.
    static void SimulateUnderrun(int ms);

    CNullOutput(CMixer& mixer, int sampleRate);
    ~CNullOutput() override;

    bool Start() override;
    void Stop() override;
    int LatencyFrames() const override;
    int SampleRate() const override { return m_rate; }

private:
    void Run();

    CMixer& m_mixer;
    const int m_rate;
    const NullOutputKnobs m_knobs; // copied at construction
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};
