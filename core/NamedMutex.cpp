#include "core/NamedMutex.h"

#include <QFile>
#include <QMutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QMutex folderMutex;
QString folderOverride; // guarded by folderMutex

// Where the lock files live; empty when no folder is safe to use.
QString LockFolder()
{
    QString folder;
    {
        QMutexLocker lock(&folderMutex);
        folder = folderOverride;
    }
    if (!folder.isEmpty())
        return CNamedMutex::MakePrivateFolder(folder);
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && CNamedMutex::IsPrivateFolder(runtime))
        return runtime;
    return CNamedMutex::MakePrivateFolder(QStringLiteral("/tmp/kavrilune-locks-%1").arg(geteuid()));
}

} // namespace

CNamedMutex::CNamedMutex(const QString& name)
    : m_path(LockFilePath(name))
{
}

CNamedMutex::~CNamedMutex()
{
    Unlock();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CNamedMutex::TryLock()
{
    if (m_locked)
        return true;
    if (m_fd < 0) {
        if (m_path.isEmpty())
            return false;
        m_fd = OpenLockFile(m_path);
        if (m_fd < 0)
            return false;
    }
    m_locked = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    return m_locked;
}

void CNamedMutex::Unlock()
{
    if (m_locked && m_fd >= 0)
        ::flock(m_fd, LOCK_UN);
    m_locked = false;
}

QString CNamedMutex::LockFilePath(const QString& name)
{
    const QString folder = LockFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name + QStringLiteral(".lock");
}

void CNamedMutex::SetFolderOverride(const QString& folder)
{
    QMutexLocker lock(&folderMutex);
    folderOverride = folder;
}

bool CNamedMutex::IsPrivateFolder(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

QString CNamedMutex::MakePrivateFolder(const QString& path)
{
    if (IsPrivateFolder(path))
        return path;
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return IsPrivateFolder(path) ? path : QString();
}

int CNamedMutex::OpenLockFile(const QString& path)
{
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}
