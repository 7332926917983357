// Settings files as a user or another program may leave them: read at a path taken from the input,
// a value written there and saved, and the saved file read again.

#include "core/XMLSettings.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzScratch.h"

#include <QFile>

#include <cstdlib>

namespace
{

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const QString section = QString::fromUtf8(input.TakeUntil('\n'));
    const QString key = QString::fromUtf8(input.TakeUntil('\n'));
    const QString value = CXMLSettings::StorableText(QString::fromUtf8(input.TakeUntil('\n')));
    const QByteArray document = input.TakeRest();
    const QString path = WriteScratchFile(QStringLiteral("Kavrilune.xml"), document);

    int stored = 0;
    {
        CXMLSettings settings(path);
        settings.GetString(section, key, QString(), false);
        settings.GetInt(section, key, 7, false);
        settings.GetColor(section, QStringLiteral("Color"), 0x123456);
        settings.GetRect(section, 1, 2, 3, 4);
        try {
            settings.GetTime(section, key, 0);
        } catch (const CSettingsTimeException&) {
        }
        stored = settings.SetString(section, key, value);
    }

    if (stored == -1) {
        // A file that does not load is never replaced: the user's settings stay for them to mend.
        if (FileBytes(path) != document)
            std::abort();
    } else if (stored == 0) {
        CXMLSettings again(path);
        if (again.GetString(section, key, QStringLiteral("\x01missing"), false) != value)
            std::abort();
    }
    return 0;
}
