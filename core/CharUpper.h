#pragma once

#include <QString>
#include <QStringView>

// Upper-cases code point by code point with the simple one-to-one Unicode mapping, so the text keeps
// its length ("ß" stays "ß"); the same rule the stations' search keys are built with.
QString CharUpper(QStringView text);
// The same into a buffer the caller keeps, so that repeated calls reuse its storage.
void CharUpperInto(QStringView text, QString& out);
