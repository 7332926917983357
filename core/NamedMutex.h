#pragma once

#include <QString>

// A lock shared by every process of the user, named like a system-wide mutex: an exclusive flock on the
// file "<name>.lock" in a folder only the user can enter: $XDG_RUNTIME_DIR when it is such a folder, else
// /tmp/kavrilune-locks-<uid> (created with mode 0700). The file is opened without following a link and
// used only when it is a regular file of the user. Each object holds its own open file, so two objects of
// one process exclude each other as well. The kernel frees the lock when the holder dies. Used from one
// thread at a time.
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

    // Path of the lock file behind name; empty when there is no safe folder for it.
    static QString LockFilePath(const QString& name);
    // Tests keep their lock files in a folder of their own; an empty text restores the default.
    static void SetFolderOverride(const QString& folder);

    // True for a folder (not a link to one) that belongs to this user and that no one else may enter.
    static bool IsPrivateFolder(const QString& path);
    // The folder itself when it is private; else creates it (mode 0700) when missing and returns it when
    // it is private then; empty otherwise.
    static QString MakePrivateFolder(const QString& path);
    // Opens a lock file, creating it (mode 0600) when missing, without following a link; -1 unless it
    // is a regular file that belongs to this user. The descriptor is closed on exec.
    static int OpenLockFile(const QString& path);

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
};
