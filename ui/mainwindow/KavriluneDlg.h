#pragma once

#include "audio/RadioManager.h"
#include "core/Favorites.h"
#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/StationItem.h"
#include "core/StationUpdater.h"
#include "core/Updater.h"
#include "core/WindowMessage.h"
#include "ui/desktop/TrayBackend.h"
#include "ui/mainwindow/CommandLineRunner.h"
#include "ui/mainwindow/MainMenus.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/mainwindow/PlaybackControl.h"
#include "ui/mainwindow/ProgramTimers.h"
#include "ui/mainwindow/SettingsKeeper.h"
#include "ui/mainwindow/SkinLayout.h"
#include "ui/mainwindow/StatusDisplay.h"
#include "ui/options/GeneralProperties.h"
#include "ui/options/PropExtra.h"
#include "ui/options/PropRecordings.h"
#include "ui/options/PropSkins.h"
#include "ui/skin/WindowDrag.h"

#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class CDropTarget;
class CFilterBox;
class CGdipButton;
class CGlobalHotKeys;
class CMprisService;
class CHyperStatic;
class CPictureArtDlg;
class CSliderCtrlEx;
class CSpectrumButton;
class CStationsListCtrl;
class CSystemTray;
class QMenu;
class QProgressBar;
class QWheelEvent;
struct CommandLineSwitch;

// The main window: the skinned player with its station list, buttons, labels, spectrum and volume
// slider. It owns the radio manager, the favourites and history, the instance lock, the option values,
// both updaters and the tray icon, starts the program in two steps (the window, then a posted
// initialisation once the event loop runs), drives playback and shows what the players report, runs
// the program's timers and ends the program through one exit routine.
//
// UI thread only (the settings keeper runs its background save on a worker).
class CKavriluneDlg : public QWidget
{
    Q_OBJECT

public:
    // Command ids of the buttons and menus.
    using enum main_window_commands::Command;

    // The program's timers.
    enum Timer {
        kTimerStatus = 1, // 400 ms: elapsed time, buffer, list visibility
        kTimerSpectrum = 3, // 32 ms
        kTimerInfo = 4, // 4 s: duration limit, deferred save, rotating title
        kTimerQuitPoll = 5, // 100 ms during exit: quit once no player is left
        kTimerQuitForce = 6, // 5 s after exit began: quit
        kTimerShow = 7, // once, as soon as start-up has run: show the window
        kTimerHide = 8, // once, 250 ms after a hidden start-up: hide to the tray
        kTimerUpdateCheck = 9, // program update check, 10 min then 2 h
        kTimerStationsCheck = 10, // stations database check, 6 min then 1 h
        kTimerPlayReport = 11, // 10 min: play report
    };

    // What a settings save writes, taken on the UI thread so that the save can run on a worker.
    using SettingsSnapshot = CSettingsKeeper::Snapshot;

    // trayBackend: the notification area to use; null means the desktop's.
    explicit CKavriluneDlg(std::unique_ptr<ITrayBackend> trayBackend = nullptr);
    ~CKavriluneDlg() override;

    // --- start-up and exit ---
    // Creates the window's parts and posts WM_KAVRILUNE_INITIALIZE; false when the program is to end.
    bool OnInitDialog();
    // The posted second step: stations, settings, command line and instance slot, timers, skin.
    // 1 when start-up ran to its end, 0 when this process is ending.
    LRESULT OnInitialize();
    // The one way out: asks about a running recording, stops playback, saves and quits once the
    // players are gone (5 s at most). Declining the question leaves the program running. A start that
    // was never shown (it handed its line over or found no free slot) saves nothing.
    void OnExit();
    // SIGTERM or SIGINT: the exit routine without a question nobody is there to answer (a log-out):
    // a running recording is closed and open dialogs are dismissed first.
    void OnExitSignal();
    void QuitApplication();
    // Another instance asks this one to end; its own request (sender = this process) is ignored.
    LRESULT OnTerminate(LPARAM sender);
    // Carries out a command line: this process's own for an empty text (which also arms the timer that
    // shows or hides the window), else one handed over by another start. 0 when the line was handed to
    // a running instance.
    int ParseCommandLine(const QString& text);
    // Another start handed its line over: 1 after carrying it out, 0 when there was none (or this
    // instance is ending and cannot carry it out).
    LRESULT OnCmdLine();
    // "/terminateall": ends every other instance; 0 when this process is to end (ExitCode says how), 1
    // when start-up goes on.
    int HandleTerminateAll();
    // The process's exit code when it ends before its event loop runs.
    int ExitCode() const;
    // The program's arguments, the program first; the process's own unless a test set others.
    void SetArguments(const QStringList& arguments);

