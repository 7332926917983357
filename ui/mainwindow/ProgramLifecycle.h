#pragma once

#include "core/WindowMessage.h"

#include <QString>

#include <cstdint>
#include <functional>

class CDropTarget;
class CGeneralProperties;
class CInstanceLock;
class CInstanceMessenger;
class CPictureArtDlg;
class CProgramTimers;
class CRadioManager;
class CStationsListCtrl;
class CSystemTray;
class QWidget;

// The program's start in two steps (the window, then a posted initialisation once the event loop runs),
// the first showing or hiding of the window, the "/duration" limit, and the one exit routine every way
// of ending goes through, with the quit once the players are gone (5 s at most).
//
// UI thread only.
class CProgramLifecycle
{
public:
    // What start-up and exit work on; the window owns all of it.
    struct Shared {
        QWidget& window;
        CRadioManager& radio;
        CInstanceLock& instanceLock; // the instance slot taken at start-up
        CInstanceMessenger& messenger; // where other starts reach this one
        CSystemTray& tray;
        CProgramTimers& timers;
        CStationsListCtrl& list;
        CPictureArtDlg& pictureArt;
        CDropTarget& dropTarget;
        const CGeneralProperties& general; // "Crossfade" of the exit's stop
    };

    // What start-up and exit ask of the window, in the order they are asked.
    struct Hooks {
        // The user's data folder, created when asked; empty when the desktop names none.
        std::function<QString(bool create)> userFolder;
        // "/terminateall": false when this process is to end.
        std::function<bool()> terminateAll;
        // The station list's catalogue and the user's stations, and the search box joined to the list.
        std::function<void()> loadStations;
        // The option pages' values and the window's own settings.
        std::function<void()> loadSettings;
        // Carries out this process's own command line; false when it was handed to a running instance.
        std::function<bool()> runOwnCommandLine;
        // The volume slider, the buffer indicator and the spectrum made ready to show.
        std::function<void()> prepareControls;
        // The spectrum's frame timer follows whether the window is shown.
        std::function<void()> updateSpectrumTimer;
        // The buttons' texts and states, and the stream format.
        std::function<void()> showTexts;
        // Puts the chosen skin on.
        std::function<void()> applySkin;
        // Shows the news of a newer version found by an earlier run.
        std::function<void()> showNewVersion;
        // What the window does not need to appear: the media-key service and the global hot keys.
        std::function<void()> startDesktopServices;
        // Stops a running recording, asking the user unless forced; false when it is to go on.
        std::function<bool(bool forced)> confirmStopRecording;
        std::function<void()> updatePlayButton;
        // Hides the window as closing it does.
        std::function<void(int ms)> hideAnimated;
        std::function<bool()> isShown;
        // This start was never shown: it writes no settings at exit.
        std::function<void()> skipSaveAtExit;
        std::function<void()> saveAtExit;
        // The exit routine has run; the quit follows.
        std::function<void()> exitStarted;
        // Seconds since 1970: the clock of the duration limit.
        std::function<int64_t()> now;
    };

    CProgramLifecycle(Shared shared, Hooks hooks);

    // --- start-up ---
    // The first step: the error log, "/terminateall", the drop target; posts the second step. False when
    // the program is to end.
    bool OnInitDialog();
    // The posted second step: stations, settings, command line and instance slot, timers, skin.
    // 1 when start-up ran to its end, 0 when this process is ending.
    LRESULT OnInitialize();
    // The start-up timer: shows the window (or, for a hidden start, hides it to the tray) once the
    // event loop runs; the rest of start-up follows.
    void OnShowTimer(bool show);
    // What the window does not need to appear, run once it is up.
    void FinishStartUp();
    // The program's folder, known once the first step has run.
    const QString& AppFolder() const { return m_appFolder; }
    // Start-up has run: the spectrum may be animated.
    bool IsAnimating() const { return m_animating; }
    bool IsStartUpFinished() const { return m_startUpFinished; }

    // --- the duration limit ---
    // "/duration", in seconds (0: no limit), counted from now: the start for the own command line, the
    // hand-over for a line another start handed over.
    void SetDuration(int seconds);
    int Duration() const { return m_duration; }
    // Ends the program once it has run longer than the limit; true while it goes on.
    bool CheckDuration();

    // --- exit ---
    // The one way out: asks about a running recording, stops playback, saves and quits once the
    // players are gone (5 s at most). Declining the question leaves the program running. A start that
    // was never shown (it handed its line over or found no free slot) saves nothing.
    void OnExit();
    // SIGTERM, SIGINT or SIGHUP: the exit routine without a question nobody is there to answer (a log-out):
    // a running recording is closed and open dialogs are dismissed first.
    void OnExitSignal();
    // Another instance asks this one to end; its own request (sender = this process) is ignored.
    LRESULT OnTerminate(LPARAM sender);
    // The quit poll: quits once no player is left.
    void OnQuitPoll();
    void QuitApplication();
    bool IsClosing() const { return m_closing; }

private:
    // The exit routine once no other run of it is on the stack.
    void ExitOnceFree();
    void RunInitializeBlock(int line, const std::function<void()>& block);

    Shared m_shared;
    Hooks m_hooks;
    QString m_appFolder;
    int64_t m_durationStart = 0; // when the limit was set
    int m_duration = 0;
    bool m_closing = false;
    bool m_animating = false;
    bool m_startUpFinished = false;
    bool m_exitRunning = false;
};
