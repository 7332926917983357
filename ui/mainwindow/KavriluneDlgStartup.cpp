// Start-up in two steps, the one exit routine, the quit, and showing and hiding the window.

#include "ui/mainwindow/KavriluneDlg.h"

#include "core/ErrorLog.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "core/XMLSettings.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/MainWindowMessages.h"
#include "ui/skin/WindowFader.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QApplication>
#include <QDialog>
#include <QProgressBar>
#include <QTimer>

using namespace main_window_messages;

namespace
{

const QString kProgramTitle = QStringLiteral("Kavri? Lune!");

uint32_t ProcessId()
{
    return uint32_t(QCoreApplication::applicationPid());
}

} // namespace

bool CKavriluneDlg::OnInitDialog()
{
    InstallSeTranslator();
    try {
        InitErrorLog(CreateUserFolder(false));
        if (!HandleTerminateAll())
            return false;
        m_dropTarget->Register(this);
        m_appFolder = GetAppFolder();
        PostWindowMessage(this, kInitialize, 0, 0);
        return true;
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 266);
        e->Delete();
        MessageBox(
            QStringLiteral("Error during initialization. Exiting...\nPlease see log files for error description."),
            QString(), MB_OK);
        QuitApplication();
        return false;
    }
}

void CKavriluneDlg::RunInitializeBlock(int line, const std::function<void()>& block)
{
    try {
        block();
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", line);
        e->Delete();
    }
}

LRESULT CKavriluneDlg::OnInitialize()
{
    InstallSeTranslator();
    RunInitializeBlock(291, [this] {
        m_list->Init(
            m_appFolder + QStringLiteral("Stations/stations*.kvd"), GetDataFilePath(QStringLiteral("mystations.kvd")));
        m_filter->SetTarget([this](const QString& text) { m_list->SetSearchText(text); });
    });
    RunInitializeBlock(310, [this] {
        const QString& settingsPath = m_settings->LocateSettingsFile();
        m_general.SetSettingsFile(settingsPath);
        m_advanced.SetSettingsFile(settingsPath);
        m_skins.SetSettingsFile(settingsPath);
        m_recordings.SetPortable(m_settings->IsPortable());
        m_recordings.SetSettingsFile(settingsPath);
        LoadSettings();
    });

    bool ending = false;
    try {
        m_startTime = Now();
        // Listening first: the process id the slot records must already answer.
        if (!m_messenger.Listen())
            WriteErrorLog("KavriluneDlg", 338, QStringLiteral("Cannot listen for other instances."));
        if (!ParseCommandLine(QString())) {
            ending = true;
        } else if (!m_instanceLock.AcquireFreeSlot(ProcessId())) {
            m_settings->SkipSaveAtExit();
            OnExit();
            QApplication::beep();
            ending = true;
        } else {
            m_tray->SetTooltip(kProgramTitle, false);
            m_tray->SetIcon(CSystemTray::kIconNormal);
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 338);
        e->Delete();
        MessageBox(QStringLiteral("ERROR! Cannot start player!"), QString(), MB_OK);
    }
    if (ending)
        return 0;

    RunInitializeBlock(363, [this] {
        m_timers.Set(kTimerStatus, 400);
        m_timers.Set(kTimerInfo, 4000);
        m_bufferIndicator->setRange(0, 100);
        {
            const QSignalBlocker quiet(m_volume);
            m_volume->setRange(0, 100);
        }
        m_volume->InitControl();
        m_spectrum->Init(false);
        m_animating = true;
        UpdateSpectrumTimer();
        m_timers.Set(kTimerUpdateCheck, 600000);
        m_timers.Set(kTimerStationsCheck, 360000);
        m_timers.Set(kTimerPlayReport, 600000);
    });
    RunInitializeBlock(379, [this] {
        UpdateButtons();
        UpdateStreamFormatText();
    });

    ApplySkin(500, true);
    OnNewVersion();
    return 1;
}

void CKavriluneDlg::FinishStartUp()
{
    if (m_startUpFinished || m_closing)
        return;
    m_startUpFinished = true;
    RunInitializeBlock(380, [this] {
        m_mpris->Register();
        RegisterHotKeys();
    });
}