    // --- data folder and settings ---
    QString GetDataFilePath(const QString& fileName);
    QString CreateUserFolder(bool create);
    void LoadSettings();
    SettingsSnapshot TakeSettingsSnapshot();
    void SaveSettings(const SettingsSnapshot& snapshot);
    // Saves a fresh snapshot on a worker thread; a save still running finishes first.
    void StartSettingsSaveThread();
    void WaitForSettingsSave();

    // --- skin and layout ---
    void ApplySkin(int fadeMs, bool force) { m_skinLayout->ApplySkin(fadeMs, force); }
    void OnExpand();
    void StoreWindowPosition();

    // --- playback: the play road and the status display do the work ---
    void PlayStation(const CStationItem& station, bool addToHistory) { m_playback->PlayStation(station, addToHistory); }
    void OnPlay() { m_playback->OnPlay(); }
    void OnStop() { m_playback->OnStop(); }
    void OnBack() { m_playback->OnBack(); }
    void OnNext() { m_playback->OnNext(); }
    void OnFavoriteItem(int commandId) { m_playback->OnFavoriteItem(commandId); }
    void OnHistoryItem(int commandId) { m_playback->OnHistoryItem(commandId); }
    void OnPasteUrl() { m_playback->OnPasteUrl(); }
    void OnDropText(const QString& text) { m_playback->OnDropText(text); }
    void OnDropFile(const QString& path) { m_playback->OnDropFile(path); }
    void OnStationDetails() { m_playback->OnStationDetails(); }
    void OnCopyUrl() { m_playback->OnCopyUrl(); }
    void OnRecord() { m_playback->OnRecord(); }
    bool ConfirmStopRecording(bool forced) { return m_playback->ConfirmStopRecording(forced); }
    void OnMute() { m_playback->OnMute(); }
    void OnUpdateStatus(WPARAM code, LPARAM player) { m_playback->OnUpdateStatus(code, player); }
    void UpdateTitleText(bool balloon) { m_display->UpdateTitleText(balloon); }
    void UpdateStreamFormatText() { m_display->UpdateStreamFormatText(); }
    // The status timer's work: the display's, and the station list shown once it is ready.
    void OnStatusTimer();
    // The info timer's playback work: the rotating line, and the radio's watchdog.
    void UpdateRotatedInfo();
    void OnListWorkerDone();
    // The buttons after a change of language, and the list's column titles.
    void UpdateButtons();
    void UpdatePlayButton() { m_display->UpdatePlayButton(); }
    void UpdateMuteButton() { m_display->UpdateMuteButton(); }
    void UpdateRecButton() { m_display->UpdateRecButton(); }

