#pragma once

#include <QString>

// A lock shared by every process of the user, named like a system-wide mutex: an exclusive flock on the
// file "<name>.lock" in $XDG_RUNTIME_DIR (or "<name>-<uid>.lock" in /tmp). Each object holds its own
// open file, so two objects of one process exclude each other as well. The kernel frees the lock when the
// holder dies. Used from one thread at a time.
class CNamedMutex
{
public:
    explicit CNamedMutex(const QString& name);
    ~CNamedMutex();

    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    // Takes the lock without waiting; false when another holder has it or the lock file cannot be opened.
    bool TryLock();
    void Unlock();

    // Path of the lock file behind name.
    static QString LockFilePath(const QString& name);
    // Tests keep their lock files in a folder of their own; an empty text restores the default.
    static void SetFolderOverride(const QString& folder);

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
};
