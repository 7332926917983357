// The main window's object: its life, the messages, commands and timers it dispatches to its parts,
// painting, moving it by its body and the keys it catches before its controls.

#include "ui/mainwindow/KavriluneDlg.h"

#include "audio/RadioPlayer.h"
#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "ui/app/ProgramEnvironment.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/CommandLineRunner.h"
#include "ui/mainwindow/MainMenus.h"
#include "ui/mainwindow/MainWindowMessages.h"
#include "ui/mainwindow/PlaybackControl.h"
#include "ui/mainwindow/ProgramLifecycle.h"
#include "ui/mainwindow/SettingsKeeper.h"
#include "ui/mainwindow/SkinLayout.h"
#include "ui/mainwindow/StatusDisplay.h"
#include "ui/mainwindow/UpdateChecks.h"
#include "ui/mainwindow/WindowInput.h"
#include "ui/mainwindow/WindowPresence.h"
#include "ui/skin/MenuStyle.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWindowStateChangeEvent>

using namespace main_window_messages;

namespace
{

// Messages of the program's own that are plain numbers.
constexpr int kMouseWheelForward = WM_USER + 9;

} // namespace

CKavriluneDlg::CKavriluneDlg(std::unique_ptr<ITrayBackend> trayBackend)
    : QWidget(nullptr, Qt::Window)
    , m_clock(&ProgramClockNow)
    , m_radio(this)
    , m_messenger(this)
    , m_timers(this)
{
    InstallSeTranslator();
    m_favorites.SetPolicy(true, false);
    m_history.SetPolicy(true, true);
    m_options.skins.SetMainWindow(this);
    CreateDesktopServices(std::move(trayBackend));

    setAttribute(Qt::WA_NoSystemBackground);
    setWindowTitle(QStringLiteral("Kavri? Lune!"));
    setWindowIcon(QIcon(GetAppFolder() + QStringLiteral("icons/Window.png")));
    // The list, its header and the search box use a compact text size; the labels take theirs from
    // the skin.
    QFont compact = font();
    compact.setPixelSize(12);
    setFont(compact);
    CreateControls();
    CreateParts();
    qApp->installEventFilter(this);
}

CKavriluneDlg::~CKavriluneDlg()
{
    qApp->removeEventFilter(this);
    m_timers.KillAll();
    // Its lookup is stopped before anything else goes.
    delete m_controls.pictureArt;
    m_controls.pictureArt = nullptr;
    // A save running on the worker finishes before anything it reads goes.
    m_settings->WaitForSettingsSave();
    m_controls.list->Stop();
    // Players end before the window they post to and before the audio library.
    m_radio.Shutdown(CRadioManager::kShutdownWaitMs);
    ShutdownAudio();
    m_tray.reset();
    m_mpris.reset();
    m_input.reset();
    m_messenger.Close();
    CloseErrorLog();
}

bool CKavriluneDlg::OnInitDialog()
{
    return m_lifecycle->OnInitDialog();
}

void CKavriluneDlg::OnExitSignal()
{
    m_lifecycle->OnExitSignal();
}

int CKavriluneDlg::ExitCode() const
{
    return m_commandLine->ExitCode();
}

// --- messages, commands and timers ---

bool CKavriluneDlg::event(QEvent* event)
{
    if (WindowMessage* message = AsWindowMessage(event)) {
        if (HandleWindowMessage(*message))
            return true;
    }
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
        UpdateSpectrumTimer();
    return handled;
}

bool CKavriluneDlg::HandleWindowMessage(WindowMessage& message)
{
    const int number = message.message();
    if (number == kUpdateStatus) {
        m_playback->OnUpdateStatus(message.wParam, message.lParam);
        message.result = 1;
    } else if (number == WM_STATIONS_LIST_DONE) {
        OnListWorkerDone();
    } else if (number == WM_STATIONS_LIST_PLAY) {
        m_playback->OnPlayListIndex(message.wParam);
    } else if (number == kInitialize) {
        message.result = m_lifecycle->OnInitialize();
    } else if (number == kTerminate) {
        message.result = m_lifecycle->OnTerminate(message.lParam);
    } else if (number == kLoadSkin) {
        m_skinLayout->ApplySkin(int(message.wParam), message.lParam != 0);
        message.result = 1;
    } else if (number == kDropText) {
        m_playback->OnDropText(*reinterpret_cast<const QString*>(message.lParam));
    } else if (number == kDropFile) {
        m_playback->OnDropFile(*reinterpret_cast<const QString*>(message.lParam));
    } else if (number == kTrayCommand) {
        m_presence->OnTrayCommand();
        message.result = 1;
    } else if (number == kTrayBalloonClick) {
        m_updates->OnTrayBalloonClick(message.wParam);
        message.result = 1;
    } else if (number == WM_CONTEXTMENU) {
        m_menus->ShowContextMenu();
    } else if (number == kUpdaterNewVersion) {
        m_updates->OnNewVersion();
        message.result = 1;
    } else if (number == kStationsDownloaded) {
        m_updates->OnStationsUpdated();
        message.result = 1;
    } else if (number == kSpectrumUpdate) {
        m_radio.DrawSpectrum(*m_controls.spectrum);
    } else if (number == kTaskbarCreated) {
        m_tray->Recreate();
        message.result = 1;
    } else if (number == kPictureArtShow) {
        m_playback->ShowPictureArt();
        message.result = 1;
    } else if (number == kPictureArtDisable) {
        m_options.advanced.m_showPictures = false;
        m_options.advanced.SaveSettings();
        message.result = 1;
    } else if (number == kPictureArtIsVisible) {
        message.result = m_presence->IsShown() ? 1 : 0;
    } else if (number == kClearSearch) {
        m_controls.filter->ClearHistory();
        message.result = 1;
    } else if (number == kCmdLine) {
        message.result = m_commandLine->OnCmdLine();
    } else if (number == kMouseWheelForward) {
        message.result = m_input->OnMouseWheelForward(int(LPARAM(message.wParam)));
    } else {
        return number == kUpdaterNoNewVersion || number == kStationsNoUpdates;
    }
    return true;
}

