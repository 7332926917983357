#pragma once

#include "core/MessageBox.h"
#include "core/WindowMessage.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

namespace testing_support
{

// Stands in for the main window: records every window message it receives, in order.
class MessageRecorder : public QObject
{
public:
    struct Message {
        int message;
        WPARAM wParam;
        LPARAM lParam;
    };

    bool event(QEvent* event) override;

    std::vector<int> received; // message numbers
    std::vector<Message> messages; // the whole messages
};

// Runs the calling thread's events until done() holds or ms milliseconds have passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int ms = 10000);
// Runs the calling thread's events for ms milliseconds.
void PumpFor(int ms);

// Scripted message boxes for the life of the object: every box is recorded and answered by the
// given function (OK by default); the previous handler comes back at the end.
class ScriptedMessageBoxes
{
public:
    explicit ScriptedMessageBoxes(std::function<int(const QString& text, unsigned type)> answer = nullptr);
    ~ScriptedMessageBoxes();

    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    QStringList texts; // every text shown, in order

private:
    MessageBoxHandler m_previous;
};

} // namespace testing_support
