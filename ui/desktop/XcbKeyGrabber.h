#pragma once

#include "ui/desktop/KeyGrabber.h"

#include <QList>
#include <memory>

struct xcb_connection_t;

// Key grabs on the root window of the X server the application is connected to.
class CXcbKeyGrabber : public IKeyGrabber
{
public:
    // The application's X connection; null when it does not run on X11 (Wayland, offscreen).
    static std::unique_ptr<CXcbKeyGrabber> Create();

    QList<uint8_t> KeycodesFor(uint32_t keysym) override;
    bool Grab(uint8_t keycode, uint16_t modifiers) override;
    void Ungrab(uint8_t keycode, uint16_t modifiers) override;

private:
    CXcbKeyGrabber(xcb_connection_t* connection, uint32_t root);
    void LoadKeyboardMapping();

    xcb_connection_t* m_connection;
    uint32_t m_root;
    uint8_t m_firstKeycode = 0;
    int m_symbolsPerKeycode = 0;
    QList<uint32_t> m_symbols; // the keyboard mapping, read once
    bool m_mappingLoaded = false;
};
