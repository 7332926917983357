// Pictures of the running program for people to look at: starts the staged program from a temporary
// program folder on a virtual X display, playing a loopback Icecast station, and saves its window in
// the normal and the expanded layout at one and two times the pixel density, with its main menu, the
// Favorites button's menu and a menu of the list's header.
// Usage: kavrilune_screenshots <staged program folder> <output folder> <window grab program>

#include "core/InstanceMessenger.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/MessageRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <unistd.h>

using namespace testing_support;

namespace
{

const QString kStationTitle = QStringLiteral("Late Night Jazz Loopback");
const QString kSongTitle = QStringLiteral("Neon Harbour - Nightdrive");
// Favourites and a play history for the menus; %1 is the loopback station.
const QString kFavourites
    = QStringLiteral("<Favorites><Title_1>Late Night Jazz Loopback</Title_1><Source_1>%1</Source_1>"
                     "<Title_2>Harbour Lights Radio</Title_2><Source_2>http://127.0.0.1:9/harbour</Source_2>"
                     "<Title_3>Blue Hour Lounge</Title_3><Source_3>http://127.0.0.1:9/blue</Source_3>"
                     "<Title_4>Rhythm &amp; Rain FM</Title_4><Source_4>http://127.0.0.1:9/rain</Source_4></Favorites>"
                     "<History><Title_1>Late Night Jazz Loopback</Title_1><Source_1>%1</Source_1>"
                     "<Title_2>Blue Hour Lounge</Title_2><Source_2>http://127.0.0.1:9/blue</Source_2></History>");

bool CopyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QString& name : source.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = source.filePath(name);
        if (QFileInfo(path).isDir() ? !CopyFolder(path, to + "/" + name) : !QFile::copy(path, to + "/" + name))
            return false;
    }
    return true;
}

QString StartDisplay(QProcess& server)
{
    // The server picks a free display itself and writes its number to standard output; it stays up between
    // one program and the next.
    server.start("Xvfb", { "-displayfd", "1", "-screen", "0", "1600x1200x24", "-nolisten", "tcp", "-noreset" });
    QByteArray number;
    PumpUntil(
        [&] {
            number += server.readAllStandardOutput();
            return number.contains('\n') || server.state() == QProcess::NotRunning;
        },
        20000);
    number = number.trimmed();
    return number.isEmpty() ? QString() : ":" + QString::fromLatin1(number);
}

QString Run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The visible windows of a process.
QStringList WindowsOf(qint64 pid, const QProcessEnvironment& environment)
{
    return Run("xdotool", { "search", "--onlyvisible", "--pid", QString::number(pid) }, environment)
        .split('\n', Qt::SkipEmptyParts);
}

// Does something that opens popups and waits until the process shows that many more windows; the new
// ones, oldest first as far as the order of the search goes.
QStringList OpenPopups(qint64 pid, int count, const QProcessEnvironment& environment, const std::function<void()>& open)
{
    const QStringList before = WindowsOf(pid, environment);
    open();
    QStringList added;
    PumpUntil(
        [&] {
            added.clear();
            for (const QString& window : WindowsOf(pid, environment))
                if (!before.contains(window))
                    added.append(window);
            return added.size() >= count;
        },
        5000);
    PumpFor(400); // the menus have drawn themselves
    return added;
}

// Saves the window with its popups; false when there is no picture.
bool Grab(const QString& grab, const QStringList& windows, const QString& path, int radius,
    const QProcessEnvironment& environment)
{
    QProcess grabber;
    QProcessEnvironment grabEnvironment = environment;
    grabEnvironment.remove("QT_SCALE_FACTOR");
    grabber.setProcessEnvironment(grabEnvironment);
    grabber.setProcessChannelMode(QProcess::ForwardedChannels);
    grabber.start(grab, { windows.join(','), path, QString::number(radius) });
    return grabber.waitForFinished(10000) && grabber.exitCode() == 0;
}

