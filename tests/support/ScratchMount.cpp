#include "tests/support/ScratchMount.h"

#include <QDir>
#include <QFile>

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

} // namespace testing_support
