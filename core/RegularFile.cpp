#include "core/RegularFile.h"

#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

int OpenRegularFile(const char* nativePath, int flags)
{
    struct stat info {
    };
    if (::stat(nativePath, &info) != 0)
        return -1;
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    // Not blocking and no controlling terminal: the path may have been replaced since the look above.
    const int fd = ::open(nativePath, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

std::FILE* OpenRegularFileForReading(const char* nativePath)
{
    const int fd = OpenRegularFile(nativePath);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

QByteArray ReadRegularFileHead(const QString& path, qsizetype maxBytes)
{
    const int fd = OpenRegularFile(QFile::encodeName(path).constData());
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    return file.read(maxBytes);
}
