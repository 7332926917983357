// The main window's object: its parts, the messages and commands it dispatches, painting, moving it by
// its body and the keys it catches before its controls.

#include "ui/mainwindow/KavriluneDlg.h"

#include "audio/RadioPlayer.h"
#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "ui/app/ProgramEnvironment.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/GlobalHotKeys.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/QtTrayBackend.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/MainWindowMessages.h"
#include "ui/skin/MenuStyle.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QProgressBar>
#include <QSignalBlocker>

using namespace main_window_messages;

namespace
{

// Messages of the program's own that are plain numbers.
constexpr int kMouseWheelForward = WM_USER + 9;

// The image buttons in the order the skin dresses them, with their command ids.
constexpr int kButtonIds[] = { CKavriluneDlg::kCommandExit, CKavriluneDlg::kCommandOptions, CKavriluneDlg::kCommandMute,
    CKavriluneDlg::kCommandFavorites, CKavriluneDlg::kCommandRec, CKavriluneDlg::kCommandNext,
    CKavriluneDlg::kCommandBack, CKavriluneDlg::kCommandPlay, CKavriluneDlg::kCommandSources,
    CKavriluneDlg::kCommandFilterLabel, CKavriluneDlg::kCommandMinimize, CKavriluneDlg::kCommandExpand,
    CKavriluneDlg::kCommandOnTop };

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
    m_skins.SetMainWindow(this);
    if (!trayBackend)
        trayBackend = std::make_unique<CQtTrayBackend>();
    m_tray = std::make_unique<CSystemTray>(this, std::move(trayBackend));
    CreateInputServices();

    setAttribute(Qt::WA_NoSystemBackground);
    setWindowTitle(QStringLiteral("Kavri? Lune!"));
    setWindowIcon(QIcon(GetAppFolder() + QStringLiteral("icons/Window.png")));
    // The list, its header and the search box use a compact text size; the labels take theirs from
    // the skin.
    QFont compact = font();
    compact.setPixelSize(12);
    setFont(compact);
    CreateControls();
    CreatePlayParts();
    CreateSkinLayout();
    CreateSettingsKeeper();
    CreateCommandLineRunner();
    CreateMenus();
    qApp->installEventFilter(this);
}

CKavriluneDlg::~CKavriluneDlg()
{
    qApp->removeEventFilter(this);
    m_timers.KillAll();
    // Its lookup is stopped before anything else goes.
    delete m_pictureArt;
    m_pictureArt = nullptr;
    // A save running on the worker finishes before anything it reads goes.
    WaitForSettingsSave();
    m_list->Stop();
    // Players end before the window they post to and before the audio library.
    m_radio.Shutdown(CRadioManager::kShutdownWaitMs);
    ShutdownAudio();
    m_tray.reset();
    m_mpris.reset();
    m_hotKeys.reset();
    m_messenger.Close();
    CloseErrorLog();
}

void CKavriluneDlg::CreateControls()
{
    for (const int id : kButtonIds) {
        auto* button = new CGdipButton(this);
        m_buttons.emplace_back(id, button);
        connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    }
    m_spectrum = new CSpectrumButton(this);
    connect(m_spectrum, &QAbstractButton::clicked, this, [this] { OnCommand(kCommandSpectrum); });
    m_list = new CStationsListCtrl(this, this);
    m_volume = new CSliderCtrlEx(this);
    connect(m_volume, &QAbstractSlider::valueChanged, this, &CKavriluneDlg::OnVolumeChanged);
    m_filter = new CFilterBox(this);
    m_bufferIndicator = new QProgressBar(this);
    m_bufferIndicator->setTextVisible(false);
    m_bufferIndicator->setRange(0, 100);
    m_bufferIndicator->setValue(0);
    m_songTitle = new CHyperStatic(this);
    m_status = new CHyperStatic(this);
    m_foundNumber = new CHyperStatic(this);
    m_rotatedInfo = new CHyperStatic(this);
    m_bufferInfo = new CHyperStatic(this);
    m_pictureArt = new CPictureArtDlg(this);
}

CGdipButton* CKavriluneDlg::Button(int commandId) const
{
    for (const auto& [id, button] : m_buttons)
        if (id == commandId)
            return button;
    return nullptr;
}

int64_t CKavriluneDlg::Now() const
{
    return m_clock();
}

void CKavriluneDlg::MarkDirty()
{
    m_settings->MarkDirty();
}

