#include "core/StdioFileUTF8.h"

#include <QStringDecoder>
#include <cerrno>
#include <cstring>

CFileException::CFileException(Cause cause, const QString& fileName)
    : m_cause(cause)
    , m_strFileName(fileName)
{
    m_what = "file error " + std::to_string(int(cause)) + ": " + fileName.toStdString();
}

CFileException::Cause CFileException::CauseFromErrno(int error)
{
    switch (error) {
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return badPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return accessDenied;
    case ETXTBSY:
    case EBUSY:
        return sharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return diskFull;
    default:
        return genericException;
    }
}

CStdioFileUTF8::CStdioFileUTF8() = default;

CStdioFileUTF8::CStdioFileUTF8(const QString& fileName, unsigned openFlags)
{
    CFileException error(CFileException::none, fileName);
    if (!Open(fileName, openFlags, &error))
        throw error;
}

CStdioFileUTF8::~CStdioFileUTF8()
{
    if (m_file)
        std::fclose(m_file);
}

bool CStdioFileUTF8::Open(const QString& fileName, unsigned openFlags, CFileException* error)
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_fileName = fileName;

    const bool write = openFlags & (modeWrite | modeReadWrite);
    const char* mode = "rb";
    if (openFlags & modeReadWrite)
        mode = (openFlags & modeCreate) && !(openFlags & modeNoTruncate) ? "w+b" : "r+b";
    else if (write)
        mode = (openFlags & modeNoTruncate) ? "ab" : "wb";

    const QByteArray path = fileName.toLocal8Bit();
    m_file = std::fopen(path.constData(), mode);
    if (!m_file && (openFlags & modeNoTruncate) && (openFlags & modeCreate) && errno == ENOENT)
        m_file = std::fopen(path.constData(), (openFlags & modeReadWrite) ? "w+b" : "wb");
    if (!m_file) {
        if (error)
            *error = CFileException(CFileException::CauseFromErrno(errno), fileName);
        return false;
    }
    return true;
}

void CStdioFileUTF8::Close()
{
    if (!m_file)
        return;
    FILE* file = m_file;
    m_file = nullptr;
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed)
        throw CFileException(CFileException::CauseFromErrno(flushed ? errno : flushError), m_fileName);
}

void CStdioFileUTF8::WriteString(const QString& text)
{
    if (!m_file)
        throw CFileException(CFileException::genericException, m_fileName);
    const QByteArray utf8 = text.toUtf8();
    m_bytes.clear();
    m_bytes.reserve(utf8.size() + utf8.count('\n'));
    for (char c : utf8) {
        if (c == '\n')
            m_bytes.append('\r');
        m_bytes.append(c);
    }
    if (std::fwrite(m_bytes.constData(), 1, size_t(m_bytes.size()), m_file) != size_t(m_bytes.size())) {
        std::clearerr(m_file);
        throw CFileException(CFileException::diskFull, m_fileName);
    }
}

void CStdioFileUTF8::Flush()
{
    if (m_file && std::fflush(m_file) != 0) {
        std::clearerr(m_file);
        throw CFileException(CFileException::diskFull, m_fileName);
    }
}

qint64 CStdioFileUTF8::GetLength() const
{
    if (!m_file)
        return 0;
    std::fflush(m_file);
    const long here = std::ftell(m_file);
    std::fseek(m_file, 0, SEEK_END);
    const long length = std::ftell(m_file);
    std::fseek(m_file, here, SEEK_SET);
    return length;
}

void CStdioFileUTF8::ThrowReadError()
{
    std::clearerr(m_file);
    throw CFileException(CFileException::genericException, m_fileName);
}

size_t CStdioFileUTF8::ReadTextPiece(size_t maxBytes, size_t at)
{
    if (size_t(m_bytes.size()) < at + maxBytes)
        m_bytes.resize(qsizetype(at + maxBytes));
    char* out = m_bytes.data() + at;
    size_t n = 0;
    while (n < maxBytes) {
        int c = getc_unlocked(m_file);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int next = getc_unlocked(m_file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                ungetc(next, m_file);
        }
        out[n++] = char(c);
        if (c == '\n')
            break;
    }
    if (n == 0 && std::ferror(m_file))
        ThrowReadError();
    return n;
}

bool CStdioFileUTF8::ReadString(QString& line)
{
    line.clear();
    if (!m_file)
        return false;
    constexpr size_t pieceSize = 1023;
    size_t length = 0;
    for (;;) {
        const size_t n = ReadTextPiece(pieceSize, length);
        length += n;
        if (n == 0 || m_bytes[qsizetype(length - 1)] == '\n')
            break;
        if (std::ferror(m_file))
            ThrowReadError();
    }
    line = QString::fromUtf8(m_bytes.constData(), qsizetype(length));
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    return !line.isEmpty();
}

char16_t* CStdioFileUTF8::ReadString(char16_t* buffer, unsigned max)
{
    if (!m_file || !buffer || max == 0)
        return nullptr;
    const size_t n = max > 1 ? ReadTextPiece(max - 1, 0) : 0;
    if (n == 0) {
        buffer[0] = u'\0';
        return nullptr;
    }
    m_text = QString::fromUtf8(m_bytes.constData(), qsizetype(n));
    const qsizetype units = std::min<qsizetype>(m_text.size(), qsizetype(max) - 1);
    std::memcpy(buffer, m_text.utf16(), size_t(units) * sizeof(char16_t));
    buffer[units] = u'\0';
    return buffer;
}
