#include "ui/mainwindow/WindowInput.h"

#include "audio/RadioManager.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/desktop/GlobalHotKeys.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/XcbKeyGrabber.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/options/GeneralProperties.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QApplication>
#include <QCursor>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <cstdlib>

namespace
{

using namespace main_window_commands;

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

CWindowInput::CWindowInput(Shared shared, Hooks hooks)
    : m_shared(shared)
    , m_hooks(std::move(hooks))
{
    m_hotKeys = std::make_unique<CGlobalHotKeys>([this](int id) { OnHotKey(id); });
    m_hotKeys->SetGrabber(CXcbKeyGrabber::Create());
    qApp->installNativeEventFilter(m_hotKeys.get());
}

CWindowInput::~CWindowInput() = default;

void CWindowInput::RegisterHotKeys()
{
    if (!m_shared.general.m_globalHotkeys) {
        for (const auto& [id, keysym] : kHotKeys)
            m_hotKeys->Unregister(id);
        return;
    }
    for (const auto& [id, keysym] : kHotKeys)
        m_hotKeys->Register(id, keysym);
}

LRESULT CWindowInput::OnHotKey(int id)
{
    switch (id) {
    case kHotKeyPlay:
        m_hooks.command(kCommandPlay);
        break;
    case kHotKeyMute:
        m_hooks.command(kCommandMute);
        break;
    case kHotKeyStop:
        m_hooks.command(kCommandStop);
        break;
    case kHotKeyBack:
        m_hooks.command(kCommandBack);
        break;
    case kHotKeyNext:
        m_hooks.command(kCommandNext);
        break;
    case kHotKeyRecord:
        m_hooks.command(kCommandRec);
        break;
    case kHotKeyShow:
        m_hooks.command(kCommandMinimize);
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

bool CWindowInput::OnMediaKey(int key)
{
    switch (key) {
    case Qt::Key_Favorites:
        m_hooks.command(kCommandFavorites);
        return true;
    case Qt::Key_VolumeMute:
        m_hooks.command(kCommandMute);
        return true;
    case Qt::Key_VolumeDown:
        StepVolume(-kVolumeStep);
        return true;
    case Qt::Key_VolumeUp:
        StepVolume(kVolumeStep);
        return true;
    case Qt::Key_MediaNext:
        m_hooks.command(kCommandNext);
        return true;
    case Qt::Key_MediaPrevious:
        m_hooks.command(kCommandBack);
        return true;
    case Qt::Key_MediaStop:
        m_hooks.command(kCommandStop);
        return true;
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_MediaPlay:
        m_hooks.command(kCommandPlay);
        return true;
    default:
        return false;
    }
}

bool CWindowInput::HandleWheel(QWheelEvent& wheel)
{
    // Only the vertical wheel turns the volume, a notch at a time however finely the device reports.
    const int delta = wheel.angleDelta().y();
    if (delta == 0)
        return false;
    if (!m_shared.window.isActiveWindow())
        return false;
    if (OverList(m_shared.list, wheel.globalPosition().toPoint())) {
        m_wheelDelta = 0;
        m_shared.list.setFocus();
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

LRESULT CWindowInput::OnMouseWheelForward(int delta)
{
    if (!m_shared.window.isActiveWindow())
        return 0;
    if (OverList(m_shared.list, QCursor::pos())) {
        m_shared.list.setFocus();
        return 0;
    }
    StepVolume(delta < 0 ? -kVolumeStep : kVolumeStep);
    return 1;
}

void CWindowInput::StepVolume(int step)
{
    CSliderCtrlEx& volume = m_shared.volume;
    {
        const QSignalBlocker quiet(&volume);
        volume.setValue(volume.value() + step);
    }
    volume.update();
    m_shared.radio.SetVolume(volume.value());
    m_hooks.markDirty();
    m_shared.mpris.NotifyChanged();
}

void CWindowInput::OnVolumeChanged()
{
    m_shared.radio.SetVolume(m_shared.volume.value());
    m_hooks.markDirty();
    m_shared.mpris.NotifyChanged();
}
