#include "core/ZipItemReader.h"

namespace
{

constexpr int kEncryptionHeaderSize = 12;
constexpr size_t kInputBlockSize = 16384;

uint32_t CrcByte(uint32_t crc, uint8_t byte)
{
    static const z_crc_t* table = get_crc_table();
    return uint32_t(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

} // namespace

CZipItemReader::Decryptor::Decryptor(const QByteArray& password)
    : m_keys { 305419896u, 591751049u, 878082192u }
{
    for (const char c : password)
        Update(uint8_t(c));
}

uint8_t CZipItemReader::Decryptor::Decrypt(uint8_t cipher)
{
    const uint32_t temp = (m_keys[2] & 0xFFFF) | 2;
    const auto plain = uint8_t(cipher ^ uint8_t((temp * (temp ^ 1)) >> 8));
    Update(plain);
    return plain;
}

void CZipItemReader::Decryptor::Update(uint8_t plain)
{
    m_keys[0] = CrcByte(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
    m_keys[2] = CrcByte(m_keys[2], uint8_t(m_keys[1] >> 24));
}

CZipItemReader::CZipItemReader(unzFile archive, const unz_file_info64& info)
    : m_archive(archive)
    , m_info(info)
    , m_encrypted(info.flag & 1)
{
}

CZipItemReader::~CZipItemReader()
{
    if (m_inflating)
        inflateEnd(&m_stream);
    if (m_open)
        unzCloseCurrentFile(m_archive);
}

CZipItemReader::OpenResult CZipItemReader::Open(const QByteArray* password)
{
    if (!m_encrypted) {
        m_open = unzOpenCurrentFile(m_archive) == UNZ_OK;
        return m_open ? OpenResult::ok : OpenResult::badHeader;
    }
    if (!password)
        return OpenResult::wrongPassword;
    // Raw mode hands over the stored bytes: the encryption header, then the encrypted data.
    m_open = unzOpenCurrentFile2(m_archive, nullptr, nullptr, 1) == UNZ_OK;
    if (!m_open)
        return OpenResult::badHeader;
    m_decryptor.emplace(*password);
    char header[kEncryptionHeaderSize];
    if (ReadRaw(header, kEncryptionHeaderSize) != kEncryptionHeaderSize)
        return OpenResult::badHeader;
    // The last header byte repeats the checksum's high byte, or the time's when sizes follow the data.
    const auto check = uint8_t(header[kEncryptionHeaderSize - 1]);
    const auto expected = uint8_t((m_info.flag & 8) ? (m_info.dosDate >> 8) : (m_info.crc >> 24));
    if (check != expected)
        return OpenResult::wrongPassword;
    if (m_info.compression_method == Z_DEFLATED) {
        if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK)
            return OpenResult::badHeader;
        m_inflating = true;
        m_input.resize(kInputBlockSize);
    }
    m_crc = crc32(0, nullptr, 0);
    return OpenResult::ok;
}

int CZipItemReader::ReadRaw(char* out, unsigned size)
{
    unsigned done = 0;
    while (done < size) {
        const int got = unzReadCurrentFile(m_archive, out + done, size - done);
        if (got < 0)
            return got;
        if (got == 0)
            break;
        done += unsigned(got);
    }
    for (unsigned i = 0; i < done; ++i)
        out[i] = char(m_decryptor->Decrypt(uint8_t(out[i])));
    return int(done);
}

int CZipItemReader::ReadInflated(char* out, unsigned size)
{
    m_stream.next_out = reinterpret_cast<Bytef*>(out);
    m_stream.avail_out = size;
    while (m_stream.avail_out == size && !m_streamEnded) {
        if (m_stream.avail_in == 0 && !m_rawEnded) {
            const int got = ReadRaw(m_input.data(), unsigned(m_input.size()));
            if (got < 0)
                return got;
            m_rawEnded = got == 0;
            m_stream.next_in = reinterpret_cast<Bytef*>(m_input.data());
            m_stream.avail_in = unsigned(got);
        }
        if (m_stream.avail_in == 0 && m_rawEnded)
            break; // the data ended before the stream did; the caller sees too few bytes
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            m_streamEnded = true;
        else if (result != Z_OK && result != Z_BUF_ERROR)
            return -1;
    }
    return int(size - m_stream.avail_out);
}

int CZipItemReader::Read(char* out, unsigned size)
{
    if (!m_open)
        return -1;
    if (!m_encrypted)
        return unzReadCurrentFile(m_archive, out, size);
    const int got = m_inflating ? ReadInflated(out, size) : ReadRaw(out, size);
    if (got > 0)
        m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(out), unsigned(got));
    return got;
}

bool CZipItemReader::Finish()
{
    if (!m_open)
        return false;
    m_open = false;
    // minizip checks the checksum of the items it decompresses itself.
    const bool closed = unzCloseCurrentFile(m_archive) == UNZ_OK;
    return m_encrypted ? closed && m_crc == m_info.crc : closed;
}
