#pragma once

#include <QString>

// Starting the program when the user logs on: an autostart desktop entry named after the value name in
// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart), or, for all users, in the first folder of
// $XDG_CONFIG_DIRS (default /etc/xdg) + "/autostart". The program itself uses the name "Kavrilune" with
// the arguments "/hidden", for the current user only.

// Writes the entry that runs this program with the arguments (replacing an existing one); false when
// the folder or the file cannot be written.
bool SetAutostart(const QString& valueName, const QString& arguments, bool allUsers = false);
// Deletes the entry; false when there is none or it cannot be deleted.
bool RemoveAutostart(const QString& valueName, bool allUsers = false);

// The command line of the entry: the program's full path, one blank and the arguments. The path is
// quoted when it holds characters that the entry's command syntax reserves.
QString BuildRunCommand(const QString& arguments);
// An argument of the entry's command, quoted and escaped when it holds reserved characters.
QString QuoteExecArgument(const QString& argument);
// Path of the entry file for a value name.
QString AutostartEntryPath(const QString& valueName, bool allUsers = false);
