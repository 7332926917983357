#include "ui/mainwindow/ProgramLifecycle.h"

#include "audio/RadioManager.h"
#include "core/ErrorLog.h"
#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/MainWindowMessages.h"
#include "ui/mainwindow/ProgramTimers.h"
#include "ui/options/GeneralProperties.h"
#include "ui/skin/WindowFader.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdlib>

using namespace main_window_messages;
using namespace program_timers;

namespace
{

const QString kProgramTitle = QStringLiteral("Kavri? Lune!");

uint32_t ProcessId()
{
    return uint32_t(QCoreApplication::applicationPid());
}

} // namespace

CProgramLifecycle::CProgramLifecycle(Shared shared, Hooks hooks)
    : m_shared(shared)
    , m_hooks(std::move(hooks))
{
}

bool CProgramLifecycle::OnInitDialog()
{
    InstallSeTranslator();
    try {
        InitErrorLog(m_hooks.userFolder(false));
        if (!m_hooks.terminateAll())
            return false;
        m_shared.dropTarget.Register(&m_shared.window);
        m_appFolder = GetAppFolder();
        PostWindowMessage(&m_shared.window, kInitialize, 0, 0);
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

void CProgramLifecycle::RunInitializeBlock(int line, const std::function<void()>& block)
{
    try {
        block();
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", line);
        e->Delete();
    }
}

LRESULT CProgramLifecycle::OnInitialize()
{
    InstallSeTranslator();
    RunInitializeBlock(291, m_hooks.loadStations);
    RunInitializeBlock(310, m_hooks.loadSettings);

    bool ending = false;
    try {
        // Listening first: the process id the slot records must already answer.
        if (!m_shared.messenger.Listen())
            WriteErrorLog("KavriluneDlg", 338, QStringLiteral("Cannot listen for other instances."));
        if (!m_hooks.runOwnCommandLine()) {
            ending = true;
        } else if (!m_shared.instanceLock.AcquireFreeSlot(ProcessId())) {
            m_hooks.skipSaveAtExit();
            OnExit();
            QApplication::beep();
            ending = true;
        } else {
            m_shared.tray.SetTooltip(kProgramTitle, false);
            m_shared.tray.SetIcon(CSystemTray::kIconNormal);
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 338);
        e->Delete();
        MessageBox(QStringLiteral("ERROR! Cannot start player!"), QString(), MB_OK);
    }
    if (ending)
        return 0;

    RunInitializeBlock(363, [this] {
        CProgramTimers& timers = m_shared.timers;
        timers.Set(kTimerStatus, 400);
        timers.Set(kTimerInfo, 4000);
        m_hooks.prepareControls();
        m_animating = true;
        m_hooks.updateSpectrumTimer();
        timers.Set(kTimerUpdateCheck, 600000);
        timers.Set(kTimerStationsCheck, 360000);
        timers.Set(kTimerPlayReport, 600000);
    });
    RunInitializeBlock(379, m_hooks.showTexts);

    m_hooks.applySkin();
    m_hooks.showNewVersion();
    return 1;
}

void CProgramLifecycle::OnShowTimer(bool show)
{
    m_shared.timers.Kill(show ? kTimerShow : kTimerHide);
    if (m_shared.instanceLock.IsLocked()) {
        if (!show) {
            m_hooks.hideAnimated(250);
        } else if (!m_hooks.isShown()) {
            CWindowFader::FadeIn(&m_shared.window, 500);
            m_shared.window.activateWindow();
            m_shared.list.UpdateVisibility();
        }
    }
    QMetaObject::invokeMethod(
        &m_shared.window, [this] { FinishStartUp(); }, Qt::QueuedConnection);
}

void CProgramLifecycle::FinishStartUp()
{
    if (m_startUpFinished || m_closing)
        return;
    m_startUpFinished = true;
    RunInitializeBlock(380, m_hooks.startDesktopServices);
}

void CProgramLifecycle::SetDuration(int seconds)
{
    m_duration = seconds;
    m_durationStart = m_hooks.now();
}

bool CProgramLifecycle::CheckDuration()
{
    if (m_closing)
        return false;
    const int64_t now = m_hooks.now();
    if (m_duration > 0 && std::llabs(now - m_durationStart) > m_duration) {
        m_hooks.confirmStopRecording(true);
        OnExit();
        return false;
    }
    return true;
}

void CProgramLifecycle::OnExit()
{
    if (m_exitRunning)
        return;
    m_exitRunning = true;
    if (!m_hooks.confirmStopRecording(false)) {
        m_exitRunning = false;
        return;
    }
    m_shared.radio.Stop(m_shared.general.m_crossfade, false);
    m_shared.pictureArt.ShowPictureFor(QString());
    m_hooks.updatePlayButton();
    m_shared.tray.RemoveIcon();
    if (m_shared.window.isVisible())
        m_hooks.hideAnimated(250);
    else
        m_shared.list.Hide();
    m_hooks.saveAtExit();
    m_closing = true;
    m_shared.radio.BlockPlay();
    m_shared.timers.Set(kTimerQuitPoll, 100);
    m_shared.timers.Set(kTimerQuitForce, 5000);
    m_exitRunning = false;
    m_hooks.exitStarted();
}

void CProgramLifecycle::OnExitSignal()
{
    if (m_closing)
        return;
    m_hooks.confirmStopRecording(true);
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
    QMetaObject::invokeMethod(
        &m_shared.window, [this] { ExitOnceFree(); }, Qt::QueuedConnection);
}

void CProgramLifecycle::ExitOnceFree()
{
    if (m_closing)
        return;
    // An exit routine whose question was dismissed is still unwinding: it gives up, then this one runs.
    if (m_exitRunning) {
        QTimer::singleShot(20, &m_shared.window, [this] { ExitOnceFree(); });
        return;
    }
    OnExit();
}

LRESULT CProgramLifecycle::OnTerminate(LPARAM sender)
{
    if (uint32_t(sender) != ProcessId())
        OnExit();
    return 1;
}

void CProgramLifecycle::OnQuitPoll()
{
    if (m_shared.radio.GetPlayerCount() == 0)
        QuitApplication();
}

void CProgramLifecycle::QuitApplication()
{
    m_shared.list.Stop();
    ReleaseSharedObjectAtExit();
    // Before the event loop runs, exit() is ignored: the caller of OnInitDialog ends the program then.
    QCoreApplication::exit(0);
}
