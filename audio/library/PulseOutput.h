#pragma once

#include "audio/library/OutputDevice.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMixer;
struct pa_context;
struct pa_defer_event;
struct pa_mainloop_api;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

// A playback stream on a PulseAudio server (PipeWire serves the same protocol). The server keeps
// about half a second queued and asks for sound in large chunks; each request wakes the mainloop's
// thread once, which mixes straight into the server's buffer. What must be heard at once (a volume
// change, a stop, a channel that starts) is mixed again over the part of the queue not yet heard, on
// that thread too, with the timing it has: a caller never waits for the server.
class CPulseOutput : public COutputDevice
{
public:
    struct Sink {
        std::string name; // the server's name, to open it by
        std::string description; // the name shown to the user
        bool isDefault = false;
    };
    // The server's sinks in its order. Returns AUDIO_OK, AUDIO_ERROR_DRIVER when no server is there,
    // or AUDIO_ERROR_TIMEOUT when one is there but did not answer in time.
    static int ListSinks(std::vector<Sink>& sinks);

    CPulseOutput(CMixer& mixer, int sampleRate);
    ~CPulseOutput() override;

    // Connects and opens a stream on the sink of that name (empty: the server's default). Returns
    // AUDIO_OK, AUDIO_ERROR_DRIVER when no server is there, AUDIO_ERROR_TIMEOUT when one is there but
    // did not answer in time, or AUDIO_ERROR_DEVICE when the server refuses the stream (the sink is
    // gone, or the server has none).
    int Open(const std::string& sink);
    bool Start() override;
    void Stop() override;
    int LatencyFrames() const override { return m_latencyFrames; }
    int SampleRate() const override { return m_rate; }
    void RewriteQueued() override;

private:
    struct Connection;

    static void OnStreamState(pa_stream* stream, void* user);
    static void OnWrite(pa_stream* stream, size_t bytes, void* user);
    static void OnMoved(pa_stream* stream, void* user);
    static void OnRewrite(pa_mainloop_api* api, pa_defer_event* event, void* user);
    // Asks whether the stream's sink takes back what it holds; nullptr when it cannot be asked.
    pa_operation* AskWhetherTheSinkRewinds();
    void Fill(size_t bytes);
    // Mixes again what lies between the ear and the write end, but a margin, and writes it over the queue.
    void Rewrite();
    // Frames between the write end of the queue and the ear now; -1 when the server has not told yet.
    int QueuedFrames();
    // Frames in the server's own queue for the stream (and sinkFrames more that its sink held) by its
    // last timing answer, less what has been heard since; -1 when unknown.
    int ServerQueueFrames(int sinkFrames = 0);
    // Asks the server for timing unless a question is under way; false when it cannot be asked.
    bool AskTiming();
    void RefreshTiming(); // asks for timing when the last answer is old
    bool IsPipeWire(); // the server is PipeWire's PulseAudio service
    void Fail();

    CMixer& m_mixer;
    const int m_rate;
    std::unique_ptr<Connection> m_connection;
    pa_threaded_mainloop* m_loop = nullptr; // the connection's
    pa_context* m_context = nullptr; // the connection's
    pa_stream* m_stream = nullptr; // mainloop lock
    int m_latencyFrames = 0; // set by Open
    bool m_opened = false; // mainloop lock: the stream is up, its end is a failure
    bool m_failed = false; // mainloop lock
    std::vector<int16_t> m_scratch; // mainloop lock: used when the server cannot lend its buffer
    std::vector<int16_t> m_rewrite; // mainloop lock: what is written over the queue
    int m_remixMarginFrames = 0; // set by Open
    // Mainloop lock. A sink that cannot rewind renders what it holds although the queue is written
    // over, so what is mixed again starts beyond it.
    bool m_sinkRewinds = true;
    int m_sinkLatencyFrames = 0; // mainloop lock: the most such a sink holds
    bool m_pipeWire = false; // set by Open
    pa_operation* m_timingUpdate = nullptr; // mainloop lock
    pa_defer_event* m_rewriteEvent = nullptr; // mainloop lock: enabled while a rewrite is due
    bool m_rewriteWaits = false; // mainloop lock: a rewrite waits for the server's first timing answer
};
