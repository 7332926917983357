#include "ui/app/CommandLine.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace
{

constexpr QStringView kNameEnds = u"/\" \t";
constexpr QStringView kValueEnds = u"\" \t";
constexpr QStringView kBlanks = u" \t";

bool NeedsQuotes(const QString& text)
{
    return text.contains(u' ') || text.contains(u'\t') || text.contains(u'"');
}

// In quotes, with every quote inside written twice.
QString Quoted(QString text)
{
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// A value quoted at both ends with no quote inside reads back as it is.
bool IsPlainQuoted(const QString& value)
{
    return value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')
        && !QStringView(value).mid(1, value.size() - 2).contains(u'"');
}

// Where the quoted text that begins at open ends: at the first quote that is not written twice. The
// text between, with doubled quotes made single, goes to unquoted. Returns the closing quote's position
// or -1 when there is none.
qsizetype ReadQuoted(const QString& text, qsizetype open, QString& unquoted)
{
    unquoted.clear();
    qsizetype position = open + 1;
    while (position < text.size()) {
        const qsizetype quote = text.indexOf(u'"', position);
        if (quote < 0)
            break;
        unquoted += QStringView(text).mid(position, quote - position);
        if (quote + 1 < text.size() && text[quote + 1] == u'"') {
            unquoted += u'"';
            position = quote + 2;
            continue;
        }
        return quote;
    }
    unquoted += QStringView(text).mid(position);
    return -1;
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
        QString program;
        const qsizetype close = ReadQuoted(text, 0, program);
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
        if (!NeedsQuotes(argument)) {
            parts.append(argument);
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.left(equals);
        const QString value = argument.mid(equals + 1);
        if (i > 0 && argument.startsWith(u'/') && equals > 0 && !NeedsQuotes(name))
            parts.append(name + u'=' + (IsPlainQuoted(value) ? value : Quoted(value)));
        else
            parts.append(Quoted(argument));
    }
    return parts.join(u' ');
}

QList<CommandLineSwitch> ParseCommandLineSwitches(const QString& text)
{
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
        bool quoted = false;
        if (delimiter == u'=') {
            if (position < length && text[position] == u'"') {
                quoted = true;
                const qsizetype close = ReadQuoted(text, position, value);
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
        // A quoted value keeps the quotes it holds.
        commandSwitch.value = Stripped(value, quoted ? kBlanks : kValueEnds);
        switches.append(commandSwitch);
    }
    return switches;
}

QList<CommandLineSwitch> SwitchesFromArguments(const QStringList& arguments)
{
    QList<CommandLineSwitch> switches;
    for (qsizetype i = 1; i < arguments.size() && switches.size() < kMaxCommandLineSwitches; ++i) {
        const QString& argument = arguments[i];
        const qsizetype equals = argument.indexOf(u'=');
        CommandLineSwitch commandSwitch;
        commandSwitch.name = Stripped(argument.left(equals), kNameEnds).toLower();
        if (equals >= 0) {
            // The shell has taken its quotes off already; a value still quoted at both ends (and nowhere
            // else) loses that pair, as it would in a text.
            QString value = Stripped(argument.mid(equals + 1), kBlanks);
            if (IsPlainQuoted(value))
                value = Stripped(value.mid(1, value.size() - 2), kBlanks);
            commandSwitch.value = value;
        }
        if (!commandSwitch.name.isEmpty())
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

bool HasTerminateAllSwitch(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (HasTerminateAllSwitch(arguments[i]))
            return true;
    return false;
}
