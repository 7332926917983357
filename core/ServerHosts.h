#pragma once

#include <QString>

// The servers the program talks to besides the stations themselves, as scheme and host without a
// trailing slash ("https://update.example.org"). Built in from the build settings; tests point them at
// loopback. Safe from any thread.

QString GetWebHost(); // stations database, version file, play-report referrer
QString GetCounterHost(); // visitor counter of the play report
QString GetImageHost(); // album-art search

// An empty text restores the built-in host.
void SetWebHostOverride(const QString& host);
void SetCounterHostOverride(const QString& host);
void SetImageHostOverride(const QString& host);
