#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The program's 8-bit code page, Windows-1252. The five bytes it leaves undefined stand for the
// control characters of the same number, both ways.

QString DecodeAnsi(QByteArrayView bytes);
// Characters the code page cannot hold become '?', like the system's own conversion makes them.
QByteArray EncodeAnsi(const QString& text);
// The bytes as UTF-8 when they are valid UTF-8, otherwise in the 8-bit code page.
QString DecodeUtf8OrAnsi(QByteArrayView bytes);
