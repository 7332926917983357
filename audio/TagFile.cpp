#include "audio/TagFile.h"

#include "core/CodePage.h"
#include "core/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr int kTitleOffset = 3;
constexpr int kArtistOffset = 33;
constexpr int kAlbumOffset = 63;
constexpr int kYearOffset = 93;
constexpr int kCommentOffset = 97;
constexpr int kTextWidth = 30;
constexpr int kYearWidth = 4;
constexpr int kCommentWidth = 28;

bool WriteAll(int fd, const uint8_t* data, size_t count, off_t position)
{
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, data, count, position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        count -= size_t(n);
        position += n;
    }
    return true;
}

bool ReadAll(int fd, uint8_t* data, size_t count, off_t position)
{
    while (count > 0) {
        const ssize_t n = ::pread(fd, data, count, position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true; // the rest of the block stays zero
        data += n;
        count -= size_t(n);
        position += n;
    }
    return true;
}

} // namespace

CTagFile::CTagFile() = default;

CTagFile::~CTagFile()
{
    Close();
}

int CTagFile::Open(const QString& path)
{
    Close();
    const QByteArray name = QFile::encodeName(path);
    int flags = -1;
    if (::access(name.constData(), R_OK | W_OK) == 0)
        flags = O_RDWR;
    else if (::access(name.constData(), R_OK) == 0)
        flags = O_RDONLY;
    if (flags < 0)
        return -1;
    m_fd = OpenRegularFile(name.constData(), flags);
    if (m_fd < 0)
        return -1;
    const off_t length = ::lseek(m_fd, 0, SEEK_END);
    if (length < 0) {
        CloseQuietly();
        return -1;
    }
    m_fileLength = length;
    m_tagPosition = m_fileLength - kTagSize;
    m_block.fill(0);
    if (m_tagPosition < 0 || !ReadAll(m_fd, m_block.data(), kTagSize, off_t(m_tagPosition))) {
        CloseQuietly();
        return -1;
    }

    if (std::memcmp(m_block.data(), "TAG", 3) == 0) {
        m_title = DecodeField(kTitleOffset, kTextWidth);
        m_artist = DecodeField(kArtistOffset, kTextWidth);
        m_album = DecodeField(kAlbumOffset, kTextWidth);
        m_year = DecodeField(kYearOffset, kYearWidth);
        m_comment = DecodeField(kCommentOffset, kCommentWidth);
    } else {
        m_block.fill(0);
        std::memcpy(m_block.data(), "TAG", 3);
        m_tagPosition = m_fileLength;
    }
    return 0;
}

void CTagFile::Close()
{
    CloseQuietly();
}

void CTagFile::CloseQuietly()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QString CTagFile::DecodeField(int offset, int width) const
{
    const char* field = reinterpret_cast<const char*>(m_block.data()) + offset;
    const qsizetype length = qsizetype(::strnlen(field, size_t(width)));
    return DecodeAnsi(QByteArrayView(field, length));
}

void CTagFile::SetField(int offset, int width, const QString& text)
{
    uint8_t* field = m_block.data() + offset;
    std::memset(field, 0, size_t(width));
    const QByteArray bytes = EncodeAnsi(text);
    std::memcpy(field, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), width)));
}

void CTagFile::SetTitle(const QString& text)
{
    m_title = text;
    SetField(kTitleOffset, kTextWidth, text);
}

void CTagFile::SetArtist(const QString& text)
{
    m_artist = text;
    SetField(kArtistOffset, kTextWidth, text);
}

void CTagFile::SetAlbum(const QString& text)
{
    m_album = text;
    SetField(kAlbumOffset, kTextWidth, text);
}

void CTagFile::SetComment(const QString& text)
{
    m_comment = text;
    SetField(kCommentOffset, kCommentWidth, text);
}

void CTagFile::WriteTag()
{
    if (m_fd < 0)
        return;
    if (!WriteAll(m_fd, m_block.data(), kTagSize, off_t(m_tagPosition)))
        CloseQuietly();
}
