#pragma once

#include "audio/RadioManager.h"
#include "core/Favorites.h"
#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/WindowMessage.h"
#include "ui/desktop/TrayBackend.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/mainwindow/MainWindowControls.h"
#include "ui/mainwindow/MainWindowOptions.h"
#include "ui/mainwindow/ProgramTimers.h"
#include "ui/mainwindow/WindowLayout.h"
#include "ui/skin/WindowDrag.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class CCommandLineRunner;
class CDropTarget;
class CMainMenus;
class CMprisService;
class CPlaybackControl;
class CProgramLifecycle;
class CSettingsKeeper;
class CSkinLayout;
class CStatusDisplay;
class CSystemTray;
class CUpdateChecks;
class CWindowInput;
class CWindowPresence;

// The main window: the skinned player with its station list, buttons, labels, spectrum and volume
// slider. It owns what its parts share (the radio manager, the favourites and history, the instance
// lock, the option values, the controls, the tray icon, the timers and the window's layout), makes the
// parts and hands each the objects it works on, and dispatches to them the window's messages, commands,
// timers and events. The parts do the work: start-up and exit, the play road and the status display,
// the skin layout, the settings, the command line, the menus, showing and hiding the window, keys and
// the wheel, and the update checks. No part knows another; where one needs another's work, the window
// joins them.
//
// UI thread only (the settings keeper runs its background save on a worker).
class CKavriluneDlg : public QWidget
{
    Q_OBJECT

public:
    // Command ids of the buttons and menus, and the timers' numbers.
    using enum main_window_commands::Command;
    using enum program_timers::Timer;

    // trayBackend: the notification area to use; null means the desktop's.
    explicit CKavriluneDlg(std::unique_ptr<ITrayBackend> trayBackend = nullptr);
    ~CKavriluneDlg() override;

    // --- what the application asks ---
    // Starts the program; false when it is to end at once (ExitCode then says how).
    bool OnInitDialog();
    // SIGTERM, SIGINT or SIGHUP: the exit routine without a question.
    void OnExitSignal();
    // The process's exit code when it ends before its event loop runs.
    int ExitCode() const;

    // --- the window's own dispatch ---
    // A button's or menu's command.
    void OnCommand(int id);
    // What timer number does when it fires.
    void OnTimer(int number);

    // --- the parts ---
    CProgramLifecycle& Lifecycle() { return *m_lifecycle; }
    CPlaybackControl& Playback() { return *m_playback; }
    CStatusDisplay& Display() { return *m_display; }
    CSkinLayout& SkinLayout() { return *m_skinLayout; }
    CSettingsKeeper& Settings() { return *m_settings; }
    CCommandLineRunner& CommandLine() { return *m_commandLine; }
    CMainMenus& Menus() { return *m_menus; }
    CWindowPresence& Presence() { return *m_presence; }
    CWindowInput& Input() { return *m_input; }
    CUpdateChecks& Updates() { return *m_updates; }
    CProgramTimers& Timers() { return m_timers; }

    // --- what the parts share ---
    CRadioManager& Radio() { return m_radio; }
    CInstanceLock& InstanceLock() { return m_instanceLock; }
    CFavorites& Favorites() { return m_favorites; }
    CFavorites& History() { return m_history; }
    CSystemTray& Tray() { return *m_tray; }
    const MainWindowControls& Controls() const { return m_controls; }
    MainWindowOptions& Options() { return m_options; }
    int BufferSizeMs() const { return m_bufferSize; }
    // The clock of the duration limit and the deferred save (seconds since 1970).
    void SetClock(std::function<int64_t()> clock) { m_clock = std::move(clock); }

signals:
    // The exit routine has run (the window is hidden, settings saved); the quit follows.
    void exitStarted();

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's children and the parts, each given what it works on (KavriluneDlgParts.cpp).
    void CreateDesktopServices(std::unique_ptr<ITrayBackend> trayBackend);
    void CreateControls();
    void CreateParts();
    void CreatePlayParts();
    void CreateWindowParts();
    void CreateLifecycle();
    bool HandleWindowMessage(WindowMessage& message);
    // The modal options sheet, one at a time; the hot keys follow it once it closes.
    void OnOptions();
    // The About box with the skin's author; one at a time.
    void OnAbout();
    // The work of the status display and the station list together.
    void OnStatusTimer();
    void OnListWorkerDone();
    void UpdateButtons();
    // Runs the spectrum's frame timer while the window is shown, and stops it otherwise.
    void UpdateSpectrumTimer();

    std::function<int64_t()> m_clock;
    int m_bufferSize = 4000; // the General page's buffer, read with the window's settings
    WindowLayout m_layout;

    CRadioManager m_radio;
    CInstanceLock m_instanceLock;
    CInstanceMessenger m_messenger;
    CFavorites m_favorites;
    CFavorites m_history;
    MainWindowOptions m_options;
    MainWindowControls m_controls;
    std::unique_ptr<CSystemTray> m_tray;
    std::unique_ptr<CMprisService> m_mpris;
    std::unique_ptr<CDropTarget> m_dropTarget;
    CProgramTimers m_timers;
    CWindowDrag m_drag;

    std::unique_ptr<CSettingsKeeper> m_settings;
    std::unique_ptr<CCommandLineRunner> m_commandLine;
    std::unique_ptr<CMainMenus> m_menus;
    std::unique_ptr<CWindowPresence> m_presence;
    std::unique_ptr<CWindowInput> m_input;
    std::unique_ptr<CUpdateChecks> m_updates;
    std::unique_ptr<CProgramLifecycle> m_lifecycle;
    std::unique_ptr<CStatusDisplay> m_display;
    std::unique_ptr<CPlaybackControl> m_playback;
    std::unique_ptr<CSkinLayout> m_skinLayout;
};
