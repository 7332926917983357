#include "tests/fuzz/FuzzScratch.h"

#include "core/ErrorLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzz_support
{

namespace
{

QString CreateScratchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavrilune-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    const QString folder = QString::fromLocal8Bit(pattern.c_str()) + QLatin1Char('/');
    SetAppFolderOverride(folder);
    std::atexit([] { QDir(ScratchFolder()).removeRecursively(); });
    return folder;
}

} // namespace

const QString& ScratchFolder()
{
    static const QString folder = CreateScratchFolder();
    return folder;
}

QString WriteScratchFile(const QString& relativePath, const QByteArray& bytes)
{
    const QString path = ScratchFolder() + relativePath;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort(); // the harness itself failed; no input is to blame
    return path;
}

QString WriteScratchFile(const QString& relativePath, const uint8_t* data, size_t size)
{
    return WriteScratchFile(
        relativePath, QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
}

void ResetFolder(const QString& path)
{
    QDir folder(path);
    folder.removeRecursively();
    QDir().mkpath(path);
}

} // namespace fuzz_support