void CKavriluneDlg::OnExit()
{
    if (m_exitRunning)
        return;
    m_exitRunning = true;
    if (!ConfirmStopRecording(false)) {
        m_exitRunning = false;
        return;
    }
    m_radio.Stop(m_general.m_crossfade, false);
    m_pictureArt->ShowPictureFor(QString());
    UpdatePlayButton();
    m_tray->RemoveIcon();
    if (isVisible())
        HideAnimated(250);
    else
        m_list->Hide();
    m_settings->SaveAtExit();
    m_closing = true;
    m_radio.BlockPlay();
    m_timers.Set(kTimerQuitPoll, 100);
    m_timers.Set(kTimerQuitForce, 5000);
    m_exitRunning = false;
    emit exitStarted();
}

void CKavriluneDlg::OnExitSignal()
{
    if (m_closing)
        return;
    ConfirmStopRecording(true);
    // A question of the exit routine itself may be waiting: dismissing it abandons that run, and the
    // queued run below then finds no recording to ask about.
    for (int round = 0; round < 16; ++round) {
        QWidget* open = QApplication::activePopupWidget();
        if (!open)
            open = QApplication::activeModalWidget();
        if (!open)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(open))
            dialog->reject();
        else
            open->close();
    }
    // Queued: behind the posted start-up step when the signal came before it.
    QMetaObject::invokeMethod(this, &CKavriluneDlg::ExitOnceFree, Qt::QueuedConnection);
}

void CKavriluneDlg::ExitOnceFree()
{
    if (m_closing)
        return;
    // An exit routine whose question was dismissed is still unwinding: it gives up, then this one runs.
    if (m_exitRunning) {
        QTimer::singleShot(20, this, &CKavriluneDlg::ExitOnceFree);
        return;
    }
    OnExit();
}

void CKavriluneDlg::QuitApplication()
{
    m_list->Stop();
    ReleaseSharedObjectAtExit();
    // Before the event loop runs, exit() is ignored: the caller of OnInitDialog ends the program then.
    QCoreApplication::exit(0);
}

LRESULT CKavriluneDlg::OnTerminate(LPARAM sender)
{
    if (uint32_t(sender) != ProcessId())
        OnExit();
    return 1;
}

// --- showing and hiding ---

void CKavriluneDlg::UpdateSpectrumTimer()
{
    if (m_animating && IsShown()) {
        if (!m_timers.IsActive(kTimerSpectrum))
            m_timers.Set(kTimerSpectrum, 32);
    } else {
        m_timers.Kill(kTimerSpectrum);
    }
}

bool CKavriluneDlg::IsShown() const
{
    return isVisible() && !isMinimized();
}

bool CKavriluneDlg::HidesToTray() const
{
    // Without a notification area a hidden window could not be reached again: it is minimised instead.
    return m_general.m_minimizeToTray && m_tray->Backend().IsAvailable();
}

void CKavriluneDlg::BringToFront()
{
    if (!IsShown())
        ToggleVisible(250);
    raise();
    activateWindow();
}

void CKavriluneDlg::HideAnimated(int ms)
{
    // Where the window was seen last is where it comes back, whatever hides it.
    if (IsShown())
        StoreWindowPosition();
    if (HidesToTray())
        CWindowFader::FadeOut(this, ms);
    else
        showMinimized();
    m_list->Hide();
}

void CKavriluneDlg::ToggleVisible(int ms)
{
    if (IsShown()) {
        HideAnimated(ms);
        return;
    }
    if (HidesToTray())
        CWindowFader::FadeIn(this, ms);
    showNormal();
    m_list->UpdateVisibility();
}

void CKavriluneDlg::OnToggleOnTop()
{
    m_onTop = !m_onTop;
    if (CGdipButton* button = Button(kCommandOnTop))
        button->SetAlternate(!m_onTop);
    const bool wasShown = IsShown();
    if (wasShown)
        HideAnimated(250);
    // Changing the flags makes a new native window, hidden and without its outline.
    const QRegion outline = mask();
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, m_onTop);
    flags.setFlag(Qt::Tool, m_onTop);
    setWindowFlags(flags);
    if (!outline.isEmpty())
        setMask(outline);
    if (wasShown) {
        if (HidesToTray())
            CWindowFader::FadeIn(this, 250);
        showNormal();
        m_list->UpdateVisibility();
        activateWindow();
    }
}

void CKavriluneDlg::OnTrayCommand()
{
    if (IsShown())
        HideAnimated(250);
    else
        BringToFront();
}
