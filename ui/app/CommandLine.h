#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The program's command line: the switches ("/play /source="http://..." /station=...") of this process's
// own arguments, or one text of them handed over by another start.

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

// The text of a command line made from the program's arguments (the program first), as a start hands
// it over: the program and every argument holding a blank, tab or double quote are quoted, a switch with
// a value by its value, and a double quote inside quotes is written twice, so that the value reads back
// whole. A value already quoted at both ends that holds no other quote is kept as it is.
QString BuildCommandLine(const QStringList& arguments);

// The switches of a text, at most kMaxCommandLineSwitches, after its first token: the program (up to
// its closing quote when quoted, else up to the first blank) and everything up to the next "/". In a
// quoted value two double quotes stand for one.
QList<CommandLineSwitch> ParseCommandLineSwitches(const QString& text);

// The switches of the program's own arguments (the program first), each argument as the shell handed it
// over: one switch each, its name up to the first "=", its value all the rest, read by the same rules
// for letter case, slashes, quotes and blanks at the ends as a text. Positions are not set.
QList<CommandLineSwitch> SwitchesFromArguments(const QStringList& arguments);

// The text handed to a running instance: the text without the switch (and its delimiter).
QString RemoveCommandLineSwitch(const QString& text, const CommandLineSwitch& commandSwitch);

// A "/duration" value in minutes, read as a decimal number in the C locale, as whole seconds. Text that
// is not a number, a value that is not above zero and one that is not finite mean no limit (0); a
// longer limit than an int holds is clamped.
int DurationSecondsFromMinutes(const QString& minutes);

// Whether "/terminateall" stands anywhere in the text, in any letter case.
bool HasTerminateAllSwitch(const QString& text);
// Whether "/terminateall" stands anywhere in an argument after the program, in any letter case; the
// program's own path is never searched.
bool HasTerminateAllSwitch(const QStringList& arguments);
