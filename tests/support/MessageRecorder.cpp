#include "tests/support/MessageRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace testing_support
{

bool MessageRecorder::event(QEvent* event)
{
    if (WindowMessage* message = AsWindowMessage(event)) {
        received.push_back(message->message());
        messages.push_back({ message->message(), message->wParam, message->lParam });
        return true;
    }
    return QObject::event(event);
}

bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

ScriptedMessageBoxes::ScriptedMessageBoxes(std::function<int(const QString& text, unsigned type)> answer)
{
    m_previous = SetMessageBoxHandler([this, answer](const QString& text, const QString&, unsigned type) {
        texts.append(text);
        return answer ? answer(text, type) : IDOK;
    });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    SetMessageBoxHandler(m_previous);
}

} // namespace testing_support
