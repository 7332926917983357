// Plays a station or file through a player started by the manager, as the window does, on the default
// output, and switches the equaliser preset on command: each line read from standard input is a
// preset (-1 off, 0..3), and the wall-clock time of the call is written to standard output just before
// it is made. "playing" is written once the player plays. For bench/equalizer-switch.sh.
//
//     kavrilune_equalizer_switch SOURCE

#include "audio/RadioManager.h"
#include "bench/PlayerWindow.h"
#include "core/ErrorLog.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace
{

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOURCE\n", argv[0]);
        return 1;
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    SetAppFolderOverride(folder.path() + QLatin1Char('/'));
    CRadioManager manager;
    bench::PlayerWindow window(manager);
    manager.SetNotifyWindow(&window);
    manager.SetPlayerOptions(0, false, 0, 4000, false, false);
    manager.SetVolume(100);
    manager.Play(QStringLiteral("Bench"), QString::fromLocal8Bit(argv[1]));

    bool announced = false;
    std::string line;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (window.playing && !announced) {
            announced = true;
            std::printf("playing\n");
            std::fflush(stdout);
        }
        pollfd input { STDIN_FILENO, POLLIN, 0 };
        if (poll(&input, 1, 5) <= 0)
            continue;
        char c = 0;
        if (read(STDIN_FILENO, &c, 1) != 1)
            break;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line == "quit")
            break;
        const int preset = std::stoi(line);
        line.clear();
        std::printf("%.6f\n", WallSeconds());
        std::fflush(stdout);
        manager.SetEqualizerPreset(preset);
    }
    manager.Stop(false, false);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (manager.GetPlayerCount() > 0 && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return 0;
}
