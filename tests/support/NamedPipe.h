#pragma once

#include <QString>

#include <atomic>
#include <thread>

namespace testing_support
{

// A named pipe, for tests of code that must refuse one without opening it. Code that opens it anyway
// waits for a writer: from releaseAfterMs on, a thread opens and closes the writing end every 50 ms,
// so that such a reader is let go (it reads an empty file) and the test fails instead of hanging.
class NamedPipe
{
public:
    explicit NamedPipe(const QString& path, int releaseAfterMs = 4000);
    ~NamedPipe();

    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    bool IsMade() const { return m_made; }
    QString Path() const { return m_path; }

private:
    QString m_path;
    bool m_made = false;
    std::atomic<bool> m_done { false };
    std::thread m_releaser;
};

} // namespace testing_support
