#include "tests/support/ScratchMount.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testing_support
{

ScratchMount::ScratchMount(const QString& folder, qint64 sizeBytes)
    : m_folder(folder)
{
    if (::geteuid() != 0 || !QDir().mkpath(folder))
        return;
    const QByteArray options = "size=" + QByteArray::number(sizeBytes) + ",mode=0755";
    m_mounted
        = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData())
        == 0;
}

ScratchMount::~ScratchMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool ScratchMount::MakeReadOnly()
{
    return m_mounted
        && ::mount("tmpfs", QFile::encodeName(m_folder).constData(), nullptr,
               MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr)
        == 0;
}

bool ScratchMount::Fill(const QString& name)
{
    if (!m_mounted)
        return false;
    const int fd = ::open(QFile::encodeName(m_folder + QLatin1Char('/') + name).constData(),
        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'f');
    ssize_t written = 0;
    do {
        written = ::write(fd, block.constData(), size_t(block.size()));
    } while (written > 0 || (written < 0 && errno == EINTR));
    const bool full = written < 0 && errno == ENOSPC;
    ::close(fd);
    return full;
}

} // namespace testing_support
