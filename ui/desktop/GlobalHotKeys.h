#pragma once

#include "ui/desktop/KeyGrabber.h"

#include <QAbstractNativeEventFilter>
#include <QList>

#include <functional>
#include <memory>

// Keys that reach the program wherever the focus is: each hot key is a key symbol pressed with Alt and
// Shift, grabbed on the whole screen with and without Num Lock and Caps Lock. A key another program
// holds is skipped. The key presses arrive through the application's native event filter.
//
// UI thread only.
class CGlobalHotKeys : public QAbstractNativeEventFilter
{
public:
    // X11 modifier bits.
    static constexpr uint16_t kShift = 0x01;
    static constexpr uint16_t kLock = 0x02;
    static constexpr uint16_t kControl = 0x04;
    static constexpr uint16_t kAlt = 0x08; // Mod1
    static constexpr uint16_t kNumLock = 0x10; // Mod2
    static constexpr uint16_t kHotKeyModifiers = kAlt | kShift;

    // pressed gets the id of a hot key when it is pressed.
    explicit CGlobalHotKeys(std::function<void(int id)> pressed);
    ~CGlobalHotKeys() override;

    CGlobalHotKeys(const CGlobalHotKeys&) = delete;
    CGlobalHotKeys& operator=(const CGlobalHotKeys&) = delete;

    // The window system's grabs; null where there are none (hot keys then do nothing). Keys registered
    // with the previous grabber are let go.
    void SetGrabber(std::unique_ptr<IKeyGrabber> grabber);
    bool HasGrabber() const { return m_grabber != nullptr; }

    // Grabs the key symbol with Alt and Shift for the id; false when no key of it could be grabbed. An
    // id already registered keeps its keys.
    bool Register(int id, uint32_t keysym);
    void Unregister(int id);
    void UnregisterAll();
    bool IsRegistered(int id) const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        int id;
        uint8_t keycode;
        uint16_t modifiers;
    };

    std::function<void(int)> m_pressed;
    std::unique_ptr<IKeyGrabber> m_grabber;
    QList<Grab> m_grabs;
};