    // --- timers and updaters ---
    // What timer number does when it fires.
    void OnTimer(int number);
    void CheckDurationAndDirty();
    void CheckForProgramUpdate();
    void CheckForStationsUpdate();
    void ReportPlay();
    void StepVolume(int step);
    void OnVolumeChanged();
    void OnNewVersion();
    void OnStationsUpdated();
    void OnTrayBalloonClick(WPARAM cookie);
    void RegisterHotKeys();
    // Runs the spectrum's frame timer while the window is shown, and stops it otherwise.
    void UpdateSpectrumTimer();
    // What the window does not need to appear, run once it is up: the media-key service on the
    // session bus and the global hot keys.
    void FinishStartUp();
    // A global hot key (ids 1 to 9) was pressed.
    LRESULT OnHotKey(int id);
    // A media key pressed while the window has the focus; false for other keys.
    bool OnMediaKey(int key);
    // One wheel notch (delta +-120) over the window: 1 when it changed the volume, 0 when the list
    // scrolls instead or the window is not the active one.
    LRESULT OnMouseWheelForward(int delta);

    // --- window ---
    bool IsShown() const;
    // Hiding goes to the tray only when the user wants that and the desktop has a notification area.
    bool HidesToTray() const;
    // Shows the hidden or minimised window and raises it.
    void BringToFront();
    void HideAnimated(int ms);
    void ToggleVisible(int ms);
    void OnToggleOnTop();
    void OnTrayCommand();
    // The right-click menu of the window and the tray icon.
    void OnContextMenu();
    void OnCommand(int id);
    // The modal options sheet; the hot keys follow it once it closes. One sheet at a time.
    void OnOptions();
    // The About box with the skin's author; one at a time.
    void OnAbout();
    // The menus as they would be shown now; the caller owns them.
    std::unique_ptr<QMenu> BuildMainMenu();
    std::unique_ptr<QMenu> BuildFavoritesMenu();
    std::unique_ptr<QMenu> BuildSourcesMenu();
    // The Favorites button's menu, beside the button; the Sources button's menu, above it.
    void ShowFavoritesMenu();
    void ShowSourcesMenu();

    // --- state for the program's own checks ---
    CRadioManager& Radio() { return m_radio; }
    CInstanceLock& InstanceLock() { return m_instanceLock; }
    CFavorites& Favorites() { return m_favorites; }
    CFavorites& History() { return m_history; }
    CSystemTray& Tray() { return *m_tray; }
    CStationsListCtrl& StationList() { return *m_list; }
    CFilterBox& FilterBox() { return *m_filter; }
    CSliderCtrlEx& VolumeSlider() { return *m_volume; }
    CGdipButton* Button(int commandId) const;
    CHyperStatic& SongTitleLabel() { return *m_songTitle; }
    CHyperStatic& StatusLabel() { return *m_status; }
    CHyperStatic& BufferInfoLabel() { return *m_bufferInfo; }
    CHyperStatic& RotatedInfoLabel() { return *m_rotatedInfo; }
    CHyperStatic& FoundNumberLabel() { return *m_foundNumber; }
    QProgressBar& BufferIndicator() { return *m_bufferIndicator; }
    CProgramTimers& Timers() { return m_timers; }
    CSpectrumButton& Spectrum() { return *m_spectrum; }
    CPictureArtDlg& PictureArt() { return *m_pictureArt; }
    CGlobalHotKeys& HotKeys() { return *m_hotKeys; }
    CDropTarget& DropTarget() { return *m_dropTarget; }
    const QString& RecordingName() const { return m_playback->RecordingName(); }
    int Duration() const { return m_duration; }
    CGeneralProperties& GeneralOptions() { return m_general; }
    CPropExtra& AdvancedOptions() { return m_advanced; }
    CPropRecordings& RecordingOptions() { return m_recordings; }
    CPropSkins& SkinOptions() { return m_skins; }
    const QString& SettingsFilePath() const { return m_settings->SettingsFilePath(); }
    const QString& AuthorName() const { return m_skinLayout->AuthorName(); }
    bool IsPortable() const { return m_settings->IsPortable(); }
    bool IsExpanded() const { return m_expanded; }
    bool IsOnTop() const { return m_onTop; }
    bool IsClosing() const { return m_closing; }
    bool IsSettingsDirty() const { return m_settings->IsDirty(); }
    int BufferSizeMs() const { return m_bufferSize; }
    int LastStatusCode() const { return m_display->LastStatus(); }
    int SkinApplyCount() const { return m_skinLayout->ApplyCount(); }
    QPoint LayoutPosition(bool expanded) const { return expanded ? m_expandedPos : m_windowPos; }
    const QPixmap& BackgroundPixmap() const { return m_skinLayout->Background(); }
    void SetDuration(int seconds) { m_duration = seconds; }
    void SetPendingRecord(bool record) { m_playback->SetPendingRecord(record); }
    void SetRecordingName(const QString& name) { m_playback->SetRecordingName(name); }
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
    void CreateControls();
    // The play road and the status display, given the controls and the shared objects.
    void CreatePlayParts();
    // The skin layout, given the controls and the window's layout state.
    void CreateSkinLayout();
    void CreateSettingsKeeper();
    void CreateCommandLineRunner();
    void CreateMenus();
    // The exit routine once no other run of it is on the stack.
    void ExitOnceFree();
    bool HandleWindowMessage(WindowMessage& message);
    void MarkDirty();
    int64_t Now() const;
    void RunInitializeBlock(int line, const std::function<void()>& block);
    QString StationDisplayName();
    void CreateInputServices();
    bool HandleWheel(QWheelEvent& wheel);

