#include "tests/support/TempProgramFolder.h"

#include "core/ErrorLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace testing_support
{

TempProgramFolder::TempProgramFolder()
{
    SetAppFolderOverride(m_dir.path());
    InitErrorLog();
}

TempProgramFolder::~TempProgramFolder()
{
    CloseErrorLog();
    SetAppFolderOverride(QString());
}

QString TempProgramFolder::Path() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TempProgramFolder::FilePath(const QString& name) const
{
    return Path() + name;
}

QStringList TempProgramFolder::LogEntries() const
{
    static const QRegularExpression prefix(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d v \\S+ > "));
    QStringList entries;
    const QDir logs(Path() + QStringLiteral("Log"));
    for (const QString& name : logs.entryList({ QStringLiteral("log - *.txt") }, QDir::Files)) {
        QFile file(logs.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QString entry = line;
            if (entry.endsWith(QLatin1Char('\r')))
                entry.chop(1);
            entry.remove(prefix);
            entries.append(entry);
        }
    }
    return entries;
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QString& name : source.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = source.filePath(name);
        if (QFileInfo(path).isDir() ? !CopyFolder(path, to + "/" + name) : !QFile::copy(path, to + "/" + name))
            return false;
    }
    return true;
}

} // namespace testing_support
