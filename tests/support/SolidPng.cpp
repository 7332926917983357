#include "tests/support/SolidPng.h"

#include <QFile>
#include <QtEndian>

#include <vector>
#include <zlib.h>

namespace testing_support
{

namespace
{

void AppendChunk(QByteArray& png, const char* type, const QByteArray& data)
{
    char length[4];
    qToBigEndian<quint32>(quint32(data.size()), length);
    png.append(length, 4);
    const QByteArray body = QByteArray(type, 4) + data;
    png.append(body);
    char crc[4];
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))), crc);
    png.append(crc, 4);
}

} // namespace

QByteArray SolidPng(int width, int height, uint32_t argb)
{
    if (width <= 0 || height <= 0)
        return QByteArray();
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
    AppendChunk(png, "IHDR", header);

    // Every row: filter type 0, then the pixels.
    std::vector<unsigned char> row(size_t(width) * 4 + 1);
    for (int x = 0; x < width; ++x) {
        row[1 + size_t(x) * 4] = static_cast<unsigned char>(argb >> 16);
        row[2 + size_t(x) * 4] = static_cast<unsigned char>(argb >> 8);
        row[3 + size_t(x) * 4] = static_cast<unsigned char>(argb);
        row[4 + size_t(x) * 4] = static_cast<unsigned char>(argb >> 24);
    }
    z_stream stream {};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return QByteArray();
    QByteArray compressed;
    std::vector<unsigned char> out(1 << 16);
    for (int y = 0; y < height; ++y) {
        stream.next_in = row.data();
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            stream.next_out = out.data();
            stream.avail_out = uInt(out.size());
            result = deflate(&stream, flush);
            compressed.append(reinterpret_cast<const char*>(out.data()), qsizetype(out.size() - stream.avail_out));
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }
    deflateEnd(&stream);
    constexpr qsizetype kChunk = 1 << 20;
    for (qsizetype at = 0; at < compressed.size(); at += kChunk)
        AppendChunk(png, "IDAT", compressed.mid(at, kChunk));
    AppendChunk(png, "IEND", QByteArray());
    return png;
}

bool WriteSolidPng(const QString& path, int width, int height, uint32_t argb)
{
    const QByteArray png = SolidPng(width, height, argb);
    QFile file(path);
    return !png.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(png) == png.size();
}

} // namespace testing_support
