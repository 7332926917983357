#pragma once

#include "tests/support/ChildProcess.h"

#include <QTemporaryDir>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support
{

// A PulseAudio server of the test's own: one null sink named "probe" (shown as "Probe"), the
// native protocol on a socket in a temporary folder, no configuration of the machine or the user read.
// Start() points this process's clients at it (PULSE_SERVER); the destructor stops it.
// With KAVRILUNE_TEST_SOUND_SERVER=pipewire it is PipeWire's PulseAudio service instead (pipewire,
// wireplumber and pipewire-pulse on a session bus of their own), to try the output there by hand.
class SoundServer
{
public:
    SoundServer() = default;
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    static bool Available(); // the server's programs are installed
    static const char* Missing(); // what a test skipped for want of them says
    static bool PipeWire(); // KAVRILUNE_TEST_SOUND_SERVER=pipewire
    // Starts the server and waits until it answers; false (with the log in reason) when it does not.
    // After Kill() it starts it again on the same address, with its sink.
    bool Start(std::string& reason);
    void Kill(); // ends it at once, as a crash would
    // Stops it where it is (SIGSTOP), as a server that hangs: it keeps its socket and answers nothing.
    void Freeze();
    void Thaw();
    // Runs pactl against this server; its exit code.
    int Control(const std::vector<std::string>& arguments);
    // Adds a sink of that name that writes what it renders to the pipe at path (made by a
    // MonitorRecorder reading it), and makes it the default. Such a sink cannot take back what it holds.
    bool AddPipeSink(const std::string& name, const std::string& path);
    std::string Address() const;

private:
    bool StartPipeWire(std::string& reason);

    QTemporaryDir m_folder;
    ChildProcess m_process; // the server the clients talk to
    ChildProcess m_bus; // PipeWire's: its session bus, graph and session manager
    ChildProcess m_graph;
    ChildProcess m_manager;
};

// A sound server that takes every connection and never says a word: a listening socket nobody reads.
class DeafSoundServer
{
public:
    DeafSoundServer();
    ~DeafSoundServer();
    DeafSoundServer(const DeafSoundServer&) = delete;
    DeafSoundServer& operator=(const DeafSoundServer&) = delete;

    bool Listening() const { return m_socket >= 0; }
    std::string Address() const; // for PULSE_SERVER
    // A client configuration that reads nothing of the machine's (no cookie, no default server).
    std::string ClientConfig() const;

private:
    QTemporaryDir m_folder;
    int m_socket = -1;
};

// Records the null sink's monitor on a thread of its own, as 16-bit stereo at 44.1 kHz.
class MonitorRecorder
{
public:
    explicit MonitorRecorder(const std::string& server);
    // Makes a pipe there and records what a pipe sink (SoundServer::AddPipeSink) renders to it
    // instead, reading it as fast as it is heard: the sink holds what the pipe holds, 23 ms at most.
    struct Pipe {
        std::string path;
    };
    explicit MonitorRecorder(const Pipe& pipe);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool Started() const { return m_started; }
    size_t Frames(); // recorded so far
    // Left-channel samples of frames [from, from + count) once recorded (fewer when the recording ended).
    std::vector<int16_t> Left(size_t from, size_t count);
    // Waits until frames have been recorded; false when the recording ended or timeoutMs passed.
    bool WaitForFrames(size_t frames, int timeoutMs);

private:
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_started { false };
    std::atomic<bool> m_ended { false };
    std::mutex m_mutex;
    std::vector<int16_t> m_samples; // guarded by m_mutex
    std::thread m_thread;
};

// Frames of samples whose magnitude passes threshold.
size_t LoudFrames(const std::vector<int16_t>& samples, int threshold = 300);
// How a steady tone's change of level is heard: frames from the command (callAt in samples) to where the
// change begins, to where it has made 90 % of it and to where it is complete (within 2 %), -1 where it
// does not; and the share of it made 5 ms after it began. ratio: the new level over the old one.
// samples hold at least 0.1 s of the old level before callAt.
struct LevelChange {
    int onset = -1;
    int ninety = -1;
    int done = -1;
    double firstFiveMs = 0;
};
LevelChange MeasureLevelChange(const std::vector<int16_t>& samples, size_t callAt, double ratio, int sampleRate);
// The pitch of a tone from the median period between its rising zero crossings, in Hz (0 for silence).
double TonePitch(const std::vector<int16_t>& samples, int sampleRate);

} // namespace testing_support
