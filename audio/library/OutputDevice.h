#pragma once

// An output that pulls mixed sound from the mixer at its own pace.
class COutputDevice
{
public:
    virtual ~COutputDevice() = default;
    virtual bool Start() = 0;
    // Stops pulling; no mixing pass runs after it returns.
    virtual void Stop() = 0;
    // Frames between the mixer and the listener's ear.
    virtual int LatencyFrames() const = 0;
    virtual int SampleRate() const = 0;
    // Something that must be heard at once changed in the mix: an output that holds much sound
    // ahead of the listener mixes what it has queued again (CMixer::Remix) on its own thread. Returns
    // at once, whatever the output's device or server is doing.
    virtual void RewriteQueued() { }
};
