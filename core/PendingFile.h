#pragma once

#include <QByteArray>
#include <QString>

// A new file of our own naming in a folder, meant to take another file's place once it is complete:
// it is written (or filled by someone else under its name), flushed to the disk and renamed over its
// destination in one step, so that nobody ever sees the destination half written. Until then the
// destination is not touched, and a pending file that is dropped is removed.
//
// The name starts with a dot and ends in ".part", so it never matches the names the program looks for.
class CPendingFile
{
public:
    CPendingFile() = default;
    ~CPendingFile();

    CPendingFile(const CPendingFile&) = delete;
    CPendingFile& operator=(const CPendingFile&) = delete;

    // Creates the file in folder (ending in a separator); false when it cannot be made.
    bool Create(const QString& folder);
    QString Path() const { return m_path; }
    // The name without its folder.
    QString FileName() const;

    // Appends bytes; false when they cannot all be written.
    bool Write(const char* data, qint64 size);
    // Closes the file, keeping it, for a writer that replaces it by its name.
    void Close();
    // Flushes the file to the disk and renames it to destination, replacing what is there. False, with
    // the destination untouched, when that fails.
    bool CommitAs(const QString& destination);
    // Removes the file now.
    void Discard();

private:
    void CloseDescriptor();

    QString m_path; // empty once committed or discarded
    int m_fd = -1;
};