void CKavriluneDlg::OnCommand(int id)
{
    switch (id) {
    case kCommandExit:
        m_lifecycle->OnExit();
        break;
    case kCommandAbout:
        OnAbout();
        break;
    case kCommandAddStation:
        m_controls.list->AddUserStation();
        break;
    case kCommandOptions:
        OnOptions();
        break;
    case kCommandFavorites:
        m_menus->ShowFavoritesMenu();
        break;
    case kCommandSources:
        m_menus->ShowSourcesMenu();
        break;
    default:
        if (!m_playback->OnCommand(id) && !m_presence->OnCommand(id))
            m_menus->OnMenuCommand(id);
        break;
    }
}

void CKavriluneDlg::timerEvent(QTimerEvent* event)
{
    const int number = m_timers.NumberOf(event->timerId());
    if (number == 0) {
        QWidget::timerEvent(event);
        return;
    }
    OnTimer(number);
}

void CKavriluneDlg::OnTimer(int number)
{
    try {
        switch (number) {
        case kTimerStatus:
            OnStatusTimer();
            break;
        case kTimerSpectrum:
            m_radio.DrawSpectrum(*m_controls.spectrum);
            break;
        case kTimerInfo:
            if (m_lifecycle->CheckDuration())
                m_settings->SaveIfDue();
            m_display->UpdateRotatedInfo();
            m_playback->OnWatchdogTick();
            break;
        case kTimerQuitPoll:
            m_lifecycle->OnQuitPoll();
            break;
        case kTimerQuitForce:
            m_lifecycle->QuitApplication();
            break;
        case kTimerShow:
        case kTimerHide:
            m_lifecycle->OnShowTimer(number == kTimerShow);
            break;
        case kTimerUpdateCheck:
            m_updates->CheckForProgramUpdate();
            m_timers.Set(kTimerUpdateCheck, 7200000);
            break;
        case kTimerStationsCheck:
            m_updates->CheckForStationsUpdate();
            m_timers.Set(kTimerStationsCheck, 3600000);
            break;
        case kTimerPlayReport:
            m_updates->ReportPlay();
            break;
        default:
            break;
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1300 + number);
        e->Delete();
    }
}

void CKavriluneDlg::OnStatusTimer()
{
    try {
        m_display->OnStatusTimer();
        m_controls.list->ShowIfNeeded(m_presence->IsShown());
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1180);
        e->Delete();
    }
}

void CKavriluneDlg::OnListWorkerDone()
{
    m_controls.list->Refresh();
    m_display->UpdateFoundNumber();
}

void CKavriluneDlg::UpdateButtons()
{
    m_display->UpdateButtons();
    m_controls.list->InitColumns();
}

void CKavriluneDlg::UpdateSpectrumTimer()
{
    if (!m_lifecycle)
        return;
    if (m_lifecycle->IsAnimating() && m_presence->IsShown()) {
        if (!m_timers.IsActive(kTimerSpectrum))
            m_timers.Set(kTimerSpectrum, 32);
    } else {
        m_timers.Kill(kTimerSpectrum);
    }
}

// --- painting, moving, window state and keys ---

void CKavriluneDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPixmap& background = m_skinLayout->Background();
    if (background.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Window));
    else
        painter.drawPixmap(QPointF(0, 0), background); // pixel for pixel, as the controls copied it
}

void CKavriluneDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_drag.Begin(this, event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

void CKavriluneDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.Move(event->globalPosition().toPoint());
    QWidget::mouseMoveEvent(event);
}

void CKavriluneDlg::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.End();
    QWidget::mouseReleaseEvent(event);
}

void CKavriluneDlg::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_presence->OnExpand();
}

void CKavriluneDlg::contextMenuEvent(QContextMenuEvent*)
{
    m_menus->ShowContextMenu();
}

void CKavriluneDlg::closeEvent(QCloseEvent* event)
{
    // Closing the window always ends the program, through the exit routine, which may be declined.
    event->ignore();
    m_presence->HideAnimated(250);
    m_lifecycle->OnExit();
}

void CKavriluneDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange) {
        m_mpris->NotifyChanged();
        return;
    }
    if (event->type() != QEvent::WindowStateChange)
        return;
    UpdateSpectrumTimer();
    // Minimised by the window system: hidden to the tray when the user wants that and the desktop has
    // one, and the list lets go of the catalogue either way.
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (!change->oldState().testFlag(Qt::WindowMinimized) && isMinimized())
        m_presence->OnMinimized();
}

bool CKavriluneDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Polish)
        StyleMenuOf(*this, watched);
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)
        return false;
    if (event->type() == QEvent::Wheel)
        return m_input->HandleWheel(*static_cast<QWheelEvent*>(event));
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Never acted on when pressed; the station list plays on the key's release.
        return true;
    case Qt::Key_F5:
        m_skinLayout->ApplySkin(250, true);
        return true;
    case Qt::Key_F6:
        m_options.skins.ApplySkinSelection();
        return true;
    default:
        return m_input->OnMediaKey(key);
    }
}
