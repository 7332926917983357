// Input that reaches the window besides its controls: global hot keys, the keyboard's media keys and
// the desktop's media controls, and the mouse wheel as a volume control.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/controls/SliderCtrlEx.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/GlobalHotKeys.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/XcbKeyGrabber.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QApplication>
#include <QCursor>
#include <QWheelEvent>

namespace
{

constexpr int kVolumeStep = 4;
constexpr int kWheelNotch = 120;

enum HotKey : int {
    kHotKeyPlay = 1,
    kHotKeyMute = 2,
    kHotKeyStop = 3,
    kHotKeyBack = 4,
    kHotKeyNext = 5,
    kHotKeyRecord = 6,
    kHotKeyShow = 7,
    kHotKeyVolumeUp = 8,
    kHotKeyVolumeDown = 9,
};

// The hot keys in the order they are registered, with their key symbols.
constexpr std::pair<int, uint32_t> kHotKeys[] = { { kHotKeyMute, 'm' }, { kHotKeyPlay, 'p' }, { kHotKeyStop, 's' },
    { kHotKeyBack, 'b' }, { kHotKeyNext, 'n' }, { kHotKeyRecord, 'r' }, { kHotKeyShow, 'h' },
    { kHotKeyVolumeUp, 0xFFAB /* KP_Add */ }, { kHotKeyVolumeDown, 0xFFAD /* KP_Subtract */ } };

// Whether a point of the screen lies on the shown station list, where the wheel scrolls the list.
bool OverList(const QWidget& list, const QPoint& globalPos)
{
    return list.isVisible() && list.rect().contains(list.mapFromGlobal(globalPos));
}

} // namespace

void CKavriluneDlg::CreateInputServices()
{
    m_dropTarget = std::make_unique<CDropTarget>();
    m_hotKeys = std::make_unique<CGlobalHotKeys>([this](int id) { OnHotKey(id); });
    m_hotKeys->SetGrabber(CXcbKeyGrabber::Create());
    qApp->installNativeEventFilter(m_hotKeys.get());

    MprisPlayerControls controls;
    controls.playPause = [this] { OnPlay(); };
    controls.play = [this] {
        if (!m_radio.IsPlaying())
            OnPlay();
    };
    controls.pause = [this] {
        if (m_radio.IsPlaying())
            OnStop();
    };
    controls.stop = [this] { OnStop(); };
    controls.next = [this] { OnNext(); };
    controls.previous = [this] { OnBack(); };
    controls.setVolume = [this](int percent) { m_volume->setValue(percent); };
    controls.isPlaying = [this] { return m_radio.IsPlaying(); };
    controls.volume = [this] { return m_volume->value(); };
    controls.station = [this] { return m_radio.GetStationName(); };
    controls.song = [this] { return m_radio.GetStreamName(); };
    m_mpris = std::make_unique<CMprisService>(std::move(controls));
}

void CKavriluneDlg::RegisterHotKeys()
{
    if (!m_general.m_globalHotkeys) {
        for (const auto& [id, keysym] : kHotKeys)
            m_hotKeys->Unregister(id);
        return;
    }
    for (const auto& [id, keysym] : kHotKeys)
        m_hotKeys->Register(id, keysym);
}

LRESULT CKavriluneDlg::OnHotKey(int id)
{
    switch (id) {
    case kHotKeyPlay:
        OnPlay();
        break;
    case kHotKeyMute:
        OnMute();
        break;
    case kHotKeyStop:
        OnStop();
        break;
    case kHotKeyBack:
        OnBack();
        break;
    case kHotKeyNext:
        OnNext();
        break;
    case kHotKeyRecord:
        OnRecord();
        break;
    case kHotKeyShow:
        ToggleVisible(250);
        break;
    case kHotKeyVolumeUp:
        StepVolume(kVolumeStep);
        break;
    case kHotKeyVolumeDown:
        StepVolume(-kVolumeStep);
        break;
    default:
        break;
    }
    return 1;
}

bool CKavriluneDlg::OnMediaKey(int key)
{
    switch (key) {
    case Qt::Key_Favorites:
        ShowFavoritesMenu();
        return true;
    case Qt::Key_VolumeMute:
        OnMute();
        return true;
    case Qt::Key_VolumeDown:
        StepVolume(-kVolumeStep);
        return true;
    case Qt::Key_VolumeUp:
        StepVolume(kVolumeStep);
        return true;
    case Qt::Key_MediaNext:
        OnNext();
        return true;
    case Qt::Key_MediaPrevious:
        OnBack();
        return true;
    case Qt::Key_MediaStop:
        OnStop();
        return true;
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_MediaPlay:
        OnPlay();
        return true;
    default:
        return false;
    }
}

bool CKavriluneDlg::HandleWheel(QWheelEvent& wheel)
{
    // Only the vertical wheel turns the volume, a notch at a time however finely the device reports.
    const int delta = wheel.angleDelta().y();
    if (delta == 0)
        return false;
    if (!isActiveWindow())
        return false;
    if (OverList(*m_list, wheel.globalPosition().toPoint())) {
        m_wheelDelta = 0;
        m_list->setFocus();
        return false;
    }
    m_wheelDelta += delta;
    while (std::abs(m_wheelDelta) >= kWheelNotch) {
        const int notch = m_wheelDelta > 0 ? kWheelNotch : -kWheelNotch;
        m_wheelDelta -= notch;
        StepVolume(notch < 0 ? -kVolumeStep : kVolumeStep);
    }
    return true;
}

LRESULT CKavriluneDlg::OnMouseWheelForward(int delta)
{
    if (!isActiveWindow())
        return 0;
    if (OverList(*m_list, QCursor::pos())) {
        m_list->setFocus();
        return 0;
    }
    StepVolume(delta < 0 ? -kVolumeStep : kVolumeStep);
    return 1;
}
