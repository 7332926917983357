#include "core/CharUpper.h"

QString CharUpper(QStringView text)
{
    QString result;
    CharUpperInto(text, result);
    return result;
}

void CharUpperInto(QStringView text, QString& out)
{
    const qsizetype n = text.size();
    out.resize(n);
    const char16_t* in = text.utf16();
    QChar* dst = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (in[i] < 0x80) {
            dst[i] = QChar(in[i] >= u'a' && in[i] <= u'z' ? char16_t(in[i] - (u'a' - u'A')) : in[i]);
        } else if (QChar::isHighSurrogate(in[i]) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(in[i], in[i + 1]));
            dst[i] = QChar(QChar::highSurrogate(upper));
            dst[i + 1] = QChar(QChar::lowSurrogate(upper));
            ++i;
        } else {
            dst[i] = QChar(char16_t(QChar::toUpper(char32_t(in[i]))));
        }
    }
}
