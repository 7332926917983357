#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The program's command line: one text of switches ("/play /source="http://..." /station=...") that
// either comes from this process's arguments or is handed over by another start.

// One switch as read: its name lower-cased without "/", quotes and blanks around it, its value (empty
// when it has none), and where it stands in the text: from the first character of the written name up
// to the position after the one delimiter that ended the name.
struct CommandLineSwitch {
    QString name;
    QString value;
    qsizetype start = 0;
    qsizetype end = 0;
};

constexpr int kMaxCommandLineSwitches = 200;

// The text of a command line made from the program's arguments (the program first): the program and
// every argument holding a blank or tab are quoted, a switch with a value by its value, so that the
// value reads back whole.
QString BuildCommandLine(const QStringList& arguments);

// The switches of a text, at most kMaxCommandLineSwitches, after its first token: the program (up to
// its closing quote when quoted, else up to the first blank) and everything up to the next "/".
QList<CommandLineSwitch> ParseCommandLineSwitches(const QString& text);

// The text handed to a running instance: the text without the switch (and its delimiter).
QString RemoveCommandLineSwitch(const QString& text, const CommandLineSwitch& commandSwitch);

// A "/duration" value in minutes, read as a decimal number in the C locale, as whole seconds. Text that
// is not a number, a value that is not above zero and one that is not finite mean no limit (0); a
// longer limit than an int holds is clamped.
int DurationSecondsFromMinutes(const QString& minutes);

// Whether "/terminateall" stands anywhere in the text, in any letter case.
bool HasTerminateAllSwitch(const QString& text);
