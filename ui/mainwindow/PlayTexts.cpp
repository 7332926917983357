#include "ui/mainwindow/PlayTexts.h"

#include "core/CodePage.h"

#include <QRegularExpression>
#include <cmath>

namespace
{

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;
constexpr int64_t kMonth = 2592000;
constexpr int kShortcutBytes = 4000;

QString TwoDigits(int64_t value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString FormatElapsedTime(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    if (seconds < kHour)
        return TwoDigits(seconds / 60) + u':' + TwoDigits(seconds % 60);
    if (seconds < kDay)
        return TwoDigits(seconds / kHour) + u':' + TwoDigits(seconds % kHour / 60);
    if (seconds < kMonth)
        return QString::number(seconds / kDay) + u':' + TwoDigits(seconds % kDay / kHour);
    return QString::number(seconds / kDay);
}

int RoundBufferPercent(int percent)
{
    return int(std::trunc(percent * 0.1 + 0.5)) * 10;
}

QString UrlFromShortcut(const QByteArray& bytes)
{
    const QString text = DecodeAnsi(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), kShortcutBytes)));
    const qsizetype start = text.indexOf(QStringLiteral("URL="));
    if (start < 0)
        return QString();
    QString url = text.mid(start + 4);
    const qsizetype end = url.indexOf(QRegularExpression(QStringLiteral("[\\r\\n]")));
    if (end >= 0)
        url.truncate(end);
    return url;
}

QString StreamFormatText(const QString& format, int bitrateKbps)
{
    if (format.isEmpty() || bitrateKbps <= 0)
        return format;
    return format + QStringLiteral(", %1 kbps").arg(bitrateKbps);
}
