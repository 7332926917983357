#include "core/CodePage.h"

#include <QList>
#include <QStringDecoder>

namespace
{

// Code points of the bytes 0x80..0x9F; 0 marks a byte the code page leaves undefined.
// clang-format off
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
// clang-format on

char16_t FromAnsi(uint8_t byte)
{
    if (byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80])
        return kHighControls[byte - 0x80];
    return char16_t(byte);
}

char ToAnsi(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c || (kHighControls[i] == 0 && c == char32_t(0x80 + i)))
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

QString DecodeAnsi(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = FromAnsi(uint8_t(bytes[i]));
    return text;
}

QByteArray EncodeAnsi(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (char32_t c : text.toUcs4())
        bytes.append(ToAnsi(c));
    return bytes;
}

QString DecodeUtf8OrAnsi(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? DecodeAnsi(bytes) : text;
}
