#pragma once

#include <QString>

// A skin package is a zip archive whose first entry lies in a folder named "<skin>.kvn" (the ending
// compared case-sensitively). Returns 1 and the folder name, or 0.
int IsSkinPackage(const QString& packagePath, QString& folderName);

// Whether a dropped file is offered as a skin package: its name ends in ".zip" or ".kvn" (case-sensitive).
bool HasSkinPackageEnding(const QString& path);

// Results of InstallSkinPackage.
enum : int { kSkinInstalled = 1, kSkinInstallDeclined = 2, kSkinInstallFailed = 3 };

// Unpacks the package's entries inside folderName (at most the first 1000 entries; others are skipped)
// into the program folder's "skins/" folder. When a file of the skin already exists the user is asked
// once whether to overwrite; declining stops the installation and keeps what was unpacked so far.
int InstallSkinPackage(const QString& packagePath, const QString& folderName, const QString& programFolder);
