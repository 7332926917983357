#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>

// Lets GoogleTest print strings readably in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace testing_support
{

// Root of the source tree and of the build tree the tests were built from.
QString SourceDir();
QString BinaryDir();

// Writes bytes to a file, creating or truncating it; returns false on failure.
bool WriteBytes(const QString& path, const QByteArray& bytes);
// The whole content of a file, or an empty array when it cannot be read.
QByteArray ReadBytes(const QString& path);

} // namespace testing_support
