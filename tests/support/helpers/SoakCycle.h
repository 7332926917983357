#pragma once

// What the soaks of scripts/soak share: the cycle of steps against a loopback Icecast, the figures
// taken from /proc after each cycle, and the report with its limits.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace testing_support
{
class IcecastServer;
}

namespace soak
{

constexpr double kRssSlopeLimitMbPerHour = 5.0;

// Qt's thread pools start threads as painting and other work asks for them, and end them after half a
// minute without work; each holds its event dispatcher's descriptor. Those are counted apart, so that
// the pools' breathing with the machine's load is not taken for growth.
struct Sample {
    double minutes;
    double rssMb;
    double anonMb; // the part of rssMb that is not mapped from files: the heaps and stacks
    int descriptors; // without those of the pool threads
    int threads; // without the pool threads
    int pooledThreads;
    QStringList threadNames;
};

// Resident memory, open descriptors and threads of a process; procFolder is "/proc/self" or
// "/proc/<pid>". A process that is gone reads as zeros.
Sample Measure(const QString& procFolder, const QElapsedTimer& clock);

// Least-squares slope of resident memory over time, in MB per hour.
double SlopePerHour(const std::vector<Sample>& samples);

// What the soak does to the player: through the radio manager, or through a running program.
struct SoakActions {
    std::function<void(const QString& name, const QString& url)> play;
    // Plays the station and records it once it plays.
    std::function<void(const QString& name, const QString& url)> playAndRecord;
    // Records the station playing now.
    std::function<void()> startRecording;
    std::function<void()> stopRecording;
    std::function<void()> stop;
    // Lets the player run for that long.
    std::function<void(int ms)> run;
    // After a cycle's last stop: false when players are still alive past their time.
    std::function<bool()> waitUntilIdle;
    std::function<Sample(const QElapsedTimer& clock)> measure;
};

struct SoakRun {
    int cycles = 0;
    Sample first {};
    std::vector<Sample> afterWarmup;
    bool playersLeft = false;
};

// Starts the two stations the cycles play: an MP3 source on "/mp3" and an Ogg Vorbis one on "/ogg";
// says why on standard error when they do not start.
bool StartSources(testing_support::IcecastServer& server, const char* kind);

// Runs cycles for the given minutes: two stations with crossfade between them, a recording of the
// station playing and one started with a switch across a title change, the MP3 source going away
// under the player and coming back, and a stop with fade-out. The recordings folder is emptied after
// each cycle.
SoakRun RunCycles(SoakActions& soak, testing_support::IcecastServer& server, const QString& mp3Mount,
    const QString& oggMount, const QString& recordingsFolder, double minutes, double warmupMinutes);

// Prints the figures and returns whether every limit held: resident memory slope after the warm-up,
// no growth of descriptors or threads, no error-log lines, no player left after a cycle.
bool ReportRun(const char* kind, const SoakRun& run, double warmupMinutes, const QStringList& logLines);

} // namespace soak
