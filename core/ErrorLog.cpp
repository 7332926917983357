#include "core/ErrorLog.h"

#include "core/FileVersionInfo.h"
#include "core/StdioFileUTF8.h"

#include <BuildInfo.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace
{

constexpr qint64 kMaxLogBytes = 50000;
const QString kNullDevice = QStringLiteral("/dev/null");

// One entry is written whole (line, line end, flush, size check) under this lock.
std::mutex logMutex;
std::optional<QString> logPath; // guarded by logMutex
std::unique_ptr<CStdioFileUTF8> logFile; // guarded by logMutex
bool loggingStopped = false; // guarded by logMutex; never cleared in a run

std::mutex appFolderMutex;
QString appFolderOverride; // guarded by appFolderMutex

QString FormatLocalTime(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, format, &local);
    return QString::fromLatin1(text, qsizetype(n));
}

// Read once: the version cannot change while the program runs, and an entry should cost little even
// when something logs in a loop.
const QString& ProductVersion()
{
    static const QString version = [] {
        CFileVersionInfo info;
        info.CreateFromModule(nullptr);
        return info.GetProductVersion();
    }();
    return version;
}

// Where the running program keeps its read-only data (skins, catalogue, images).
struct ProgramPlace {
    QString folder; // with a trailing separator
    bool installed = false;
};

QString ExecutableFolder()
{
    char path[2000];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return QString();
    const QString program = QString::fromLocal8Bit(path, n);
    const qsizetype slash = program.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : program.left(slash + 1);
}

// A portable copy holds everything in the executable's folder. An installed one has its executable in
// bin/ and its data in share/kavrilune/ (as far from bin/ as the build's install folders are), wherever
// the whole was installed. Looked up once: the executable does not move while it runs.
const ProgramPlace& RunningProgramPlace()
{
    static const ProgramPlace place = [] {
        ProgramPlace found { ExecutableFolder() };
        if (found.folder.isEmpty() || QFileInfo::exists(found.folder + QStringLiteral("skins")))
            return found;
        const QString data = QDir::cleanPath(found.folder + QStringLiteral(KAVRILUNE_DATA_FROM_BIN)) + QLatin1Char('/');
        if (QFileInfo(data + QStringLiteral("skins")).isDir())
            found = { data, true };
        return found;
    }();
    return place;
}

void CloseLogFileLocked()
{
    if (!logFile)
        return;
    try {
        logFile->Close();
    } catch (const CFileException&) {
    }
    logFile.reset();
}

bool OpenErrorLogLocked()
{
    if (logFile)
        return true;
    const QString path = logPath ? *logPath : kNullDevice;
    const unsigned flags = CStdioFileUTF8::modeCreate | CStdioFileUTF8::modeWrite | CStdioFileUTF8::shareDenyWrite;
    try {
        logFile = std::make_unique<CStdioFileUTF8>(path, flags);
    } catch (const CFileException&) {
        try {
            logFile = std::make_unique<CStdioFileUTF8>(kNullDevice, flags);
        } catch (const CFileException&) {
            logFile.reset();
        }
    }
    return logFile != nullptr;
}

} // namespace

void InitErrorLog(const QString& fallbackFolder)
{
    const QString fileName = QStringLiteral("log - %1.txt").arg(FormatLocalTime("%Y-%m-%d %H-%M-%S"));
    const QString program = GetAppFolder();
    const bool portable = !IsInstalledCopy() && IsWritableFolder(program);
    const QString base = fallbackFolder.isEmpty() || portable ? program : fallbackFolder + u'/';
    const QString folder = base + QStringLiteral("Log");
    QDir().mkpath(folder);
    std::lock_guard lock(logMutex);
    CloseLogFileLocked();
    logPath = folder + QLatin1Char('/') + fileName;
}

void CloseErrorLog()
{
    std::lock_guard lock(logMutex);
    CloseLogFileLocked();
    logPath.reset();
}

void WriteErrorLog(const QString& sourceFile, int line, const QString& text)
{
    std::lock_guard lock(logMutex);
    if (loggingStopped || !OpenErrorLogLocked())
        return;

    QString entry
        = FormatLocalTime("%H:%M:%S") + QStringLiteral(" v ") + ProductVersion() + QStringLiteral(" > ") + sourceFile;
    if (line != 0)
        entry += QStringLiteral(", line ") + QString::number(line);
    if (!text.isEmpty())
        entry += QStringLiteral(": ") + text;
    try {
        logFile->WriteString(entry + QLatin1Char('\n'));
        logFile->Flush();
        if (logFile->GetLength() > kMaxLogBytes) {
            logFile->WriteString(QStringLiteral("The error log file size is too big. Logging stopped.\n"));
            logFile->Flush();
            loggingStopped = true;
        }
    } catch (const CFileException&) {
        // A log that cannot be written loses the entry; the program goes on.
    }
}

void WriteErrorLog(const char* sourceFile, int line, const QString& text)
{
    WriteErrorLog(QString::fromUtf8(sourceFile), line, text);
}

QString GetAppFolder()
{
    {
        std::lock_guard lock(appFolderMutex);
        if (!appFolderOverride.isEmpty())
            return appFolderOverride;
    }
    return RunningProgramPlace().folder;
}

bool IsInstalledCopy()
{
    {
        std::lock_guard lock(appFolderMutex);
        if (!appFolderOverride.isEmpty())
            return false;
    }
    return RunningProgramPlace().installed;
}

bool IsWritableFolder(const QString& folder)
{
    return !folder.isEmpty()
        && ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

QString UserBaseFolder(const char* variable, const QString& belowHome)
{
    const QString folder = QFile::decodeName(qgetenv(variable));
    return QDir::cleanPath(QDir::isAbsolutePath(folder) ? folder : QDir::homePath() + belowHome);
}

void SetAppFolderOverride(const QString& folder)
{
    std::lock_guard lock(appFolderMutex);
    appFolderOverride = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
