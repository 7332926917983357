// A picture of one of the program's dialogs as it shows on the X server of $DISPLAY, for
// scripts/screenshots: the dialog runs from the given program folder, its network answers come from a
// loopback server, and the picture is taken once they have arrived.
// Usage: kavrilune_dialog_shot <program folder> <output.png> about

#include "core/ErrorLog.h"
#include "core/ServerHosts.h"
#include "core/Updater.h"
#include "ui/windows/AboutDlg.h"

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MessageRecorder.h"

#include <QApplication>
#include <QScreen>
#include <QStyleFactory>

#include <cstdio>

using namespace testing_support;

namespace
{

// The About box as a user sees it while a newer version is on offer.
bool ShootAbout(const QString& output)
{
    LoopbackHttpServer server;
    server.RouteFixed("/download/version.xml", 200, "text/xml",
        "<kavrilune><version>1.2.0.0</version>"
        "<download>https://kavrilune.org/download/1.2.0.0</download></kavrilune>");
    SetWebHostOverride(server.Url());
    CUpdater updater;
    CAboutDlg dialog(&updater);
    dialog.SetSkinAuthor(QStringLiteral("Kavrilune"));
    dialog.show();
    const QString checking = dialog.UpdateStateText();
    PumpUntil([&] { return dialog.UpdateStateText() != checking; }, 10000);
    PumpFor(300); // the window system catches up with the last paint
    QScreen* screen = dialog.screen();
    const QImage picture = screen ? screen->grabWindow(dialog.winId()).toImage() : QImage();
    return !picture.isNull() && picture.save(output);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: kavrilune_dialog_shot <program folder> <output.png> about\n");
        return 2;
    }
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    SetAppFolderOverride(QString::fromLocal8Bit(argv[1]));
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QString dialog = QString::fromLocal8Bit(argv[3]);
    if (dialog == QStringLiteral("about"))
        return ShootAbout(output) ? 0 : 1;
    std::fprintf(stderr, "kavrilune_dialog_shot: unknown dialog %s\n", argv[3]);
    return 2;
}
