#include "core/NamedMutex.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{

QMutex folderMutex;
QString folderOverride; // guarded by folderMutex

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
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
    {
        QMutexLocker lock(&folderMutex);
        if (!folderOverride.isEmpty())
            return folderOverride + QLatin1Char('/') + name + QStringLiteral(".lock");
    }
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QLatin1Char('/') + name + QStringLiteral(".lock");
    return QStringLiteral("/tmp/%1-%2.lock").arg(name).arg(::getuid());
}

void CNamedMutex::SetFolderOverride(const QString& folder)
{
    QMutexLocker lock(&folderMutex);
    folderOverride = folder;
}