// Clicks a point of the window given in the skin's coordinates.
void Click(const QString& window, const QPoint& at, int button, int scale, const QProcessEnvironment& environment)
{
    Run("xdotool",
        { "mousemove", "--window", window, QString::number(at.x() * scale), QString::number(at.y() * scale), "click",
            QString::number(button) },
        environment);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: kavrilune_screenshots <staged program folder> <output folder> <grab program>\n");
        return 2;
    }
    const QString staged = QString::fromLocal8Bit(argv[1]);
    const QString output = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const QString grab = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(output);

    QProcess xServer;
    const QString display = StartDisplay(xServer);
    if (display.isEmpty()) {
        std::fprintf(stderr, "kavrilune_screenshots: Xvfb could not be started\n");
        return 1;
    }
    IcecastServer icecast;
    IcecastSourceOptions source;
    source.name = QStringLiteral("Late Night Jazz");
    source.description = QStringLiteral("Smooth jazz through the night");
    source.genre = QStringLiteral("Jazz");
    // Something with energy across the spectrum: pink noise under a pulsing bass line.
    source.lavfiSource = QStringLiteral("aevalsrc=0.25*sin(2*PI*80*t)*(0.5+0.5*sin(2*PI*1.7*t))"
                                        "+0.12*sin(2*PI*660*t)*(0.5+0.5*sin(2*PI*0.9*t)):s=44100,"
                                        "volume=1[a];anoisesrc=c=pink:r=44100:a=0.22[n];[a][n]amix=inputs=2");
    if (!icecast.IsRunning() || !icecast.StartSource("/live", source)) {
        std::fprintf(stderr, "kavrilune_screenshots: Icecast could not be started: %s\n", qPrintable(icecast.Error()));
        return 1;
    }

    QTemporaryDir sockets;
    CInstanceMessenger::SetFolderOverride(sockets.path());
    int failures = 0;
    for (const bool expanded : { false, true }) {
        for (const int scale : { 1, 2 }) {
            QTemporaryDir folder;
            QTemporaryDir home;
            if (!CopyFolder(staged, folder.path()))
                return 1;
            const QString station = icecast.Url("/live");
            QFile settings(folder.path() + "/Kavrilune.xml");
            settings.open(QIODevice::WriteOnly);
            settings.write(
                QStringLiteral("<?xml version=\"1.0\"?><XMLConfigSettings><General>"
                               "<Autoplay>1</Autoplay><Check_updates>0</Check_updates><Volume>70</Volume>"
                               "<Expanded>%1</Expanded><Station_URL>%2</Station_URL><Station_Title>%3</Station_Title>"
                               "<Filter>jazz</Filter></General>%4</XMLConfigSettings>")
                    .arg(expanded ? 1 : 0)
                    .arg(station, kStationTitle, kFavourites.arg(station))
                    .toUtf8());
            settings.close();
            QFile own(folder.path() + "/mystations.kvd");
            own.open(QIODevice::WriteOnly);
            own.write(("N \t title \t web \t Country \t genre \t Language \t Source \t \r\n" + kStationTitle
                + "\t \tJazz\tNowhere\t \t" + station + "\t\r\n")
                          .toUtf8());
            own.close();

            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("DISPLAY", display);
            environment.insert("QT_QPA_PLATFORM", "xcb");
            environment.insert("QT_SCALE_FACTOR", QString::number(scale));
            environment.insert("KAVRILUNE_SHARED_MEMORY", QStringLiteral("/kavrilune-shots-%1").arg(getpid()));
            environment.insert("KAVRILUNE_LOCK_FOLDER", sockets.path());
            environment.insert("KAVRILUNE_SOCKET_FOLDER", sockets.path());
            environment.insert("KAVRILUNE_FADE_MS", "0");
            environment.insert("KAVRILUNE_WEB_HOST", "http://127.0.0.1:9");
            environment.insert("XDG_DATA_HOME", home.path() + "/data");
            environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
            environment.insert("SDL_AUDIODRIVER", "dummy");

            QProcess program;
            program.setProcessEnvironment(environment);
            program.setProcessChannelMode(QProcess::ForwardedChannels);
            program.start(folder.path() + "/kavrilune", {});
            program.waitForStarted(5000);
            icecast.SetTitle("/live", kSongTitle);
            QString window;
            PumpUntil(
                [&] {
                    window = Run("xdotool",
                        { "search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(kSongTitle) + "$" },
                        environment)
                                 .section('\n', 0, 0);
                    return !window.isEmpty();
                },
                20000);
            PumpFor(5000); // buffer, spectrum, elapsed time and the rotating line settle
            const QString suffix = scale > 1 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
            auto save = [&](const QString& name, const QStringList& windows) {
                if (window.isEmpty() || windows.isEmpty()
                    || !Grab(grab, windows, output + "/" + name + suffix, 20 * scale, environment)) {
                    std::fprintf(stderr, "kavrilune_screenshots: no picture of %s\n", qPrintable(name + suffix));
                    ++failures;
                } else {
                    std::printf("%s/%s\n", qPrintable(output), qPrintable(name + suffix));
                }
            };
            save(expanded ? QStringLiteral("main-expanded") : QStringLiteral("main-normal"), { window });
            if (!window.isEmpty() && !expanded) {
                // The main menu with its favourites open, as a right click on the window's body shows it.
                const QStringList menus = OpenPopups(program.processId(), 2, environment, [&] {
                    Click(window, QPoint(150, 208), 3, scale, environment);
                    PumpFor(400);
                    for (int step = 0; step < 6; ++step)
                        Run("xdotool", { "key", "Down" }, environment);
                    Run("xdotool", { "key", "Right" }, environment);
                });
                save(QStringLiteral("menu-main"), QStringList { window } + menus);
                Run("xdotool", { "key", "Escape", "Escape" }, environment);
                PumpFor(300);
                // The Favorites button's menu.
                const QStringList favourites = OpenPopups(program.processId(), 1, environment,
                    [&] { Click(window, QPoint(327, 289), 1, scale, environment); });
                save(QStringLiteral("menu-favorites"), QStringList { window } + favourites);
                Run("xdotool", { "key", "Escape" }, environment);
            } else if (!window.isEmpty()) {
                // The menu of the list header's language column.
                const QStringList header = OpenPopups(program.processId(), 1, environment,
                    [&] { Click(window, QPoint(500, 48), 3, scale, environment); });
                save(QStringLiteral("menu-header"), QStringList { window } + header);
                Run("xdotool", { "key", "Escape" }, environment);
            }
            PumpFor(300);
            CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
            if (!program.waitForFinished(10000))
                program.kill();
        }
    }
    xServer.terminate();
    xServer.waitForFinished(5000);
    return failures == 0 ? 0 : 1;
}
