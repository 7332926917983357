// Command lines as another start hands them over: the switches read from any text stay within it, and a
// line built from arguments reads back as those arguments.

#include "tests/fuzz/FuzzInput.h"
#include "ui/app/CommandLine.h"

#include <cstdlib>

namespace
{

bool IsNameEnd(QChar c)
{
    return c == u'/' || c == u'"' || c == u' ' || c == u'\t';
}

void CheckSwitches(const QString& text)
{
    const QList<CommandLineSwitch> switches = ParseCommandLineSwitches(text);
    if (switches.size() > kMaxCommandLineSwitches)
        std::abort();
    qsizetype previousEnd = 0;
    for (const CommandLineSwitch& commandSwitch : switches) {
        if (commandSwitch.start < previousEnd || commandSwitch.end <= commandSwitch.start
            || commandSwitch.end > text.size())
            std::abort();
        previousEnd = commandSwitch.end;
        const QString& name = commandSwitch.name;
        if (!name.isEmpty() && (IsNameEnd(name.front()) || IsNameEnd(name.back()) || name != name.toLower()))
            std::abort();
        if (RemoveCommandLineSwitch(text, commandSwitch).size()
            != text.size() - (commandSwitch.end - commandSwitch.start))
            std::abort();
        if (DurationSecondsFromMinutes(commandSwitch.value) < 0)
            std::abort();
    }
}

// Switches "/<letters>=<value>" whose values hold no quote come back with their values.
void CheckRoundTrip(fuzz_support::FuzzInput& input)
{
    QStringList arguments { QStringLiteral("/opt/some where/kavrilune") };
    QStringList values;
    while (!input.Empty() && arguments.size() <= kMaxCommandLineSwitches) {
        QString value = QString::fromUtf8(input.TakeUntil('\n'));
        value.remove(u'"');
        value = value.trimmed();
        if (value.contains(u' ') && value.contains(u'\t'))
            value.remove(u'\t'); // a tab beside a blank would end a name, not a quoted value
        arguments.append(QStringLiteral("/v%1=").arg(values.size()) + value);
        values.append(value);
    }
    const QList<CommandLineSwitch> read = ParseCommandLineSwitches(BuildCommandLine(arguments));
    qsizetype next = 0;
    for (const CommandLineSwitch& commandSwitch : read) {
        if (commandSwitch.name != QStringLiteral("v%1").arg(next))
            continue;
        if (commandSwitch.value != values[next].trimmed())
            std::abort();
        ++next;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_support::FuzzInput input(data, size);
    if (input.TakeByte() % 2 == 0) {
        const QByteArray bytes = input.TakeRest();
        CheckSwitches(QString::fromUtf8(bytes));
        CheckSwitches(QString::fromLatin1(bytes));
        HasTerminateAllSwitch(QString::fromUtf8(bytes));
    } else {
        CheckRoundTrip(input);
    }
    return 0;
}
