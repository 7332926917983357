// How the main window composes itself: its controls and desktop services, and each part with the
// shared objects it works on and the work of other parts it asks for, joined here.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/QtTrayBackend.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/CommandLineRunner.h"
#include "ui/mainwindow/MainMenus.h"
#include "ui/mainwindow/PlaybackControl.h"
#include "ui/mainwindow/ProgramLifecycle.h"
#include "ui/mainwindow/SettingsKeeper.h"
#include "ui/mainwindow/SkinLayout.h"
#include "ui/mainwindow/StatusDisplay.h"
#include "ui/mainwindow/UpdateChecks.h"
#include "ui/mainwindow/WindowInput.h"
#include "ui/mainwindow/WindowPresence.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QProgressBar>
#include <QSignalBlocker>

void CKavriluneDlg::CreateDesktopServices(std::unique_ptr<ITrayBackend> trayBackend)
{
    if (!trayBackend)
        trayBackend = std::make_unique<CQtTrayBackend>();
    m_tray = std::make_unique<CSystemTray>(this, std::move(trayBackend));
    m_dropTarget = std::make_unique<CDropTarget>();

    // The desktop's media controls act as the buttons do.
    MprisPlayerControls controls;
    controls.playPause = [this] { OnCommand(kCommandPlay); };
    controls.play = [this] {
        if (!m_radio.IsPlaying())
            OnCommand(kCommandPlay);
    };
    controls.pause = [this] {
        if (m_radio.IsPlaying())
            OnCommand(kCommandStop);
    };
    controls.stop = [this] { OnCommand(kCommandStop); };
    controls.next = [this] { OnCommand(kCommandNext); };
    controls.previous = [this] { OnCommand(kCommandBack); };
    controls.setVolume = [this](int percent) { m_controls.volume->setValue(percent); };
    controls.isPlaying = [this] { return m_radio.IsPlaying(); };
    controls.volume = [this] { return m_controls.volume->value(); };
    controls.station = [this] { return m_radio.GetStationName(); };
    controls.song = [this] { return m_radio.GetStreamName(); };
    m_mpris = std::make_unique<CMprisService>(std::move(controls));
}

void CKavriluneDlg::CreateControls()
{
    m_controls.Create(*this);
    for (const auto& [id, button] : m_controls.buttons)
        connect(button, &QAbstractButton::clicked, this, [this, id = id] { OnCommand(id); });
    connect(m_controls.spectrum, &QAbstractButton::clicked, this, [this] { OnCommand(kCommandSpectrum); });
}

void CKavriluneDlg::CreateParts()
{
    CreatePlayParts();
    CreateWindowParts();
    CreateLifecycle();
}

void CKavriluneDlg::CreatePlayParts()
{
    const MainWindowControls& c = m_controls;
    const CStatusDisplay::Controls shown { *this, *c.songTitle, *c.status, *c.bufferInfo, *c.rotatedInfo,
        *c.foundNumber, *c.bufferIndicator, *c.Button(kCommandPlay), *c.Button(kCommandMute), *c.Button(kCommandRec),
        *c.Button(kCommandSources), *c.Button(kCommandExit), *c.Button(kCommandBack), *c.Button(kCommandNext),
        *c.Button(kCommandOptions), *c.Button(kCommandFavorites), *c.Button(kCommandExpand), *c.Button(kCommandOnTop),
        *c.Button(kCommandMinimize) };
    m_display = std::make_unique<CStatusDisplay>(
        shown, m_radio, m_options.advanced, *m_tray, *m_mpris, [this] { return m_controls.list->GetVisibleCount(); });

    CPlaybackControl::Callbacks callbacks;
    callbacks.showStatus = [this](int status) { m_display->ShowStatus(status); };
    callbacks.updateTitleText = [this](bool balloon) { m_display->UpdateTitleText(balloon); };
    callbacks.updateStreamFormatText = [this] { m_display->UpdateStreamFormatText(); };
    callbacks.updatePlayButton = [this] { m_display->UpdatePlayButton(); };
    callbacks.updateMuteButton = [this] { m_display->UpdateMuteButton(); };
    callbacks.updateRecButton = [this] { m_display->UpdateRecButton(); };
    callbacks.markDirty = [this] { m_settings->MarkDirty(); };
    callbacks.applySkin = [this] { m_skinLayout->ApplySkin(500, true); };
    callbacks.appFolder = [this] { return m_lifecycle->AppFolder(); };
    m_playback = std::make_unique<CPlaybackControl>(
        CPlaybackControl::Parts { m_radio, m_favorites, m_history, *c.list, *c.volume, *c.pictureArt },
        CPlaybackControl::Options {
            m_options.general, m_options.advanced, m_options.recordings, m_options.skins, m_bufferSize },
        std::move(callbacks));
}