    // Start-up and exit state.
    QString m_appFolder;
    int64_t m_startTime = 0;
    int m_duration = 0;
    bool m_closing = false;
    bool m_animating = false; // UI thread only: start-up has run, the spectrum may be animated
    bool m_startUpFinished = false; // UI thread only: FinishStartUp has run
    bool m_exitRunning = false;
    bool m_expanded = false;
    bool m_onTop = false;
    QPoint m_windowPos { -1, -1 };
    QPoint m_expandedPos { -1, -1 };
    int m_bufferSize = 4000;
    std::function<int64_t()> m_clock;
    bool m_newVersionRunning = false;
    int m_wheelDelta = 0; // wheel turns not yet making a whole notch

    CRadioManager m_radio;
    CInstanceLock m_instanceLock;
    CInstanceMessenger m_messenger;
    CFavorites m_favorites;
    CFavorites m_history;

    // Controls, owned by the window.
    CHyperStatic* m_songTitle = nullptr;
    CHyperStatic* m_status = nullptr;
    CHyperStatic* m_foundNumber = nullptr;
    CHyperStatic* m_rotatedInfo = nullptr;
    CHyperStatic* m_bufferInfo = nullptr;
    QProgressBar* m_bufferIndicator = nullptr;
    CSpectrumButton* m_spectrum = nullptr;
    std::vector<std::pair<int, CGdipButton*>> m_buttons;
    CFilterBox* m_filter = nullptr;
    CSliderCtrlEx* m_volume = nullptr;
    CStationsListCtrl* m_list = nullptr;
    CPictureArtDlg* m_pictureArt = nullptr; // a window of its own; deleted first

    CGeneralProperties m_general;
    CPropExtra m_advanced;
    CPropSkins m_skins;
    CPropRecordings m_recordings;
    CUpdater m_updater;
    CStationUpdater m_stationUpdater;
    std::unique_ptr<CSystemTray> m_tray;
    std::unique_ptr<CGlobalHotKeys> m_hotKeys;
    std::unique_ptr<CMprisService> m_mpris;
    std::unique_ptr<CDropTarget> m_dropTarget;

    CProgramTimers m_timers;
    std::unique_ptr<CSettingsKeeper> m_settings;
    std::unique_ptr<CCommandLineRunner> m_commandLine;
    std::unique_ptr<CMainMenus> m_menus;
    CWindowDrag m_drag;

    std::unique_ptr<CStatusDisplay> m_display;
    std::unique_ptr<CPlaybackControl> m_playback;
    std::unique_ptr<CSkinLayout> m_skinLayout;
};
