// Pictures of the running program for people to look at: starts the staged program from a temporary
// program folder on a virtual X display, playing a loopback Icecast station, and saves its window in
// the normal and the expanded layout at one and two times the pixel density, and every page of its
// options sheet.
// Usage: kavrilune_screenshots <staged program folder> <output folder> <window grab program>

#include "core/InstanceMessenger.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/MessageRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>
#include <unistd.h>

using namespace testing_support;

namespace
{

const QString kStationTitle = QStringLiteral("Late Night Jazz Loopback");
const QString kSongTitle = QStringLiteral("Neon Harbour - Nightdrive");

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
    // The server picks a free display itself and writes its number to standard output.
    server.start("Xvfb", { "-displayfd", "1", "-screen", "0", "1600x1200x24", "-nolisten", "tcp" });
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

// The Options button's rectangle in the built-in skin's normal layout.
QRect OptionsButtonPlace(const QString& programFolder)
{
    QFile file(programFolder + "/skins/Standard.kvn/skin.kvn");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QRect place;
    bool inside = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"Options") {
            inside = true;
        } else if (xml.isEndElement() && xml.name() == u"Options") {
            break;
        } else if (inside && xml.isStartElement()) {
            const QStringView key = xml.name();
            const QString name = key.toString();
            const int value = xml.readElementText(QXmlStreamReader::SkipChildElements).toInt();
            if (name == "x")
                place.moveLeft(value);
            else if (name == "y")
                place.moveTop(value);
            else if (name == "width")
                place.setWidth(value);
            else if (name == "height")
                place.setHeight(value);
        }
    }
    return place;
}

bool Grab(const QString& grab, const QString& window, const QString& path, const QProcessEnvironment& environment,
    const QStringList& extra = {})
{
    QProcess grabber;
    QProcessEnvironment grabEnvironment = environment;
    grabEnvironment.remove("QT_SCALE_FACTOR");
    grabber.setProcessEnvironment(grabEnvironment);
    grabber.setProcessChannelMode(QProcess::ForwardedChannels);
    grabber.start(grab, QStringList { window, path } + extra);
    return grabber.waitForFinished(10000) && grabber.exitCode() == 0;
}

// Opens the options sheet with the Options button and saves each of its pages; the number of pictures
// that could not be taken.
int GrabOptionsPages(const QString& programFolder, const QString& mainWindow, int scale, const QString& output,
    const QString& grab, const QProcessEnvironment& environment)
{
    const QStringList pages = { "general", "skins", "recordings", "advanced", "info" };
    const QString suffix = scale > 1 ? "@2x" : "";
    const QRect button = OptionsButtonPlace(programFolder);
    const QPoint click = button.center() * scale;
    Run("xdotool",
        { "mousemove", "--window", mainWindow, QString::number(click.x()), QString::number(click.y()), "click", "1" },
        environment);
    QString sheet;
    PumpUntil(
        [&] {
            sheet
                = Run("xdotool", { "search", "--onlyvisible", "--name", "^Options$" }, environment).section('\n', 0, 0);
            return !sheet.isEmpty();
        },
        10000);
    if (sheet.isEmpty()) {
        std::fprintf(stderr, "kavrilune_screenshots: the options sheet did not open\n");
        return int(pages.size());
    }
    // Away from the sheet, so that nothing shows a hover look.
    Run("xdotool", { "mousemove", "0", "0" }, environment);
    int failures = 0;
    for (const QString& page : pages) {
        PumpFor(700);
        const QString name = QStringLiteral("options-%1%2.png").arg(page, suffix);
        if (Grab(grab, sheet, output + "/" + name, environment)) {
            std::printf("%s/%s\n", qPrintable(output), qPrintable(name));
        } else {
            std::fprintf(stderr, "kavrilune_screenshots: no picture of %s\n", qPrintable(name));
            ++failures;
        }
        Run("xdotool", { "key", "--clearmodifiers", "ctrl+Tab" }, environment);
    }
    Run("xdotool", { "key", "Escape" }, environment);
    return failures;
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
                               "<Filter>jazz</Filter></General></XMLConfigSettings>")
                    .arg(expanded ? 1 : 0)
                    .arg(station, kStationTitle)
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
            const QString name
                = QStringLiteral("main-%1%2.png").arg(expanded ? "expanded" : "normal", scale > 1 ? "@2x" : "");
            if (window.isEmpty()
                || !Grab(grab, window, output + "/" + name, environment, { QString::number(20 * scale) })) {
                std::fprintf(stderr, "kavrilune_screenshots: no picture of %s\n", qPrintable(name));
                ++failures;
            } else {
                std::printf("%s/%s\n", qPrintable(output), qPrintable(name));
            }
            if (!expanded && !window.isEmpty())
                failures += GrabOptionsPages(folder.path(), window, scale, output, grab, environment);
            CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
            if (!program.waitForFinished(10000))
                program.kill();
        }
    }
    xServer.terminate();
    xServer.waitForFinished(5000);
    return failures == 0 ? 0 : 1;
}
