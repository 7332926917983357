#include "tests/support/TestZipWriter.h"

#include <QFile>
#include <minizip/zip.h>
#include <vector>
#include <zlib.h>

namespace testing_support
{

namespace
{

zip_fileinfo FileInfoOf(const QDateTime& modified, uint32_t externalAttributes)
{
    zip_fileinfo info {};
    const QDate date = modified.date();
    const QTime time = modified.time();
    const uLong dosDate = uLong(((date.year() - 1980) << 9) | (date.month() << 5) | date.day());
    const uLong dosTime = uLong((time.hour() << 11) | (time.minute() << 5) | (time.second() / 2));
    info.dosDate = (dosDate << 16) | dosTime;
    info.external_fa = externalAttributes;
    return info;
}

void AppendLe16(QByteArray& out, unsigned value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void AppendLe32(QByteArray& out, int32_t value)
{
    const auto bits = uint32_t(value);
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((bits >> shift) & 0xFF));
}

QByteArray TimestampBlock(const TestZipItem& item, bool centralCopy)
{
    const std::optional<int32_t> times[] = { item.extendedModified, item.extendedAccessed, item.extendedCreated };
    unsigned flags = 0;
    QByteArray data;
    for (unsigned bit = 0; bit < 3; ++bit) {
        if (!times[bit])
            continue;
        flags |= 1u << bit;
        if (!centralCopy || bit == 0) // the central copy holds the modification time only
            AppendLe32(data, *times[bit]);
    }
    if (flags == 0)
        return {};
    QByteArray block;
    AppendLe16(block, 0x5455);
    AppendLe16(block, unsigned(data.size() + 1));
    block.append(char(flags));
    return block + data;
}

// Raw deflate of the whole buffer.
QByteArray Deflate(const QByteArray& data)
{
    z_stream stream {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// Traditional zip encryption: a 12-byte header ending in the checksum's high byte, then the data.
QByteArray Encrypt(const char* password, const QByteArray& data, uint32_t crc)
{
    const z_crc_t* table = get_crc_table();
    auto crcByte
        = [table](uint32_t value, uint8_t byte) { return uint32_t(table[(value ^ byte) & 0xFF]) ^ (value >> 8); };
    uint32_t keys[3] = { 305419896u, 591751049u, 878082192u };
    auto update = [&](uint8_t plain) {
        keys[0] = crcByte(keys[0], plain);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = crcByte(keys[2], uint8_t(keys[1] >> 24));
    };
    for (const char* p = password; *p; ++p)
        update(uint8_t(*p));
    QByteArray plain = QByteArray("0123456789") + char(crc >> 16) + char(crc >> 24) + data;
    for (char& c : plain) {
        const uint32_t temp = (keys[2] & 0xFFFF) | 2;
        const auto in = uint8_t(c);
        c = char(in ^ uint8_t((temp * (temp ^ 1)) >> 8));
        update(in);
    }
    return plain;
}

} // namespace

TestZipWriter::TestZipWriter(const QString& path)
{
    m_zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
}

TestZipWriter::~TestZipWriter()
{
    Close();
}

bool TestZipWriter::Add(const TestZipItem& item)
{
    if (!m_zip)
        return false;
    const zip_fileinfo info = FileInfoOf(item.modified, item.externalAttributes);
    const QByteArray local = item.extraLocal + TimestampBlock(item, false);
    const QByteArray central = TimestampBlock(item, true);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(item.data.constData()), uInt(item.data.size()));
    if (item.password) {
        // The system's minizip writes no encryption, so the item is compressed and encrypted here.
        const QByteArray stored = Encrypt(item.password, item.compress ? Deflate(item.data) : item.data, uint32_t(crc));
        if (zipOpenNewFileInZip4_64(m_zip, item.name.constData(), &info, local.isEmpty() ? nullptr : local.constData(),
                uInt(local.size()), central.isEmpty() ? nullptr : central.constData(), uInt(central.size()), nullptr,
                item.compress ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                nullptr, 0, uLong((item.hostSystem << 8) | 20), 1, 0)
                != ZIP_OK
            || zipWriteInFileInZip(m_zip, stored.constData(), unsigned(stored.size())) != ZIP_OK)
            return false;
        return zipCloseFileInZipRaw64(m_zip, uint64_t(item.data.size()), crc) == ZIP_OK;
    }
    if (zipOpenNewFileInZip4_64(m_zip, item.name.constData(), &info, local.isEmpty() ? nullptr : local.constData(),
            uInt(local.size()), central.isEmpty() ? nullptr : central.constData(), uInt(central.size()), nullptr,
            item.compress ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
            nullptr, 0, uLong((item.hostSystem << 8) | 20), 0, 0)
        != ZIP_OK)
        return false;
    if (!item.data.isEmpty() && zipWriteInFileInZip(m_zip, item.data.constData(), unsigned(item.data.size())) != ZIP_OK)
        return false;
    return zipCloseFileInZip(m_zip) == ZIP_OK;
}

bool TestZipWriter::AddZeros(const QByteArray& name, uint64_t size)
{
    if (!m_zip)
        return false;
    const zip_fileinfo info = FileInfoOf(QDateTime::currentDateTime(), 0);
    if (zipOpenNewFileInZip64(m_zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_BEST_SPEED,
            size >= 0xFFFFFFFFu)
        != ZIP_OK)
        return false;
    const std::vector<char> zeros(1 << 20, 0);
    for (uint64_t left = size; left > 0;) {
        const unsigned chunk = unsigned(std::min<uint64_t>(left, zeros.size()));
        if (zipWriteInFileInZip(m_zip, zeros.data(), chunk) != ZIP_OK)
            return false;
        left -= chunk;
    }
    return zipCloseFileInZip(m_zip) == ZIP_OK;
}

bool TestZipWriter::AddLyingZeros(const QByteArray& name, uint64_t realSize, uint64_t declaredSize, uint32_t crc)
{
    if (!m_zip)
        return false;
    const zip_fileinfo info = FileInfoOf(QDateTime::currentDateTime(), 0);
    if (zipOpenNewFileInZip2_64(
            m_zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_BEST_SPEED, 1, 0)
        != ZIP_OK)
        return false;
    z_stream stream {};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    std::vector<Bytef> zeros(1 << 20, 0), out(1 << 16);
    bool ok = true;
    uint64_t left = realSize;
    int flush = Z_NO_FLUSH;
    do {
        if (stream.avail_in == 0 && flush == Z_NO_FLUSH) {
            const auto chunk = uInt(std::min<uint64_t>(left, zeros.size()));
            stream.next_in = zeros.data();
            stream.avail_in = chunk;
            left -= chunk;
            if (left == 0)
                flush = Z_FINISH;
        }
        stream.next_out = out.data();
        stream.avail_out = uInt(out.size());
        const int result = deflate(&stream, flush);
        const auto produced = unsigned(out.size() - stream.avail_out);
        if (produced > 0 && zipWriteInFileInZip(m_zip, out.data(), produced) != ZIP_OK)
            ok = false;
        if (result == Z_STREAM_END)
            break;
        if (result != Z_OK && result != Z_BUF_ERROR)
            ok = false;
    } while (ok);
    deflateEnd(&stream);
    return zipCloseFileInZipRaw64(m_zip, declaredSize, crc) == ZIP_OK && ok;
}

bool TestZipWriter::Close()
{
    if (!m_zip)
        return false;
    const bool ok = zipClose(m_zip, nullptr) == ZIP_OK;
    m_zip = nullptr;
    return ok;
}

bool WriteOneItemZip(const QString& path, const QByteArray& name, const QByteArray& data)
{
    TestZipWriter zip(path);
    TestZipItem item;
    item.name = name;
    item.data = data;
    return zip.Add(item) && zip.Close();
}

} // namespace testing_support
