#include "core/PendingFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

CPendingFile::~CPendingFile()
{
    Discard();
}

bool CPendingFile::Create(const QString& folder)
{
    Discard();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = folder
            + QStringLiteral(".kavrilune-%1.part")
                  .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_path = path;
            m_fd = fd;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

QString CPendingFile::FileName() const
{
    return m_path.mid(m_path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool CPendingFile::Write(const char* data, qint64 size)
{
    if (m_fd < 0)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool CPendingFile::CommitAs(const QString& destination)
{
    if (m_path.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(m_path);
    int fd = m_fd;
    m_fd = -1;
    if (fd < 0) // written by someone else under its name
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced || std::rename(path.constData(), QFile::encodeName(destination).constData()) != 0)
        return false;
    m_path.clear();
    return true;
}

void CPendingFile::Close()
{
    CloseDescriptor();
}

void CPendingFile::Discard()
{
    CloseDescriptor();
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}

void CPendingFile::CloseDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
