#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// Plain message numbers of the program (the registered ones are allocated separately and never collide).
constexpr int WM_USER = QEvent::User;

// A message for one of the program's objects: a number with two parameters. The receiver handles it in
// its event() override; when it was sent (not posted) the receiver may set the result.
class WindowMessage : public QEvent
{
public:
    WindowMessage(int message, WPARAM wParam, LPARAM lParam);

    int message() const { return int(type()); }
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
};

// The number of a named message, the same for every caller in the process.
int RegisterWindowMessage(const char* name);
// Queues the message for the target's thread; false when there is no target.
bool PostWindowMessage(QObject* target, int message, WPARAM wParam = 0, LPARAM lParam = 0);
// Delivers the message on the target's thread and waits for its result; directly when that is this thread.
// The target's thread must be running an event loop.
LRESULT SendWindowMessage(QObject* target, int message, WPARAM wParam = 0, LPARAM lParam = 0);
// The message behind an event, or null when the event is not one.
inline WindowMessage* AsWindowMessage(QEvent* event)
{
    return dynamic_cast<WindowMessage*>(event);
}
