#include "tests/support/NamedPipe.h"

#include <QFile>

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support
{

NamedPipe::NamedPipe(const QString& path, int releaseAfterMs)
    : m_path(path)
{
    const QByteArray native = QFile::encodeName(path);
    m_made = ::mkfifo(native.constData(), 0600) == 0;
    if (!m_made)
        return;
    m_releaser = std::thread([this, native, releaseAfterMs] {
        const auto start = std::chrono::steady_clock::now();
        while (!m_done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(releaseAfterMs))
                continue;
            // Succeeds only while someone has the pipe open for reading, and ends that reader's wait.
            const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
        }
    });
}

NamedPipe::~NamedPipe()
{
    m_done = true;
    if (m_releaser.joinable())
        m_releaser.join();
    if (m_made)
        QFile::remove(m_path);
}

} // namespace testing_support
