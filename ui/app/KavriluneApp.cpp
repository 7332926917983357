#include "ui/app/KavriluneApp.h"

#include "core/ErrorLog.h"
#include "core/MessageBox.h"
#include "core/XMLSettings.h"
#include "ui/app/ExitSignals.h"
#include "ui/app/ProgramEnvironment.h"
#include "ui/desktop/SessionBusAddress.h"
#include "ui/mainwindow/KavriluneDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyleFactory>

#include <cmath>
#include <cstdio>
#include <malloc.h>

namespace
{

int ShowMessageBox(const QString& text, const QString& caption, unsigned type)
{
    QMessageBox box;
    box.setWindowTitle(caption.isEmpty() ? QStringLiteral("Kavrilune") : caption);
    box.setText(text);
    switch (type & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return (type & MB_TYPEMASK) == MB_OKCANCEL || (type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }
}

} // namespace

CKavriluneApp::CKavriluneApp(int& argc, char** argv)
    : m_application(std::make_unique<QApplication>(argc, argv))
{
    QApplication::setApplicationName(QStringLiteral("Kavrilune"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
}

CKavriluneApp::~CKavriluneApp() = default;

bool CKavriluneApp::HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int CKavriluneApp::Main(int argc, char** argv)
{
    if (!HasDisplay()) {
        std::fprintf(stderr, "Kavrilune needs a desktop session: no display was found.\n");
        return 1;
    }
    // Every player is a thread of its own, and each new one would otherwise take a malloc arena of
    // its own up to eight per core, each keeping what its streams freed: the program's memory then
    // climbs for many minutes of switching stations. Two arenas serve the window and the players.
    mallopt(M_ARENA_MAX, 2);
    // Before the first thread, while changing the environment is safe.
    DeclineSessionBusStart();
    // On X, the window's pixels go to the server through shared memory unless told otherwise, and then
    // every paint first waits for a round trip to the server, lest it draw into pixels the server may
    // still be reading. The spectrum paints a small patch thirty times a second: sent within the request
    // such a patch costs the server no more, and the round trips (a quarter of the program's CPU while
    // the window shows) go. Read once, when the connection opens; the programs we start inherit nothing.
    const char* const kNoSharedMemory = "QT_XCB_NO_MITSHM";
    const bool setByUser = qEnvironmentVariableIsSet(kNoSharedMemory);
    if (!setByUser)
        qputenv(kNoSharedMemory, "1");
    CKavriluneApp app(argc, argv);
    if (!setByUser)
        qunsetenv(kNoSharedMemory);
    return app.Run();
}

void CKavriluneApp::InstallMessageBoxes()
{
    SetMessageBoxHandler(&ShowMessageBox);
}

void CKavriluneApp::InstallScreenDensity()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int x = screen ? int(std::lround(screen->logicalDotsPerInchX())) : 96;
    const int y = screen ? int(std::lround(screen->logicalDotsPerInchY())) : 96;
    SetScreenPixelsPerInchProvider([x, y] { return std::pair<int, int>(x, y); });
}

int CKavriluneApp::Run()
{
    ApplyProgramEnvironment();
    InstallMessageBoxes();
    InstallScreenDensity();

    int code = 0;
    // Before the window: a signal during start-up is acted on once the loop runs.
    CExitSignals exitSignals;
    {
        CKavriluneDlg window;
        QObject::connect(&exitSignals, &CExitSignals::received, &window, &CKavriluneDlg::OnExitSignal);
        // A window that ends before the loop runs ("/terminateall", a failed start) says how.
        code = window.OnInitDialog() ? QApplication::exec() : window.ExitCode();
    }
    CloseErrorLog();
    return code;
}
