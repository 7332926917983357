#include "tests/support/helpers/SoakCycle.h"

#include "tests/support/IcecastServer.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace soak
{

namespace
{

constexpr int kStepMs = 3000;

// A "VmRSS:" or "RssAnon:" line of the status file, in MB.
double StatusMb(const QByteArray& status, const QByteArray& key)
{
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0.0;
}

int EntriesIn(const QString& folder)
{
    return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

QStringList ThreadNames(const QString& procFolder)
{
    QStringList names;
    const QDir tasks(procFolder + QStringLiteral("/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            names.append(QString::fromUtf8(comm.readAll()).trimmed());
    }
    names.sort();
    return names;
}

} // namespace

Sample Measure(const QString& procFolder, const QElapsedTimer& clock)
{
    QFile statusFile(procFolder + QStringLiteral("/status"));
    const QByteArray status = statusFile.open(QIODevice::ReadOnly) ? statusFile.readAll() : QByteArray();
    const QStringList names = ThreadNames(procFolder);
    const int pooled = int(names.count(QStringLiteral("Thread (pooled)")));
    return { double(clock.elapsed()) / 60000.0, StatusMb(status, "VmRSS:"), StatusMb(status, "RssAnon:"),
        EntriesIn(procFolder + QStringLiteral("/fd")) - pooled, int(names.size()) - pooled, pooled, names };
}

double SlopePerHour(const std::vector<Sample>& samples)
{
    if (samples.size() < 2)
        return 0.0;
    double meanT = 0, meanR = 0;
    for (const Sample& s : samples) {
        meanT += s.minutes / 60.0;
        meanR += s.rssMb;
    }
    meanT /= double(samples.size());
    meanR /= double(samples.size());
    double covariance = 0, variance = 0;
    for (const Sample& s : samples) {
        covariance += (s.minutes / 60.0 - meanT) * (s.rssMb - meanR);
        variance += (s.minutes / 60.0 - meanT) * (s.minutes / 60.0 - meanT);
    }
    return variance > 0 ? covariance / variance : 0.0;
}

bool StartSources(testing_support::IcecastServer& server, const char* kind)
{
    testing_support::IcecastSourceOptions ogg;
    ogg.format = testing_support::IcecastFormat::OggVorbis;
    ogg.frequencyHz = 660;
    if (!server.IsRunning() || !server.StartSource(QStringLiteral("/mp3"))
        || !server.StartSource(QStringLiteral("/ogg"), ogg)) {
        std::fprintf(stderr, "%s: Icecast did not start: %s\n", kind, qPrintable(server.Error()));
        return false;
    }
    return true;
}

SoakRun RunCycles(SoakActions& soak, testing_support::IcecastServer& server, const QString& mp3Mount,
    const QString& oggMount, const QString& recordingsFolder, double minutes, double warmupMinutes)
{
    const QString mp3 = server.Url(mp3Mount);
    const QString ogg = server.Url(oggMount);
    SoakRun run;
    const std::vector<std::function<void()>> steps = {
        [&] { soak.play(QStringLiteral("MP3 station"), mp3); },
        [&] { soak.play(QStringLiteral("Ogg station"), ogg); },
        [&] { soak.startRecording(); },
        [&] { soak.stopRecording(); },
        [&] {
            soak.playAndRecord(QStringLiteral("MP3 station"), mp3);
            server.SetTitle(mp3Mount, QStringLiteral("Soak - Cycle %1").arg(run.cycles + 1));
        },
        [&] { server.StopSource(mp3Mount); },
        [&] { server.RestartSource(mp3Mount); },
        [&] {
            soak.stopRecording();
            soak.stop();
        },
    };

    QElapsedTimer clock;
    clock.start();
    QStringList previousThreads;
    while (double(clock.elapsed()) / 60000.0 < minutes) {
        for (const auto& step : steps) {
            step();
            soak.run(kStepMs);
        }
        if (!soak.waitUntilIdle())
            run.playersLeft = true;
        QDir(recordingsFolder).removeRecursively();
        ++run.cycles;
        const Sample sample = soak.measure(clock);
        if (run.cycles == 1)
            run.first = sample;
        if (sample.minutes >= warmupMinutes)
            run.afterWarmup.push_back(sample);
        std::printf("cycle %d at %.1f min: rss %.1f MB (anonymous %.1f), %d descriptors, %d threads (and %d pooled)\n",
            run.cycles, sample.minutes, sample.rssMb, sample.anonMb, sample.descriptors, sample.threads,
            sample.pooledThreads);
        if (sample.threadNames != previousThreads)
            std::printf("  threads: %s\n", qPrintable(sample.threadNames.join(QStringLiteral(", "))));
        previousThreads = sample.threadNames;
        std::fflush(stdout);
    }
    if (run.afterWarmup.empty())
        run.afterWarmup.push_back(soak.measure(clock));
    return run;
}

bool ReportRun(const char* kind, const SoakRun& run, double warmupMinutes, const QStringList& logLines)
{
    const Sample& warm = run.afterWarmup.front();
    const Sample& last = run.afterWarmup.back();
    int maxDescriptors = 0, maxThreads = 0, maxPooled = 0;
    for (const Sample& s : run.afterWarmup) {
        maxDescriptors = std::max(maxDescriptors, s.descriptors);
        maxThreads = std::max(maxThreads, s.threads);
        maxPooled = std::max(maxPooled, s.pooledThreads);
    }
    const double slope = SlopePerHour(run.afterWarmup);

    std::printf(
        "\n%s: %d cycles in %.1f minutes (warm-up %.1f minutes)\n", kind, run.cycles, last.minutes, warmupMinutes);
    std::printf("%s: first cycle: rss %.1f MB, %d descriptors, %d threads\n", kind, run.first.rssMb,
        run.first.descriptors, run.first.threads);
    std::printf("%s: rss after warm-up %.1f MB, at the end %.1f MB, slope %.2f MB per hour (limit %.1f)\n", kind,
        warm.rssMb, last.rssMb, slope, kRssSlopeLimitMbPerHour);
    std::printf("%s: anonymous after warm-up %.1f MB, at the end %.1f MB\n", kind, warm.anonMb, last.anonMb);
    std::printf("%s: descriptors after warm-up %d, at the end %d, most %d\n", kind, warm.descriptors, last.descriptors,
        maxDescriptors);
    std::printf("%s: threads after warm-up %d, at the end %d, most %d; pool threads at most %d\n", kind, warm.threads,
        last.threads, maxThreads, maxPooled);
    std::printf("%s: %lld error-log lines\n", kind, static_cast<long long>(logLines.size()));
    for (const QString& line : logLines)
        std::printf("  %s\n", qPrintable(line));

    bool ok = true;
    auto fail = [&ok, kind](const char* why) {
        std::printf("%s: FAILED: %s\n", kind, why);
        ok = false;
    };
    if (slope >= kRssSlopeLimitMbPerHour)
        fail("resident memory grows");
    if (last.descriptors > warm.descriptors)
        fail("descriptors grow");
    if (last.threads > warm.threads)
        fail("threads grow");
    if (!logLines.isEmpty())
        fail("error-log lines");
    if (run.playersLeft)
        fail("players still alive after a cycle's stop");
    return ok;
}

} // namespace soak
