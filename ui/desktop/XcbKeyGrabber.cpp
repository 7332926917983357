#include "ui/desktop/XcbKeyGrabber.h"

#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>

std::unique_ptr<CXcbKeyGrabber> CXcbKeyGrabber::Create()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return nullptr;
    return std::unique_ptr<CXcbKeyGrabber>(new CXcbKeyGrabber(connection, screens.data->root));
}

CXcbKeyGrabber::CXcbKeyGrabber(xcb_connection_t* connection, uint32_t root)
    : m_connection(connection)
    , m_root(root)
{
}

void CXcbKeyGrabber::LoadKeyboardMapping()
{
    m_mappingLoaded = true;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    m_firstKeycode = setup->min_keycode;
    const int count = int(setup->max_keycode) - int(setup->min_keycode) + 1;
    const xcb_get_keyboard_mapping_cookie_t cookie
        = xcb_get_keyboard_mapping(m_connection, setup->min_keycode, uint8_t(count));
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(m_connection, cookie, nullptr);
    if (!reply)
        return;
    m_symbolsPerKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply);
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    m_symbols = QList<uint32_t>(symbols, symbols + length);
    std::free(reply);
}

QList<uint8_t> CXcbKeyGrabber::KeycodesFor(uint32_t keysym)
{
    if (!m_mappingLoaded)
        LoadKeyboardMapping();
    QList<uint8_t> keycodes;
    if (m_symbolsPerKeycode <= 0)
        return keycodes;
    for (qsizetype i = 0; i < m_symbols.size(); ++i) {
        if (m_symbols[i] != keysym)
            continue;
        const auto keycode = uint8_t(m_firstKeycode + i / m_symbolsPerKeycode);
        if (!keycodes.contains(keycode))
            keycodes.append(keycode);
    }
    return keycodes;
}

bool CXcbKeyGrabber::Grab(uint8_t keycode, uint16_t modifiers)
{
    const xcb_void_cookie_t cookie
        = xcb_grab_key_checked(m_connection, 0, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
        std::free(error); // BadAccess: someone else has the key
        return false;
    }
    return true;
}

void CXcbKeyGrabber::Ungrab(uint8_t keycode, uint16_t modifiers)
{
    xcb_ungrab_key(m_connection, keycode, m_root, modifiers);
    xcb_flush(m_connection);
}
