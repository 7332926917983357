#include "core/Autostart.h"

#include "core/ErrorLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace
{

QString ProgramPath()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

} // namespace

QString QuoteExecArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

namespace
{

// A string value of a desktop entry: backslashes and line ends are escaped, and in a command the percent
// sign that would start a field code.
QString EscapeEntryValue(const QString& value, bool command)
{
    QString escaped;
    for (const QChar c : value) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else if (c == u'%' && command)
            escaped += QStringLiteral("%%");
        else
            escaped += c;
    }
    return escaped;
}

QString AutostartFolder(bool allUsers)
{
    if (allUsers) {
        const QString dirs = QFile::decodeName(qgetenv("XDG_CONFIG_DIRS"));
        const QString first = dirs.section(u':', 0, 0);
        return (first.isEmpty() ? QStringLiteral("/etc/xdg") : first) + QStringLiteral("/autostart");
    }
    return UserBaseFolder("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/autostart");
}

} // namespace

QString BuildRunCommand(const QString& arguments)
{
    return QuoteExecArgument(ProgramPath()) + u' ' + arguments;
}

QString AutostartEntryPath(const QString& valueName, bool allUsers)
{
    return AutostartFolder(allUsers) + u'/' + valueName + QStringLiteral(".desktop");
}

bool SetAutostart(const QString& valueName, const QString& arguments, bool allUsers)
{
    if (valueName.isEmpty() || valueName.contains(u'/'))
        return false;
    if (!QDir().mkpath(AutostartFolder(allUsers)))
        return false;
    QSaveFile file(AutostartEntryPath(valueName, allUsers));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry
        = QStringLiteral("[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=%1\n"
                         "Exec=%2\n"
                         "Terminal=false\n"
                         "X-GNOME-Autostart-enabled=true\n")
              .arg(EscapeEntryValue(valueName, false), EscapeEntryValue(BuildRunCommand(arguments), true));
    file.write(entry.toUtf8());
    return file.commit();
}

bool RemoveAutostart(const QString& valueName, bool allUsers)
{
    if (valueName.isEmpty() || valueName.contains(u'/'))
        return false;
    return QFile::remove(AutostartEntryPath(valueName, allUsers));
}
