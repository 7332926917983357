#pragma once

#include <QString>

namespace testing_support
{

// A small tmpfs mounted over a folder for the life of the object, for tests that need a disk that
// fills up or a folder nobody may write to (not even root). Mounting needs root; when it is refused
// IsMounted() is false and the test should skip.
class ScratchMount
{
public:
    ScratchMount(const QString& folder, qint64 sizeBytes);
    ~ScratchMount();

    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool IsMounted() const { return m_mounted; }
    // Remounts read-only, keeping what was written so far.
    bool MakeReadOnly();
    // Fills the file system to its last byte with one file of that name; false when it did not fill.
    bool Fill(const QString& name = QStringLiteral("filler"));
    QString Folder() const { return m_folder; }

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace testing_support
