// Saves a picture of a window on the X server of $DISPLAY, for screenshots of the running program.
// Usage: kavrilune_window_grab <window id> <output.png> [rounded]
// With rounded, the corners outside the window's rounded outline become transparent.

#include "ui/Skin.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: kavrilune_window_grab <window id> <output.png> [rounded]\n");
        return 2;
    }
    bool ok = false;
    const WId window = QString::fromLatin1(argv[1]).toULongLong(&ok, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || !screen)
        return 2;
    QImage image = screen->grabWindow(window).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "kavrilune_window_grab: nothing grabbed\n");
        return 1;
    }
    if (argc > 3) {
        const qreal scale = image.devicePixelRatio();
        const QRegion outline
            = RoundedWindowRegion(image.size(), int(QString::fromLatin1(argv[3]).toInt() * (scale > 0 ? scale : 1)));
        QImage shaped(image.size(), QImage::Format_ARGB32);
        shaped.fill(Qt::transparent);
        QPainter painter(&shaped);
        painter.setClipRegion(outline);
        painter.drawImage(0, 0, image);
        painter.end();
        image = shaped;
    }
    return image.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
