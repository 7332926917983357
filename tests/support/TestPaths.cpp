#include "tests/support/TestPaths.h"

#include <QFile>

namespace testing_support
{

QString SourceDir()
{
    return QStringLiteral(KAVRILUNE_TEST_SOURCE_DIR);
}

QString BinaryDir()
{
    return QStringLiteral(KAVRILUNE_TEST_BINARY_DIR);
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace testing_support
