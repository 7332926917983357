#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testing_support
{

// A temporary program folder for the life of the object: GetAppFolder() points at it and the error log
// is written into its "Log" folder. The previous program folder is restored at the end.
class TempProgramFolder
{
public:
    TempProgramFolder();
    ~TempProgramFolder();

    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    // The folder with a trailing "/".
    QString Path() const;
    QString FilePath(const QString& name) const;
    // The error-log entries written so far, without their time and version prefix
    // ("source, line n: text").
    QStringList LogEntries() const;

private:
    QTemporaryDir m_dir;
};

// Copies a folder with everything below it (a staged program, say); false when a file could not be
// copied.
bool CopyFolder(const QString& from, const QString& to);

} // namespace testing_support
