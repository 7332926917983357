#include "tests/support/SoundServer.h"

#include "tests/support/TestPaths.h"

#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace testing_support
{

namespace
{

bool ProgramInstalled(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

SoundServer::~SoundServer()
{
    m_process.Stop();
    m_manager.Stop();
    m_graph.Stop();
    m_bus.Stop();
}

bool SoundServer::PipeWire()
{
    const char* server = std::getenv("KAVRILUNE_TEST_SOUND_SERVER");
    return server && std::string(server) == "pipewire";
}

bool SoundServer::Available()
{
    if (PipeWire())
        return ProgramInstalled("pipewire") && ProgramInstalled("pipewire-pulse") && ProgramInstalled("wireplumber")
            && ProgramInstalled("dbus-daemon") && ProgramInstalled("pactl");
    return ProgramInstalled("pulseaudio");
}

const char* SoundServer::Missing()
{
    return PipeWire() ? "pipewire, pipewire-pulse or wireplumber is not installed"
                      : "pulseaudio is not installed (scripts/install-deps installs it)";
}

std::string SoundServer::Address() const
{
    // pipewire-pulse listens in the runtime folder's pulse/.
    return "unix:"
        + m_folder.filePath(PipeWire() ? QStringLiteral("pulse/native") : QStringLiteral("native")).toStdString();
}

bool SoundServer::StartPipeWire(std::string& reason)
{
    const std::string home = m_folder.path().toStdString();
    const std::vector<std::string> environment { "env", "HOME=" + home, "XDG_RUNTIME_DIR=" + home,
        "XDG_CONFIG_HOME=" + home + "/config", "XDG_STATE_HOME=" + home + "/state",
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + home + "/bus" };
    // After Kill() only the PulseAudio service is gone: the pieces still running are kept.
    const auto start = [&](ChildProcess& process, std::vector<std::string> command, const char* log) {
        command.insert(command.begin(), environment.begin(), environment.end());
        return process.IsRunning() || process.Start(command, m_folder.filePath(QString::fromUtf8(log)));
    };
    const auto waitFor = [&](const std::string& path) {
        for (int attempt = 0; attempt < 100 && ::access(path.c_str(), F_OK) != 0; ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return ::access(path.c_str(), F_OK) == 0;
    };
    // The session manager links the streams to the sink; it wants a session bus.
    if (!start(m_bus, { "dbus-daemon", "--session", "--nofork", "--address=unix:path=" + home + "/bus" }, "bus.log")
        || !waitFor(home + "/bus") || !start(m_graph, { "pipewire" }, "pipewire.log") || !waitFor(home + "/pipewire-0")
        || !start(m_manager, { "wireplumber" }, "wireplumber.log")
        || !start(m_process, { "pipewire-pulse" }, "server.log")) {
        reason = "cannot start pipewire";
        return false;
    }
    ::setenv("PULSE_SERVER", Address().c_str(), 1);
    for (int attempt = 0; attempt < 100 && Control({ "info" }) != 0; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (Control({ "load-module", "module-null-sink", "sink_name=probe", "rate=44100", "channels=2",
            "sink_properties=device.description=Probe" })
            != 0
        || Control({ "set-default-sink", "probe" }) != 0) {
        reason = "pipewire-pulse does not answer: " + ReadBytes(m_folder.filePath("server.log")).toStdString();
        return false;
    }
    return true;
}

bool SoundServer::Start(std::string& reason)
{
    if (PipeWire()) {
        if (!WriteBytes(m_folder.path() + "/client.conf", "autospawn = no\n")) {
            reason = "cannot write the server's files";
            return false;
        }
        ::setenv("PULSE_CLIENTCONFIG", m_folder.filePath("client.conf").toStdString().c_str(), 1);
        return StartPipeWire(reason);
    }
    const QString folder = m_folder.path();
    const QString script = QStringLiteral("load-module module-null-sink sink_name=probe rate=44100 channels=2 "
                                          "sink_properties=device.description=Probe\n"
                                          "load-module module-native-protocol-unix auth-anonymous=1 socket=%1/native\n"
                                          "set-default-sink probe\n")
                               .arg(folder);
    if (!WriteBytes(folder + "/server.pa", script.toUtf8()) || !WriteBytes(folder + "/daemon.conf", QByteArray())
        || !WriteBytes(folder + "/client.conf", "autospawn = no\n")) {
        reason = "cannot write the server's files";
        return false;
    }
    const std::string home = folder.toStdString();
    const QString log = folder + "/server.log";
    // Its home, runtime folder and configuration are the test's: nothing of the machine's is read.
    const bool started = m_process.Start(
        { "env", "HOME=" + home, "XDG_RUNTIME_DIR=" + home, "XDG_CONFIG_HOME=" + home,
            "PULSE_CONFIG=" + home + "/daemon.conf", "PULSE_STATE_PATH=" + home, "PULSE_RUNTIME_PATH=" + home,
            "pulseaudio", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit", "-n", "-F",
            home + "/server.pa", "--use-pid-file=no", "--log-target=stderr" },
        log);
    if (!started) {
        reason = "cannot start pulseaudio";
        return false;
    }
    ::setenv("PULSE_SERVER", Address().c_str(), 1);
    ::setenv("PULSE_CLIENTCONFIG", (home + "/client.conf").c_str(), 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Control({ "info" }) == 0)
            return true;
        if (!m_process.IsRunning())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    reason = "pulseaudio does not answer: " + ReadBytes(log).toStdString();
    return false;
}

void SoundServer::Kill()
{
    if (m_process.Pid() > 0)
        ::kill(m_process.Pid(), SIGKILL);
    m_process.Wait(5000);
}

void SoundServer::Freeze()
{
    if (m_process.Pid() > 0)
        ::kill(m_process.Pid(), SIGSTOP);
}

void SoundServer::Thaw()
{
    if (m_process.Pid() > 0)
        ::kill(m_process.Pid(), SIGCONT);
}

int SoundServer::Control(const std::vector<std::string>& arguments)
{
    std::vector<std::string> command { "pactl", "--server=" + Address() };
    command.insert(command.end(), arguments.begin(), arguments.end());
    return ChildProcess::Run(command, 10000);
}

bool SoundServer::AddPipeSink(const std::string& name, const std::string& path)
{
    return Control({ "load-module", "module-pipe-sink", "sink_name=" + name, "file=" + path, "format=s16le",
               "rate=44100", "channels=2" })
        == 0
        && Control({ "set-default-sink", name }) == 0;
}

DeafSoundServer::DeafSoundServer()
{
    const QByteArray path = m_folder.filePath(QStringLiteral("native")).toUtf8();
    sockaddr_un name {};
    name.sun_family = AF_UNIX;
    if (!WriteBytes(QString::fromStdString(ClientConfig()), QByteArray())
        || size_t(path.size()) >= sizeof name.sun_path)
        return;
    std::memcpy(name.sun_path, path.constData(), size_t(path.size()));
    m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // The kernel completes the connections on its own; nothing ever reads them.
    if (m_socket >= 0
        && (::bind(m_socket, reinterpret_cast<sockaddr*>(&name), sizeof name) != 0 || ::listen(m_socket, 64) != 0)) {
        ::close(m_socket);
        m_socket = -1;
    }
}

DeafSoundServer::~DeafSoundServer()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

std::string DeafSoundServer::Address() const
{
    return "unix:" + m_folder.filePath(QStringLiteral("native")).toStdString();
}

std::string DeafSoundServer::ClientConfig() const
{
    return m_folder.filePath(QStringLiteral("client.conf")).toStdString();
}

MonitorRecorder::MonitorRecorder(const Pipe& pipe)
{
    const int file
        = ::mkfifo(pipe.path.c_str(), 0600) == 0 ? ::open(pipe.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    // The sink renders whenever the pipe has room: a page of room keeps it close to the ear.
    m_started = file >= 0 && ::fcntl(file, F_SETPIPE_SZ, 4096) >= 0;
    if (!m_started) {
        if (file >= 0)
            ::close(file);
        m_ended = true;
        return;
    }
    m_thread = std::thread([this, file] {
        std::vector<int16_t> block(4096 * 2);
        const auto begin = std::chrono::steady_clock::now();
        size_t taken = 0; // bytes
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const auto elapsed
                = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
            const size_t due = size_t(elapsed.count()) * 441 / 10000 * 4; // whole frames heard by now
            const size_t wanted = std::min(due - std::min(due, taken), block.size() * sizeof(int16_t));
            const ssize_t got = wanted > 0 ? ::read(file, block.data(), wanted) : 0;
            if (got <= 0)
                continue;
            // The sink writes whole frames, and this reads whole frames: frames are not split.
            taken += size_t(got);
            std::lock_guard lock(m_mutex);
            m_samples.insert(m_samples.end(), block.begin(), block.begin() + got / 2);
        }
        ::close(file);
        m_ended = true;
    });
}

MonitorRecorder::MonitorRecorder(const std::string& server)
{
    m_thread = std::thread([this, server] {
        pa_sample_spec spec {};
        spec.format = PA_SAMPLE_S16LE;
        spec.rate = 44100;
        spec.channels = 2;
        pa_buffer_attr attributes {};
        attributes.maxlength = uint32_t(-1);
        // 10 ms. The monitor's latency bounds the sink's, so the sink holds about this much and a queue
        // mixed again is taken back from the sink only that far. With a long fragment the sink holds its
        // full share (about 220 ms): the monitor passes on what the sink renders at once and cannot take
        // it back when the sink rewinds, so a stream written over the queue is recorded short by up to
        // what the sink rewound, although the sink renders it whole.
        attributes.fragsize = 441 * 4;
        int error = 0;
        pa_simple* recorder = pa_simple_new(
            server.c_str(), "test", PA_STREAM_RECORD, "probe.monitor", "monitor", &spec, nullptr, &attributes, &error);
        m_started = recorder != nullptr;
        std::vector<int16_t> block(441 * 2);
        while (recorder && !m_stop) {
            if (pa_simple_read(recorder, block.data(), block.size() * sizeof(int16_t), &error) < 0)
                break;
            std::lock_guard lock(m_mutex);
            m_samples.insert(m_samples.end(), block.begin(), block.end());
        }
        if (recorder)
            pa_simple_free(recorder);
        m_ended = true;
    });
    for (int attempt = 0; attempt < 200 && !m_started && !m_ended; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

MonitorRecorder::~MonitorRecorder()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

size_t MonitorRecorder::Frames()
{
    std::lock_guard lock(m_mutex);
    return m_samples.size() / 2;
}

std::vector<int16_t> MonitorRecorder::Left(size_t from, size_t count)
{
    std::lock_guard lock(m_mutex);
    std::vector<int16_t> left;
    for (size_t frame = from; frame < from + count && frame * 2 < m_samples.size(); ++frame)
        left.push_back(m_samples[frame * 2]);
    return left;
}

bool MonitorRecorder::WaitForFrames(size_t frames, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Frames() < frames) {
        if (m_ended || std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

size_t LoudFrames(const std::vector<int16_t>& samples, int threshold)
{
    size_t loud = 0;
    for (int16_t sample : samples)
        loud += std::abs(int(sample)) > threshold ? 1 : 0;
    return loud;
}

LevelChange MeasureLevelChange(const std::vector<int16_t>& samples, size_t callAt, double ratio, int sampleRate)
{
    LevelChange change;
    // The level at a frame: the highest sample over a period of the tone around it.
    const size_t window = size_t(sampleRate / 400);
    const size_t lead = size_t(sampleRate / 10);
    if (callAt < lead || samples.size() < callAt + window)
        return change;
    std::vector<double> level(samples.size() - window, 0.0);
    for (size_t i = 0; i < level.size(); ++i)
        for (size_t j = i; j < i + window; ++j)
            level[i] = std::max(level[i], std::abs(double(samples[j])));
    std::vector<double> old(
        level.begin() + std::ptrdiff_t(callAt - lead), level.begin() + std::ptrdiff_t(callAt - window));
    std::nth_element(old.begin(), old.begin() + std::ptrdiff_t(old.size() / 2), old.end());
    const double before = old[old.size() / 2];
    const double span = before * ratio - before;
    if (std::abs(span) < 1.0)
        return change;
    const auto made = [&](size_t i) { return (level[i] - before) / span; };
    const auto firstFrom = [&](size_t from, double share) {
        for (size_t i = from; i < level.size(); ++i)
            if (made(i) >= share)
                return int(i);
        return -1;
    };
    // Where it begins: back from where it has clearly begun (and holds for 5 ms: a drop-out of a loaded
    // server is not taken for it) to where the old level still held.
    const size_t fiveMs = size_t(sampleRate / 200);
    int onset = -1;
    for (size_t i = callAt; onset < 0 && i + fiveMs < level.size(); ++i) {
        size_t held = 0;
        while (held <= fiveMs && made(i + held) >= 0.01)
            ++held;
        if (held > fiveMs)
            onset = int(i);
        else
            i += held;
    }
    if (onset < 0)
        return change;
    while (size_t(onset) > callAt && made(size_t(onset) - 1) > 0.002)
        --onset;
    if (size_t(onset) + fiveMs < level.size())
        change.firstFiveMs = made(size_t(onset) + fiveMs);
    const int ninety = firstFrom(size_t(onset), 0.9);
    const int done = firstFrom(size_t(onset), 0.98);
    change.onset = onset - int(callAt);
    change.ninety = ninety < 0 ? -1 : ninety - int(callAt);
    change.done = done < 0 ? -1 : done - int(callAt);
    return change;
}

double TonePitch(const std::vector<int16_t>& samples, int sampleRate)
{
    // The median distance between upward zero crossings: a short gap (the machine too busy to feed the
    // server for a moment) makes a few long periods, which the median leaves out.
    std::vector<size_t> periods;
    size_t last = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            if (last != 0)
                periods.push_back(i - last);
            last = i;
        }
    }
    if (periods.empty())
        return 0.0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return double(sampleRate) / double(periods[periods.size() / 2]);
}

} // namespace testing_support
