#pragma once

#include <QList>
#include <cstdint>

// The window system's side of global hot keys: which keys make a key symbol, and passive grabs of a
// key with a set of modifiers on the whole screen.
class IKeyGrabber
{
public:
    virtual ~IKeyGrabber() = default;

    // The keycodes that produce the key symbol; empty when no key does.
    virtual QList<uint8_t> KeycodesFor(uint32_t keysym) = 0;
    // False when the key cannot be had (another program holds it).
    virtual bool Grab(uint8_t keycode, uint16_t modifiers) = 0;
    virtual void Ungrab(uint8_t keycode, uint16_t modifiers) = 0;
};
