#include "ui/CommandLine.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace
{

bool HoldsBlank(const QString& text)
{
    return text.contains(u' ') || text.contains(u'\t');
}

QString Quoted(const QString& text)
{
    return u'"' + text + u'"';
}

bool EndsName(QChar c)
{
    return c == u'=' || c == u' ' || c == u'\t';
}

// The text without the given characters at either end.
QString Stripped(const QString& text, QStringView characters)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && characters.contains(text[first]))
        ++first;
    while (last > first && characters.contains(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// Where the switches begin: at the first "/" after the program (quoted, or up to the first blank).
qsizetype SwitchesStart(const QString& text)
{
    qsizetype position = 0;
    if (text.startsWith(u'"')) {
        const qsizetype close = text.indexOf(u'"', 1);
        position = close < 0 ? text.size() : close + 1;
    } else {
        while (position < text.size() && text[position] != u' ' && text[position] != u'\t')
            ++position;
    }
    const qsizetype slash = text.indexOf(u'/', position);
    return slash < 0 ? text.size() : slash;
}

} // namespace

QString BuildCommandLine(const QStringList& arguments)
{
    QStringList parts;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!HoldsBlank(argument)) {
            parts.append(argument);
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.left(equals);
        const QString value = argument.mid(equals + 1);
        const bool quotedValue = value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"');
        if (i > 0 && argument.startsWith(u'/') && equals > 0 && !HoldsBlank(name))
            parts.append(name + u'=' + (quotedValue ? value : Quoted(value)));
        else
            parts.append(Quoted(argument));
    }
    return parts.join(u' ');
}

QList<CommandLineSwitch> ParseCommandLineSwitches(const QString& text)
{
    static constexpr QStringView kNameEnds = u"/\" \t";
    static constexpr QStringView kValueEnds = u"\" \t";
    QList<CommandLineSwitch> switches;
    const qsizetype length = text.size();
    qsizetype position = SwitchesStart(text);
    while (switches.size() < kMaxCommandLineSwitches && position < length) {
        while (position < length && EndsName(text[position]))
            ++position;
        if (position >= length)
            break;
        CommandLineSwitch commandSwitch;
        commandSwitch.start = position;
        while (position < length && !EndsName(text[position]))
            ++position;
        const QString name = text.mid(commandSwitch.start, position - commandSwitch.start);
        const QChar delimiter = position < length ? text[position] : QChar();
        if (position < length)
            ++position;
        commandSwitch.end = position;

        QString value;
        if (delimiter == u'=') {
            if (position < length && text[position] == u'"') {
                const qsizetype close = text.indexOf(u'"', position + 1);
                const qsizetype valueEnd = close < 0 ? length : close;
                value = text.mid(position + 1, valueEnd - position - 1);
                position = close < 0 ? length : close + 1;
            } else {
                qsizetype blank = text.indexOf(u' ', position);
                if (blank < 0)
                    blank = length;
                value = text.mid(position, blank - position);
                position = blank;
            }
        }
        commandSwitch.name = Stripped(name, kNameEnds).toLower();
        commandSwitch.value = Stripped(value, kValueEnds);
        switches.append(commandSwitch);
    }
    return switches;
}

QString RemoveCommandLineSwitch(const QString& text, const CommandLineSwitch& commandSwitch)
{
    return text.left(commandSwitch.start) + text.mid(commandSwitch.end);
}

int DurationSecondsFromMinutes(const QString& minutes)
{
    const QByteArray digits = minutes.trimmed().toLatin1();
    double value = 0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
    if (error != std::errc() || end == digits.constData())
        return 0;
    const double seconds = value * 60.0;
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    if (seconds >= double(INT_MAX))
        return INT_MAX;
    return int(seconds);
}

bool HasTerminateAllSwitch(const QString& text)
{
    return text.contains(QStringLiteral("/terminateall"), Qt::CaseInsensitive);
}
