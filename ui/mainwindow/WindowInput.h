#pragma once

#include "core/WindowMessage.h"

#include <functional>
#include <memory>

class CGeneralProperties;
class CGlobalHotKeys;
class CMprisService;
class CRadioManager;
class CSliderCtrlEx;
class CStationsListCtrl;
class QWheelEvent;
class QWidget;

// Input that reaches the main window besides its controls: the global hot keys, the keyboard's media
// keys, and the mouse wheel as a volume control (a notch at a time; over the station list the list
// scrolls instead); and the volume as the user turns it, which the radio, the settings and the desktop's
// media controls follow. UI thread only.
class CWindowInput
{
public:
    // What it reads and turns; the window owns all of it.
    struct Shared {
        QWidget& window; // the wheel and the media keys count only while it is the active window
        CRadioManager& radio;
        CSliderCtrlEx& volume;
        CStationsListCtrl& list;
        CMprisService& mpris; // told of every change of volume
        const CGeneralProperties& general; // "GlobalHotkeys"
    };
    // What it asks of the window.
    struct Hooks {
        // Carries out a command of the window's buttons (play, stop, mute, show or hide ...).
        std::function<void(int commandId)> command;
        // The volume changed and is to be saved soon.
        std::function<void()> markDirty;
    };

    CWindowInput(Shared shared, Hooks hooks);
    ~CWindowInput();
    CWindowInput(const CWindowInput&) = delete;
    CWindowInput& operator=(const CWindowInput&) = delete;

    // Grabs the global hot keys, or lets them go when the user has them off.
    void RegisterHotKeys();
    // A global hot key (ids 1 to 9) was pressed.
    LRESULT OnHotKey(int id);
    // A media key pressed while the window has the focus; false for other keys.
    bool OnMediaKey(int key);
    // A wheel turn over one of the window's widgets; true when it turned the volume.
    bool HandleWheel(QWheelEvent& wheel);
    // One wheel notch (delta +-120) over the window: 1 when it changed the volume, 0 when the list
    // scrolls instead or the window is not the active one.
    LRESULT OnMouseWheelForward(int delta);
    // Turns the volume by step percent.
    void StepVolume(int step);
    // The slider moved.
    void OnVolumeChanged();

    CGlobalHotKeys& HotKeys() { return *m_hotKeys; }

private:
    Shared m_shared;
    Hooks m_hooks;
    std::unique_ptr<CGlobalHotKeys> m_hotKeys;
    int m_wheelDelta = 0; // wheel turns not yet making a whole notch
};
