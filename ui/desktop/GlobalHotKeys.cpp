#include "ui/desktop/GlobalHotKeys.h"

#include <xcb/xcb.h>

namespace
{

// The lock modifiers that must not stop a hot key: none, Num Lock, Caps Lock, both.
constexpr uint16_t kLockVariants[]
    = { 0, CGlobalHotKeys::kNumLock, CGlobalHotKeys::kLock, CGlobalHotKeys::kNumLock | CGlobalHotKeys::kLock };

} // namespace

CGlobalHotKeys::CGlobalHotKeys(std::function<void(int id)> pressed)
    : m_pressed(std::move(pressed))
{
}

CGlobalHotKeys::~CGlobalHotKeys()
{
    UnregisterAll();
}

void CGlobalHotKeys::SetGrabber(std::unique_ptr<IKeyGrabber> grabber)
{
    UnregisterAll();
    m_grabber = std::move(grabber);
}

bool CGlobalHotKeys::Register(int id, uint32_t keysym)
{
    if (IsRegistered(id))
        return true;
    if (!m_grabber)
        return false;
    bool any = false;
    for (const uint8_t keycode : m_grabber->KeycodesFor(keysym)) {
        for (const uint16_t locks : kLockVariants) {
            const uint16_t modifiers = kHotKeyModifiers | locks;
            if (!m_grabber->Grab(keycode, modifiers))
                continue;
            m_grabs.append({ id, keycode, modifiers });
            any = true;
        }
    }
    return any;
}

void CGlobalHotKeys::Unregister(int id)
{
    for (qsizetype i = m_grabs.size() - 1; i >= 0; --i) {
        if (m_grabs[i].id != id)
            continue;
        if (m_grabber)
            m_grabber->Ungrab(m_grabs[i].keycode, m_grabs[i].modifiers);
        m_grabs.removeAt(i);
    }
}

void CGlobalHotKeys::UnregisterAll()
{
    while (!m_grabs.isEmpty())
        Unregister(m_grabs.first().id);
}

bool CGlobalHotKeys::IsRegistered(int id) const
{
    for (const Grab& grab : m_grabs)
        if (grab.id == id)
            return true;
    return false;
}

bool CGlobalHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_grabs.isEmpty() || eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS)
        return false;
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    // Only the modifier keys count; the pointer buttons held meanwhile and the lock keys do not.
    const uint16_t modifiers = key->state & 0xFF & ~(kLock | kNumLock);
    if (modifiers != kHotKeyModifiers)
        return false;
    for (const Grab& grab : m_grabs) {
        if (grab.keycode == key->detail) {
            const int id = grab.id;
            m_pressed(id); // may change the grabs
            return true;
        }
    }
    return false;
}
