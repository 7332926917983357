#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// Texts of the main window's playback display.

// An elapsed time: "%M:%S" under an hour (and for a negative time, shown as 00:00), "%H:%M" under a
// day, "%D:%H" under 30 days, then "%D" (days unpadded, the rest with two digits).
QString FormatElapsedTime(int64_t seconds);
// A buffer fill of 0..100 on the steps of 10 it is shown in, halves up.
int RoundBufferPercent(int percent);
// The address in the text of an Internet shortcut file (at most its first 4000 bytes, read as
// Windows-1252): what follows the first "URL=" up to the end of that line; empty when there is none.
QString UrlFromShortcut(const QByteArray& bytes);
// The stream format line: "MP3, 128 kbps"; the format alone without a bitrate, nothing without a format.
QString StreamFormatText(const QString& format, int bitrateKbps);
