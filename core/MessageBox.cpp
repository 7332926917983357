#include "core/MessageBox.h"

#include <QMutex>
#include <cstdio>

namespace
{

QMutex handlerMutex;
MessageBoxHandler currentHandler; // guarded by handlerMutex

} // namespace

int MessageBox(const QString& text, const QString& caption, unsigned type)
{
    MessageBoxHandler handler;
    {
        QMutexLocker lock(&handlerMutex);
        handler = currentHandler;
    }
    if (handler)
        return handler(text, caption, type);
    std::fprintf(stderr, "%s%s%s\n", qPrintable(caption), caption.isEmpty() ? "" : ": ", qPrintable(text));
    const unsigned buttons = type & MB_TYPEMASK;
    return (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    QMutexLocker lock(&handlerMutex);
    std::swap(currentHandler, handler);
    return handler;
}
