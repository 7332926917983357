// Runs an Icecast server on loopback with one sine-tone source for end-to-end measurements, prints
// the stream's URL and keeps everything running until SIGTERM or SIGINT, then stops it all.
//
//     kavrilune_icecast_feed [mp3|aac|ogg|opus] [KBPS]

#include "tests/support/IcecastServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

using namespace testing_support;

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