void CKavriluneDlg::CreateWindowParts()
{
    const MainWindowControls& c = m_controls;
    const CSkinLayout::Controls dressed { *this, c.Button(kCommandExit), c.Button(kCommandOptions),
        c.Button(kCommandMute), c.Button(kCommandFavorites), c.Button(kCommandRec), c.Button(kCommandNext),
        c.Button(kCommandBack), c.Button(kCommandPlay), c.Button(kCommandSources), c.Button(kCommandFilterLabel),
        c.Button(kCommandMinimize), c.Button(kCommandExpand), c.Button(kCommandOnTop), *c.spectrum, *c.list, *c.volume,
        *c.filter, *c.bufferIndicator, *c.songTitle, *c.status, *c.foundNumber, *c.rotatedInfo, *c.bufferInfo };
    m_skinLayout = std::make_unique<CSkinLayout>(
        dressed, m_options.skins, CSkinLayout::Layout { m_layout.expanded, m_layout.windowPos, m_layout.expandedPos },
        [this] { return m_lifecycle->AppFolder(); },
        [this] {
            m_display->UpdateTitleText(false);
            m_display->UpdateStreamFormatText();
            // At start-up the keys are grabbed once the window is up.
            if (m_lifecycle->IsStartUpFinished())
                m_input->RegisterHotKeys();
        });

    m_presence = std::make_unique<CWindowPresence>(
        CWindowPresence::Shared { *this, *c.list, c.Button(kCommandOnTop), m_options.general, *m_tray, m_layout },
        [this](int fadeMs) { m_skinLayout->ApplySkin(fadeMs, true); });

    CSettingsKeeper::Hooks settingsHooks;
    settingsHooks.layout = [this] { return m_presence->CurrentLayout(); };
    settingsHooks.restoreLayout = [this](const WindowLayout& stored) { m_presence->RestoreLayout(stored); };
    settingsHooks.setBufferSizeMs = [this](int ms) { m_bufferSize = ms; };
    settingsHooks.now = [this] { return m_clock(); };
    m_settings
        = std::make_unique<CSettingsKeeper>(CSettingsKeeper::Shared { m_radio, m_favorites, m_history,
                                                m_options.general, *c.volume, *c.filter, *c.list, *c.pictureArt },
            std::move(settingsHooks));

    CCommandLineRunner::Hooks lineHooks;
    lineHooks.autoplay = [this] { return m_options.general.m_autoplay; };
    lineHooks.setDuration = [this](int seconds) { m_lifecycle->SetDuration(seconds); };
    lineHooks.setRecordingName = [this](const QString& name) { m_playback->SetRecordingName(name); };
    lineHooks.setPendingRecord = [this](bool record) { m_playback->SetPendingRecord(record); };
    lineHooks.confirmStopRecording = [this] { return m_playback->ConfirmStopRecording(false); };
    lineHooks.play = [this](const QString& title, const QString& source) {
        CStationItem station;
        if (!source.isEmpty())
            m_controls.list->FindOrAddStation(station, title, source);
        else
            m_radio.GetCurrentStation(station);
        m_playback->PlayStation(station, true);
    };
    lineHooks.mute = [this] {
        m_radio.SetMute(true);
        m_display->UpdateMuteButton();
    };
    lineHooks.armStart = [this](bool show) { m_timers.Set(show ? kTimerShow : kTimerHide, show ? 0 : 250); };
    lineHooks.isShown = [this] { return m_presence->IsShown(); };
    lineHooks.bringToFront = [this] { m_presence->BringToFront(); };
    lineHooks.endUnshown = [this] {
        m_settings->SkipSaveAtExit();
        m_lifecycle->OnExit();
    };
    lineHooks.isClosing = [this] { return m_lifecycle->IsClosing(); };
    lineHooks.quit = [this] { m_lifecycle->QuitApplication(); };
    m_commandLine = std::make_unique<CCommandLineRunner>(m_instanceLock, std::move(lineHooks));

    CMainMenus::Hooks menuHooks;
    menuHooks.isOnTop = [this] { return m_layout.onTop; };
    menuHooks.isShown = [this] { return m_presence->IsShown(); };
    menuHooks.button = [this](int commandId) -> QWidget* { return m_controls.Button(commandId); };
    menuHooks.command = [this](int commandId) { OnCommand(commandId); };
    menuHooks.confirmStopRecording = [this] { return m_playback->ConfirmStopRecording(false); };
    menuHooks.play = [this](const CStationItem& station) { m_playback->PlayStation(station, true); };
    menuHooks.languageChosen = [this] {
        UpdateButtons();
        m_settings->MarkDirty();
    };
    m_menus = std::make_unique<CMainMenus>(
        CMainMenus::Shared { *this, m_radio, m_favorites, m_history, *c.list }, std::move(menuHooks));

    CWindowInput::Hooks inputHooks;
    inputHooks.command = [this](int commandId) { OnCommand(commandId); };
    inputHooks.markDirty = [this] { m_settings->MarkDirty(); };
    m_input = std::make_unique<CWindowInput>(
        CWindowInput::Shared { *this, m_radio, *c.volume, *c.list, *m_mpris, m_options.general },
        std::move(inputHooks));
    connect(c.volume, &QAbstractSlider::valueChanged, this, [this] { m_input->OnVolumeChanged(); });

    m_updates = std::make_unique<CUpdateChecks>(
        CUpdateChecks::Shared { *this, m_radio, m_options.general, *m_tray, *c.list },
        [this] { return m_settings->SettingsFilePath(); }, [this] { return m_lifecycle->AppFolder(); });
}

