#include "core/WindowMessage.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QThread>

namespace
{

QMutex registryMutex;
QHash<QByteArray, int> registry; // guarded by registryMutex

} // namespace

WindowMessage::WindowMessage(int message, WPARAM w, LPARAM l)
    : QEvent(QEvent::Type(message))
    , wParam(w)
    , lParam(l)
{
}

int RegisterWindowMessage(const char* name)
{
    QMutexLocker lock(&registryMutex);
    const QByteArray key(name);
    auto it = registry.constFind(key);
    if (it != registry.constEnd())
        return it.value();
    const int number = QEvent::registerEventType();
    registry.insert(key, number);
    return number;
}

bool PostWindowMessage(QObject* target, int message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return false;
    QCoreApplication::postEvent(target, new WindowMessage(message, wParam, lParam));
    return true;
}

LRESULT SendWindowMessage(QObject* target, int message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return 0;
    auto deliver = [target, message, wParam, lParam]() -> LRESULT {
        WindowMessage event(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &event);
        return event.result;
    };
    if (target->thread() == QThread::currentThread())
        return deliver();
    LRESULT result = 0;
    QMetaObject::invokeMethod(target, deliver, Qt::BlockingQueuedConnection, &result);
    return result;
}
