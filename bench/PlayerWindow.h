#pragma once

// Stands in for the main window in the benches that play through the manager: notes when a player
// plays and hands finished players back to the manager for deletion.

#include "audio/RadioManager.h"
#include "core/WindowMessage.h"

#include <QObject>

namespace bench
{

class PlayerWindow : public QObject
{
public:
    explicit PlayerWindow(CRadioManager& manager)
        : m_manager(manager)
    {
    }
    bool event(QEvent* event) override
    {
        WindowMessage* message = AsWindowMessage(event);
        if (!message || message->message() != PlayerStatusMessage())
            return QObject::event(event);
        if (message->wParam == WPARAM(PlayerStatusPlaying))
            playing = true;
        if (message->wParam == WPARAM(PlayerStatusFinished))
            m_manager.DeletePlayer(reinterpret_cast<RadioPlayer*>(message->lParam));
        return true;
    }
    bool playing = false;

private:
    CRadioManager& m_manager;
};

} // namespace bench
