// Pictures of the running program for people to look at: starts the staged program from a temporary
// program folder on a virtual X display, playing a loopback Icecast station, and saves its window in
// the normal and the expanded layout at one, 1.25, 1.5 and two times the pixel density; at one and two
// times also the album-art window with a picture from a loopback image search, the whole screen, the
// main menu, the Favorites button's menu, a menu of the list's header, the About box, and every page of
// its options sheet.
// Usage: kavrilune_screenshots <staged program folder> <output folder> <window grab program>
//        <dialog picture program>

#include "core/InstanceMessenger.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/VirtualDisplay.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPoint>
#include <QProcess>
#include <QRadialGradient>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <functional>
#include <unistd.h>

using namespace testing_support;

namespace
{

const QString kStationTitle = QStringLiteral("Late Night Jazz Loopback");
const QString kSongTitle = QStringLiteral("Neon Harbour - Nightdrive");
const QString kNextSongTitle = QStringLiteral("Neon Harbour - Tidal Lights");
const QString kPictureArtName = QStringLiteral("Kavrilune album art");
// Places that keep the main window and the album-art window apart even on the screen of the doubled
// density (800 by 600), and the part of the screen that shows both.
const QPoint kMainWindowPlace(20, 40);
const QPoint kPictureArtCenter(600, 300);
const QRect kDesktopPart(0, 0, 780, 480);
// Favourites and a play history for the menus; %1 is the loopback station.
const QString kFavourites
    = QStringLiteral("<Favorites><Title_1>Late Night Jazz Loopback</Title_1><Source_1>%1</Source_1>"
                     "<Title_2>Harbour Lights Radio</Title_2><Source_2>http://127.0.0.1:9/harbour</Source_2>"
                     "<Title_3>Blue Hour Lounge</Title_3><Source_3>http://127.0.0.1:9/blue</Source_3>"
                     "<Title_4>Rhythm &amp; Rain FM</Title_4><Source_4>http://127.0.0.1:9/rain</Source_4></Favorites>"
                     "<History><Title_1>Late Night Jazz Loopback</Title_1><Source_1>%1</Source_1>"
                     "<Title_2>Blue Hour Lounge</Title_2><Source_2>http://127.0.0.1:9/blue</Source_2></History>");

// A cover for the song, drawn here: a dusk sky over a harbour, the sun sinking into the water.
QByteArray CoverPicture()
{
    constexpr int kSide = 300;
    QImage cover(kSide, kSide, QImage::Format_RGB32);
    QPainter painter(&cover);
    painter.setRenderHint(QPainter::Antialiasing);
    const int horizon = 188;
    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0.0, QColor(18, 14, 52));
    sky.setColorAt(0.55, QColor(92, 40, 122));
    sky.setColorAt(1.0, QColor(255, 122, 89));
    painter.fillRect(0, 0, kSide, horizon, sky);
    for (const QPointF& star : { QPointF(38, 30), QPointF(92, 54), QPointF(210, 22), QPointF(260, 64), QPointF(150, 16),
             QPointF(24, 88), QPointF(280, 110) })
        painter.fillRect(QRectF(star, QSizeF(2, 2)), QColor(255, 255, 255, 170));
    // The sun, cut by the haze in bands that widen towards the water.
    QRadialGradient glow(150, 160, 120);
    glow.setColorAt(0.0, QColor(255, 190, 120, 120));
    glow.setColorAt(1.0, QColor(255, 190, 120, 0));
    painter.fillRect(0, 0, kSide, horizon, glow);
    QPainterPath sun;
    sun.addEllipse(QPointF(150, 158), 62, 62);
    QPainterPath bands;
    for (int i = 0; i < 6; ++i)
        bands.addRect(0, 150 + i * 7, kSide, 1 + i);
    QLinearGradient sunFill(0, 96, 0, horizon);
    sunFill.setColorAt(0.0, QColor(255, 232, 140));
    sunFill.setColorAt(1.0, QColor(255, 92, 120));
    painter.fillPath(sun.subtracted(bands), sunFill);
    // The harbour: cranes and a quay against the sky.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 12, 40));
    painter.drawRect(0, horizon - 14, 96, 14);
    painter.drawRect(220, horizon - 10, 80, 10);
    painter.drawRect(30, horizon - 78, 6, 64);
    painter.drawPolygon(QPolygonF({ QPointF(18, horizon - 80), QPointF(92, horizon - 80), QPointF(92, horizon - 74),
        QPointF(18, horizon - 74) }));
    painter.drawRect(250, horizon - 58, 5, 48);
    painter.drawPolygon(QPolygonF({ QPointF(236, horizon - 60), QPointF(292, horizon - 60), QPointF(292, horizon - 55),
        QPointF(236, horizon - 55) }));
    // The water with the sun's reflection.
    QLinearGradient sea(0, horizon, 0, kSide);
    sea.setColorAt(0.0, QColor(40, 22, 74));
    sea.setColorAt(1.0, QColor(8, 10, 30));
    painter.fillRect(0, horizon, kSide, kSide - horizon, sea);
    for (int i = 0; i < 12; ++i) {
        const int y = horizon + 6 + i * 9;
        const int half = 70 - i * 5;
        painter.fillRect(QRect(150 - half, y, 2 * half, 2), QColor(255, 140, 110, 200 - i * 14));
        painter.fillRect(QRect(20 + (i * 37) % 200, y + 4, 26, 1), QColor(95, 216, 255, 90));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    cover.save(&buffer, "JPG", 90);
    return bytes;
}

QString Run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The first visible window of that name, waiting up to ms for it.
QString FindWindow(const QString& name, const QProcessEnvironment& environment, int ms)
{
    QString window;
    PumpUntil(
        [&] {
            window = Run("xdotool",
                { "search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(name) + "$" }, environment)
                         .section('\n', 0, 0);
            return !window.isEmpty();
        },
        ms);
    return window;
}

// Saves a picture of the window (0: the whole screen), with corners cut to the rounding given.
bool Grab(
    const QString& grab, const QString& window, const QString& path, int rounding, QProcessEnvironment environment)
{
    environment.remove("QT_SCALE_FACTOR");
    QProcess grabber;
    grabber.setProcessEnvironment(environment);
    grabber.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList arguments { window, path };
    if (rounding > 0)
        arguments << QString::number(rounding);
    grabber.start(grab, arguments);
    return grabber.waitForFinished(10000) && grabber.exitStatus() == QProcess::NormalExit && grabber.exitCode() == 0;
}

// The visible windows of a process.
QStringList WindowsOf(qint64 pid, const QProcessEnvironment& environment)
{
    return Run("xdotool", { "search", "--onlyvisible", "--pid", QString::number(pid) }, environment)
        .split('\n', Qt::SkipEmptyParts);
}

// Does something that opens popups and waits until the process shows that many more windows (on a
// loaded machine a menu can take many seconds: it is waited for, not given up on early); the new ones,
// oldest first as far as the order of the search goes.
QStringList OpenPopups(qint64 pid, int count, const QProcessEnvironment& environment, const std::function<void()>& open)
{
    constexpr int kPopupWaitMs = 60000;
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
        kPopupWaitMs);
    PumpFor(400); // the menus have drawn themselves
    return added;
}

// Clicks a point of the window given in the skin's coordinates.
void Click(const QString& window, const QPoint& at, int button, int scale, const QProcessEnvironment& environment)
{
    Run("xdotool",
        { "mousemove", "--window", window, QString::number(at.x() * scale), QString::number(at.y() * scale), "click",
            QString::number(button) },
        environment);
}

// Saves a picture of the window with its popups (the first the window, the others popups).
bool GrabWithPopups(const QString& grab, const QString& window, const QStringList& popups, const QString& path,
    int rounding, const QProcessEnvironment& environment)
{
    return !popups.isEmpty() && Grab(grab, (QStringList { window } + popups).join(','), path, rounding, environment);
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
    const QString sheet = FindWindow("Options", environment, 10000);
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
        if (Grab(grab, sheet, output + "/" + name, 0, environment)) {
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
    if (argc < 5) {
        std::fprintf(stderr,
            "usage: kavrilune_screenshots <staged program folder> <output folder> <grab program> "
            "<dialog picture program>\n");
        return 2;
    }
    const QString staged = QString::fromLocal8Bit(argv[1]);
    const QString output = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    const QString grab = QString::fromLocal8Bit(argv[3]);
    const QString dialogShot = QString::fromLocal8Bit(argv[4]);
    QDir().mkpath(output);

    const VirtualDisplay xServer(QSize(1600, 1200));
    const QString display = xServer.Name();
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

    // The image search answers every title with the same cover.
    LoopbackHttpServer images;
    images.RouteFixed("/images", 200, "text/html",
        ("<html><body><div id=ires><a href=/cover target=_blank><img src=" + images.Url("/cover.jpg")
            + " width=300 height=300></a></div></body></html>")
            .toUtf8());
    images.RouteFixed("/cover.jpg", 200, "image/jpeg", CoverPicture());

    QTemporaryDir sockets;
    CInstanceMessenger::SetFolderOverride(sockets.path());
    int failures = 0;
    auto report = [&](bool ok, const QString& name) {
        if (ok) {
            std::printf("%s/%s\n", qPrintable(output), qPrintable(name));
        } else {
            std::fprintf(stderr, "kavrilune_screenshots: no picture of %s\n", qPrintable(name));
            ++failures;
        }
    };
    for (const bool expanded : { false, true }) {
        for (const qreal density : { 1.0, 1.25, 1.5, 2.0 }) {
            // At a fractional density only the main window: how the controls meet the background there.
            const bool fractional = density != std::floor(density);
            const int scale = int(density);
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
                               "<Filter>jazz</Filter><Window_x>%4</Window_x><Window_y>%5</Window_y>"
                               "<PictureArt><x>%6</x><y>%7</y><visible>%8</visible></PictureArt>"
                               "</General>%9</XMLConfigSettings>")
                    .arg(expanded ? 1 : 0)
                    .arg(station, kStationTitle)
                    .arg(kMainWindowPlace.x())
                    .arg(kMainWindowPlace.y())
                    .arg(kPictureArtCenter.x())
                    .arg(kPictureArtCenter.y())
                    // The expanded layout fills the small screen of the doubled density: no pictures.
                    .arg(expanded ? 0 : 1)
                    .arg(kFavourites.arg(station))
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
            environment.insert("QT_SCALE_FACTOR", QString::number(density));
            environment.insert("KAVRILUNE_SHARED_MEMORY", QStringLiteral("/kavrilune-shots-%1").arg(getpid()));
            environment.insert("KAVRILUNE_LOCK_FOLDER", sockets.path());
            environment.insert("KAVRILUNE_SOCKET_FOLDER", sockets.path());
            environment.insert("KAVRILUNE_FADE_MS", "0");
            environment.insert("KAVRILUNE_WEB_HOST", "http://127.0.0.1:9");
            environment.insert("KAVRILUNE_IMAGE_HOST", images.Url());
            environment.insert("XDG_DATA_HOME", home.path() + "/data");
            environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
            environment.insert("SDL_AUDIODRIVER", "dummy");

            QProcess program;
            program.setProcessEnvironment(environment);
            program.setProcessChannelMode(QProcess::ForwardedChannels);
            program.start(folder.path() + "/kavrilune", {});
            program.waitForStarted(5000);
            icecast.SetTitle("/live", kSongTitle);
            const QString window = FindWindow(kSongTitle, environment, 20000);
            PumpFor(5000); // buffer, spectrum, elapsed time and the rotating line settle
            const QString suffix = density == 1.0 ? QString() : "@" + QString::number(density) + "x";
            const QString name = QStringLiteral("main-%1%2.png").arg(expanded ? "expanded" : "normal", suffix);
            report(
                !window.isEmpty() && Grab(grab, window, output + "/" + name, qRound(20 * density), environment), name);
            // Saves the window with the popups just opened, then closes them.
            auto savePopups = [&](const QString& base, const QStringList& popups, const QStringList& closeKeys) {
                const QString popupName = base + suffix + ".png";
                report(
                    GrabWithPopups(grab, window, popups, output + "/" + popupName, 20 * scale, environment), popupName);
                Run("xdotool", QStringList { "key" } + closeKeys, environment);
                PumpFor(300);
            };
            if (!window.isEmpty() && !expanded && !fractional) {
                // The main menu with its favourites open, as a right click on the window's body shows it:
                // the keys go to the menu only once it is there.
                QStringList menus = OpenPopups(program.processId(), 1, environment,
                    [&] { Click(window, QPoint(150, 208), 3, scale, environment); });
                if (!menus.isEmpty()) {
                    menus += OpenPopups(program.processId(), 1, environment, [&] {
                        for (int step = 0; step < 6; ++step)
                            Run("xdotool", { "key", "Down" }, environment);
                        Run("xdotool", { "key", "Right" }, environment);
                    });
                }
                savePopups("menu-main", menus.size() == 2 ? menus : QStringList(), { "Escape", "Escape" });
                // The Favorites button's menu.
                const QStringList favourites = OpenPopups(program.processId(), 1, environment,
                    [&] { Click(window, QPoint(327, 289), 1, scale, environment); });
                savePopups("menu-favorites", favourites, { "Escape" });
            } else if (!window.isEmpty() && !fractional) {
                // The menu of the list header's language column.
                const QStringList header = OpenPopups(program.processId(), 1, environment,
                    [&] { Click(window, QPoint(500, 48), 3, scale, environment); });
                savePopups("menu-header", header, { "Escape" });
            }

            if (!expanded && !fractional) {
                // The first picture may have come while the window was still hidden; the next title's
                // comes at least four seconds after it.
                QString art = FindWindow(kPictureArtName, environment, 3000);
                if (art.isEmpty()) {
                    icecast.SetTitle("/live", kNextSongTitle);
                    art = FindWindow(kPictureArtName, environment, 20000);
                }
                PumpFor(500);
                const QString artName = "album-art" + suffix + ".png";
                report(!art.isEmpty() && Grab(grab, art, output + "/" + artName, 12 * scale, environment), artName);
                if (scale == 1) {
                    const QString desktop = output + "/desktop.png";
                    const bool grabbed = Grab(grab, "0", desktop, 0, environment);
                    report(grabbed && QImage(desktop).copy(kDesktopPart).save(desktop), "desktop.png");
                }
                QProcess shot;
                QProcessEnvironment shotEnvironment = environment;
                shotEnvironment.insert("XDG_DATA_HOME", home.path() + "/shot-data");
                shot.setProcessEnvironment(shotEnvironment);
                shot.setProcessChannelMode(QProcess::ForwardedChannels);
                const QString aboutName = "about" + suffix + ".png";
                shot.start(dialogShot, { folder.path(), output + "/" + aboutName, "about" });
                report(shot.waitForFinished(20000) && shot.exitStatus() == QProcess::NormalExit && shot.exitCode() == 0,
                    aboutName);
            }
            if (!expanded && !window.isEmpty() && !fractional)
                failures += GrabOptionsPages(folder.path(), window, scale, output, grab, environment);
            CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
            if (!program.waitForFinished(10000))
                program.kill();
        }
    }
    return failures == 0 ? 0 : 1;
}
