// Internet shortcut files dropped on the window: the address read from one is a single line of the
// file's first 4000 bytes.

#include "ui/mainwindow/PlayTexts.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString url = UrlFromShortcut(bytes);
    if (url.contains(u'\r') || url.contains(u'\n') || url.size() > 4000)
        std::abort();
    if (!url.isEmpty() && bytes.indexOf("URL=") < 0)
        std::abort();
    return 0;
}