// --- messages and commands ---

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
        OnUpdateStatus(message.wParam, message.lParam);
        message.result = 1;
    } else if (number == WM_STATIONS_LIST_DONE) {
        OnListWorkerDone();
    } else if (number == WM_STATIONS_LIST_PLAY) {
        m_playback->OnPlayListIndex(message.wParam);
    } else if (number == kInitialize) {
        message.result = OnInitialize();
    } else if (number == kTerminate) {
        message.result = OnTerminate(message.lParam);
    } else if (number == kLoadSkin) {
        ApplySkin(int(message.wParam), message.lParam != 0);
        message.result = 1;
    } else if (number == kDropText) {
        OnDropText(*reinterpret_cast<const QString*>(message.lParam));
    } else if (number == kDropFile) {
        OnDropFile(*reinterpret_cast<const QString*>(message.lParam));
    } else if (number == kTrayCommand) {
        OnTrayCommand();
        message.result = 1;
    } else if (number == kTrayBalloonClick) {
        OnTrayBalloonClick(message.wParam);
        message.result = 1;
    } else if (number == WM_CONTEXTMENU) {
        OnContextMenu();
    } else if (number == kUpdaterNewVersion) {
        OnNewVersion();
        message.result = 1;
    } else if (number == kStationsDownloaded) {
        OnStationsUpdated();
        message.result = 1;
    } else if (number == kSpectrumUpdate) {
        m_radio.DrawSpectrum(*m_spectrum);
    } else if (number == kTaskbarCreated) {
        m_tray->Recreate();
        message.result = 1;
    } else if (number == kPictureArtShow) {
        m_playback->ShowPictureArt();
        message.result = 1;
    } else if (number == kPictureArtDisable) {
        m_advanced.m_showPictures = false;
        m_advanced.SaveSettings();
        message.result = 1;
    } else if (number == kPictureArtIsVisible) {
        message.result = IsShown() ? 1 : 0;
    } else if (number == kClearSearch) {
        m_filter->ClearHistory();
        message.result = 1;
    } else if (number == kCmdLine) {
        message.result = OnCmdLine();
    } else if (number == kMouseWheelForward) {
        message.result = OnMouseWheelForward(int(LPARAM(message.wParam)));
    } else {
        return number == kUpdaterNoNewVersion || number == kStationsNoUpdates;
    }
    return true;
}

void CKavriluneDlg::OnCommand(int id)
{
    switch (id) {
    case kCommandExit:
        OnExit();
        break;
    case kCommandAbout:
        OnAbout();
        break;
    case kCommandPlay:
        OnPlay();
        break;
    case kCommandStop:
        OnStop();
        break;
    case kCommandSpectrum:
    case kCommandMute:
    case kCommandMenuMute:
        OnMute();
        break;
    case kCommandCopyUrl:
        OnCopyUrl();
        break;
    case kCommandDetails:
        OnStationDetails();
        break;
    case kCommandAddStation:
        m_list->AddUserStation();
        break;
    case kCommandBack:
        OnBack();
        break;
    case kCommandNext:
        OnNext();
        break;
    case kCommandRec:
    case kCommandMenuRec:
        OnRecord();
        break;
    case kCommandMinimize:
        ToggleVisible(250);
        break;
    case kCommandExpand:
        OnExpand();
        break;
    case kCommandOnTop:
        OnToggleOnTop();
        break;
    case kCommandPasteUrl:
        OnPasteUrl();
        break;
    case kCommandOptions:
        OnOptions();
        break;
    case kCommandFavorites:
        ShowFavoritesMenu();
        break;
    case kCommandSources:
        ShowSourcesMenu();
        break;
    default:
        if (id >= kCommandFirstFavorite && id <= kCommandLastFavorite)
            OnFavoriteItem(id);
        else if (id >= kCommandFirstHistory && id <= kCommandLastHistory)
            OnHistoryItem(id);
        else
            m_menus->OnMenuCommand(id);
        break;
    }
}

// --- painting, moving and keys ---

void CKavriluneDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPixmap& background = m_skinLayout->Background();
    if (background.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Window));
    else
        painter.drawPixmap(rect(), background);
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
        OnExpand();
}

void CKavriluneDlg::contextMenuEvent(QContextMenuEvent*)
{
    OnContextMenu();
}

void CKavriluneDlg::closeEvent(QCloseEvent* event)
{
    // Closing the window always ends the program, through the exit routine, which may be declined.
    event->ignore();
    HideAnimated(250);
    OnExit();
}

bool CKavriluneDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Polish)
        StyleMenuOf(*this, watched);
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)
        return false;
    if (event->type() == QEvent::Wheel)
        return HandleWheel(*static_cast<QWheelEvent*>(event));
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Never acted on when pressed; the station list plays on the key's release.
        return true;
    case Qt::Key_F5:
        ApplySkin(250, true);
        return true;
    case Qt::Key_F6:
        m_skins.ApplySkinSelection();
        return true;
    default:
        return OnMediaKey(key);
    }
}
