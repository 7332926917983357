#pragma once

#include <memory>

class CKavriluneDlg;
class QApplication;

// The application: brings the process up (style, message boxes, screen density, the environment's
// settings), creates the main window, runs the event loop and tears everything down in order.
class CKavriluneApp
{
public:
    CKavriluneApp(int& argc, char** argv);
    ~CKavriluneApp();

    CKavriluneApp(const CKavriluneApp&) = delete;
    CKavriluneApp& operator=(const CKavriluneApp&) = delete;

    // Runs the program; the process exit code.
    int Run();

    // Whether a window system can be reached: a platform named in QT_QPA_PLATFORM, or an X11 or
    // Wayland display in the environment.
    static bool HasDisplay();
    // The whole program: one line and exit code 1 without a display.
    static int Main(int argc, char** argv);

    // Message boxes through QMessageBox, for the program's MessageBox calls.
    static void InstallMessageBoxes();
    // The screen's logical density for the settings store, measured once on the UI thread.
    static void InstallScreenDensity();

private:
    std::unique_ptr<QApplication> m_application;
};
