// Saves a picture of a window on the X server of $DISPLAY, for screenshots of the running program.
// Usage: kavrilune_window_grab <window id>[,<popup id>...] <output.png> [rounded]
// With rounded, the corners outside the window's rounded outline become transparent. Popups (menus)
// given after the window are taken along where they lie, over it or beside it.

#include "ui/skin/Skin.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>

namespace
{

// A window's place on the screen in device pixels; empty when it cannot be had.
QRect ScreenRect(xcb_connection_t* connection, xcb_window_t window)
{
    xcb_get_geometry_reply_t* geometry
        = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!geometry)
        return {};
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, geometry->root, 0, 0), nullptr);
    QRect rect;
    if (origin)
        rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    std::free(origin);
    std::free(geometry);
    return rect;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: kavrilune_window_grab <window id>[,<popup id>...] <output.png> [rounded]\n");
        return 2;
    }
    QList<WId> windows;
    for (const QString& id : QString::fromLatin1(argv[1]).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        windows.append(id.toULongLong(&ok, 0));
        if (!ok)
            return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (windows.isEmpty() || !screen)
        return 2;

    QImage image;
    QRegion outline;
    if (windows.size() == 1) {
        image = screen->grabWindow(windows[0]).toImage().convertToFormat(QImage::Format_ARGB32);
        outline = QRegion(image.rect());
    } else {
        // The screen as it shows, cut to the window and its popups.
        auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            return 2;
        QList<QRect> places;
        QRect bounds;
        for (const WId window : windows) {
            places.append(ScreenRect(x11->connection(), xcb_window_t(window)));
            bounds |= places.last();
        }
        const QImage whole = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_ARGB32);
        image = whole.copy(bounds);
        for (QRect& place : places) {
            place.translate(-bounds.topLeft());
            outline |= place;
        }
        if (argc > 3) {
            // Only the main window is rounded.
            const QRect main = places.first();
            outline = QRegion();
            outline
                |= RoundedWindowRegion(main.size(), QString::fromLatin1(argv[3]).toInt()).translated(main.topLeft());
            for (qsizetype i = 1; i < places.size(); ++i)
                outline |= places[i];
        }
    }
    if (image.isNull()) {
        std::fprintf(stderr, "kavrilune_window_grab: nothing grabbed\n");
        return 1;
    }
    if (argc > 3 && windows.size() == 1) {
        const qreal scale = image.devicePixelRatio();
        outline
            = RoundedWindowRegion(image.size(), int(QString::fromLatin1(argv[3]).toInt() * (scale > 0 ? scale : 1)));
    }
    QImage shaped(image.size(), QImage::Format_ARGB32);
    shaped.fill(Qt::transparent);
    QPainter painter(&shaped);
    painter.setClipRegion(outline);
    painter.drawImage(0, 0, image);
    painter.end();
    return shaped.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