void CKavriluneDlg::CreateLifecycle()
{
    const MainWindowControls& c = m_controls;
    CProgramLifecycle::Hooks hooks;
    hooks.userFolder = [this](bool create) { return m_settings->CreateUserFolder(create); };
    hooks.terminateAll = [this] { return m_commandLine->HandleTerminateAll() != 0; };
    hooks.loadStations = [this] {
        CStationsListCtrl& list = *m_controls.list;
        list.Init(m_lifecycle->AppFolder() + QStringLiteral("Stations/stations*.kvd"),
            m_settings->GetDataFilePath(QStringLiteral("mystations.kvd")));
        m_controls.filter->SetTarget([&list](const QString& text) { list.SetSearchText(text); });
    };
    hooks.loadSettings = [this] {
        const QString& settingsPath = m_settings->LocateSettingsFile();
        m_options.general.SetSettingsFile(settingsPath);
        m_options.advanced.SetSettingsFile(settingsPath);
        m_options.skins.SetSettingsFile(settingsPath);
        m_options.recordings.SetPortable(m_settings->IsPortable());
        m_options.recordings.SetSettingsFile(settingsPath);
        m_settings->LoadSettings();
    };
    hooks.runOwnCommandLine = [this] { return m_commandLine->ParseCommandLine(QString()) != 0; };
    hooks.prepareControls = [this] {
        m_controls.bufferIndicator->setRange(0, 100);
        {
            const QSignalBlocker quiet(m_controls.volume);
            m_controls.volume->setRange(0, 100);
        }
        m_controls.volume->InitControl();
        m_controls.spectrum->Init(false);
    };
    hooks.updateSpectrumTimer = [this] { UpdateSpectrumTimer(); };
    hooks.showTexts = [this] {
        UpdateButtons();
        m_display->UpdateStreamFormatText();
    };
    hooks.applySkin = [this] { m_skinLayout->ApplySkin(500, true); };
    hooks.showNewVersion = [this] { m_updates->OnNewVersion(); };
    hooks.startDesktopServices = [this] {
        m_mpris->Register();
        m_input->RegisterHotKeys();
    };
    hooks.confirmStopRecording = [this](bool forced) { return m_playback->ConfirmStopRecording(forced); };
    hooks.updatePlayButton = [this] { m_display->UpdatePlayButton(); };
    hooks.hideAnimated = [this](int ms) { m_presence->HideAnimated(ms); };
    hooks.isShown = [this] { return m_presence->IsShown(); };
    hooks.skipSaveAtExit = [this] { m_settings->SkipSaveAtExit(); };
    hooks.saveAtExit = [this] { m_settings->SaveAtExit(); };
    hooks.exitStarted = [this] { emit exitStarted(); };
    hooks.now = [this] { return m_clock(); };
    m_lifecycle = std::make_unique<CProgramLifecycle>(
        CProgramLifecycle::Shared { *this, m_radio, m_instanceLock, m_messenger, *m_tray, m_timers, *c.list,
            *c.pictureArt, *m_dropTarget, m_options.general },
        std::move(hooks));
}
