#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <exception>
#include <string>

// A file operation that failed: the cause and the file it concerned.
class CFileException : public std::exception
{
public:
    enum Cause { none, genericException, fileNotFound, badPath, accessDenied, sharingViolation, diskFull, endOfFile };

    CFileException(Cause cause, const QString& fileName);
    const char* what() const noexcept override { return m_what.c_str(); }

    Cause m_cause;
    QString m_strFileName;

    static Cause CauseFromErrno(int error);

private:
    std::string m_what;
};

// A buffered text file whose lines are UTF-8 on disk (never with a byte-order mark).
// There is no text mode on this platform, so the class translates line ends itself:
// every line feed written becomes CR LF, and CR LF read becomes a line feed.
class CStdioFileUTF8
{
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyWrite = 0x0020,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };

    CStdioFileUTF8();
    // Opens the file at once; throws CFileException when that fails.
    CStdioFileUTF8(const QString& fileName, unsigned openFlags);
    virtual ~CStdioFileUTF8();

    CStdioFileUTF8(const CStdioFileUTF8&) = delete;
    CStdioFileUTF8& operator=(const CStdioFileUTF8&) = delete;

    // Returns false and fills error (when given) if the file cannot be opened.
    bool Open(const QString& fileName, unsigned openFlags, CFileException* error = nullptr);
    // Flushes and closes; throws CFileException when buffered data cannot be written.
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    QString GetFilePath() const { return m_fileName; }

    // Writes the text as UTF-8; each line feed becomes CR LF. Throws CFileException (diskFull) on failure.
    virtual void WriteString(const QString& text);
    // Reads one line without its line end. False when the line is empty or the file has ended.
    virtual bool ReadString(QString& line);
    // Reads at most max - 1 bytes, stopping after a line feed (which stays in the text), and decodes
    // them into buffer (at most max units, NUL-terminated). Null at the end of the file.
    virtual char16_t* ReadString(char16_t* buffer, unsigned max);

    void Flush();
    qint64 GetLength() const;

private:
    // Reads up to maxBytes bytes of text, CR LF translated, stopping after a line feed.
    // Returns the number of bytes stored in m_bytes from offset `at`; 0 at the end of the file.
    size_t ReadTextPiece(size_t maxBytes, size_t at);
    [[noreturn]] void ThrowReadError();

    FILE* m_file = nullptr;
    QString m_fileName;
    QByteArray m_bytes; // UTF-8 side of the line being read or written
    QString m_text; // UTF-16 side of the line being read
};
