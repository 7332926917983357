#pragma once

#include <QString>

// The process-wide error log: one UTF-8 file per run in a "Log" folder, opened at its first entry,
// that stops growing once it passes 50,000 bytes.

// Fixes this run's log path: "Log/log - <start time>.txt" in the program folder, or in fallbackFolder
// when the program is an installed copy or its folder cannot be written and a fallback is given. No
// file is created yet.
void InitErrorLog(const QString& fallbackFolder = QString());
// Closes the log file and forgets the path; a second call does nothing.
void CloseErrorLog();
// Appends one entry: "HH:MM:SS v <version> > <source>[, line <n>][: <text>]". Safe from any thread.
void WriteErrorLog(const char* sourceFile, int line, const QString& text);
void WriteErrorLog(const QString& sourceFile, int line, const QString& text);

// The program folder, ending in a path separator: the executable's folder ("/opt/Kavrilune/"), or for
// an installed copy the folder of its data ("/usr/local/share/kavrilune/" beside "/usr/local/bin/").
QString GetAppFolder();
// Whether the program runs as installed (its data apart from its executable): its users' data then
// lives in their own folders, even where the program folder could be written.
bool IsInstalledCopy();
// Whether this process may create files in an existing folder (a read-only mount says no even to root).
bool IsWritableFolder(const QString& folder);
// A base folder of the user's (XDG): the environment variable when it holds an absolute path, else the
// home folder followed by belowHome ("/.local/share"); never with a doubled separator, even where the
// home folder is "/" (HOME unset).
QString UserBaseFolder(const char* variable, const QString& belowHome);
// Tests and tools that are not the program itself point the program folder elsewhere; empty restores it.
void SetAppFolderOverride(const QString& folder);
