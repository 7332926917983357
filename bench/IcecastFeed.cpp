// Runs an Icecast server on loopback with one source for end-to-end measurements, prints the
// stream's URL and keeps everything running until SIGTERM or SIGINT, then stops it all.
//
//     kavrilune_icecast_feed [mp3|aac|ogg|opus] [KBPS] [music|tone]
//
// "music" (the default) is a generated signal whose spectrum never stands still: four voices whose
// pitches and levels change three to seven times a second, each note decaying, over bursts of noise
// eight times a second. A spectrum display then has new bars every frame, as with real music.
// "tone" is a steady 440 Hz sine.

#include "tests/support/IcecastServer.h"

#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

using namespace testing_support;

namespace
{

// An ffmpeg expression source (aevalsrc, mono; the encoder makes it stereo). Every voice picks a new
// note and level at each of its steps from a hash of the step number, so that the melody never
// repeats in a way a skip-if-unchanged display could profit from.
QString MusicSource(int sampleRate)
{
    struct Voice {
        int stepsPerSecond;
        int lowestHz;
        double decay; // per step
    };
    const Voice voices[] = { { 4, 110, 2.0 }, { 5, 220, 3.0 }, { 3, 440, 4.0 }, { 7, 880, 5.0 } };
    // A number in [0, 1) from the step and a salt, the same for every sample of the step.
    auto hash = [](const QString& step, double salt) {
        return QStringLiteral("mod((0.5+0.5*sin(%1*%2+%3))*97,1)").arg(step).arg(12.9898 + salt).arg(salt * 7.77);
    };
    QStringList sum;
    for (int k = 0; k < int(std::size(voices)); ++k) {
        const Voice& voice = voices[k];
        const QString step = QStringLiteral("floor(t*%1)").arg(voice.stepsPerSecond);
        const QString note = QStringLiteral("floor(24*%1)").arg(hash(step, 1.0 + k * 3.1));
        const QString level = QStringLiteral("(0.3+0.7*%1)").arg(hash(step, 2.0 + k * 3.1));
        const QString envelope = QStringLiteral("exp(-%1*mod(t*%2,1))").arg(voice.decay).arg(voice.stepsPerSecond);
        sum << QStringLiteral("%1*%2*sin(2*PI*%3*pow(2,%4/12)*t)").arg(level, envelope).arg(voice.lowestHz).arg(note);
    }
    const QString noise = QStringLiteral("0.25*exp(-15*mod(t*8,1))*(random(0)-0.5)");
    return QStringLiteral("aevalsrc=exprs='0.18*(%1)+%2':sample_rate=%3")
        .arg(sum.join(QLatin1Char('+')), noise)
        .arg(sampleRate);
}

} // namespace

int main(int argc, char** argv)
{
    // Wait for the signal synchronously, so the fixture's destructor stops what it started.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    IcecastSourceOptions options;
    const char* format = argc > 1 ? argv[1] : "mp3";
    if (std::strcmp(format, "aac") == 0)
        options.format = IcecastFormat::Aac;
    else if (std::strcmp(format, "ogg") == 0)
        options.format = IcecastFormat::OggVorbis;
    else if (std::strcmp(format, "opus") == 0)
        options.format = IcecastFormat::OggOpus;
    if (argc > 2)
        options.bitrateKbps = std::atoi(argv[2]);
    const char* signal = argc > 3 ? argv[3] : "music";
    if (std::strcmp(signal, "tone") != 0) {
        if (std::strcmp(signal, "music") != 0) {
            std::fprintf(stderr, "unknown signal %s (music or tone)\n", signal);
            return 2;
        }
        options.lavfiSource = MusicSource(options.sampleRate);
        options.description = QStringLiteral("Generated music");
    }

    IcecastServer server;
    if (!server.IsRunning()) {
        std::fprintf(stderr, "icecast: %s\n", server.Error().toUtf8().constData());
        return 1;
    }
    if (!server.StartSource(QStringLiteral("/bench"), options)) {
        std::fprintf(stderr, "the source did not start\n");
        return 1;
    }
    std::printf("%s\n", server.Url(QStringLiteral("/bench")).toUtf8().constData());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
