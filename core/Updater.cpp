#include "core/Updater.h"

#include "core/CodePage.h"
#include "core/FileVersionInfo.h"
#include "core/HttpClient.h"
#include "core/SeException.h"
#include "core/ServerHosts.h"

#include <QUrl>

#include <climits>

namespace
{

const int WM_KAVRILUNE_UPDATER_NEW_VERSION_ = RegisterWindowMessage("WM_KAVRILUNE_UPDATER_NEW_VERSION_");
const int WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_ = RegisterWindowMessage("WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_");

constexpr qint64 kAnswerLimit = 1000; // bytes read of the version file and of the report's answer
constexpr qsizetype kTextLimit = 999; // characters of decoded text, without the terminator
constexpr qsizetype kEscapedLimit = 2083; // characters of the escaped title

QString ReadProductName()
{
    CFileVersionInfo info;
    info.CreateFromModule(nullptr);
    return info.GetProductName();
}

QString ReadProductVersion()
{
    CFileVersionInfo info;
    info.CreateFromModule(nullptr);
    return info.GetProductVersion();
}

bool IsBlankOrLineEnd(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// Leading white space, a sign and digits, like the C library's wtol; 0 without digits, clamped on overflow.
long ToLong(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    long long value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > 2147483648LL)
            value = 2147483648LL;
    }
    if (negative)
        return long(-value < INT_MIN ? INT_MIN : -value);
    return long(value > INT_MAX ? INT_MAX : value);
}

} // namespace

CUpdater::CUpdater()
    : m_productVersion(ReadProductVersion())
    , m_productName(ReadProductName())
    , m_runMutex(QStringLiteral("KAVRILUNE_UPDATE"))
{
}

CUpdater::~CUpdater()
{
    m_workers.CancelAndWait();
}

bool CUpdater::CheckPeriodically(QObject* owner, QDateTime& lastCheck)
{
    try {
        m_owner = owner;
        return RunPeriodicCheck(m_runMutex, lastCheck, m_interval, [this] { StartCheck(); });
    } catch (CSeException* e) {
        e->Log("Updater", 80);
        e->Delete();
        return false;
    }
}

void CUpdater::CheckNow(QObject* owner)
{
    m_owner = owner;
    StartCheck();
}

void CUpdater::StartCheck()
{
    m_workers.Start([this, owner = m_owner] { UpdaterThreadProc(this, owner); });
}

void CUpdater::UpdaterThreadProc(CUpdater* updater, const QPointer<QObject>& owner)
{
    if (owner.isNull())
        return;
    const int message
        = updater->CheckVersion() == 1 ? WM_KAVRILUNE_UPDATER_NEW_VERSION_ : WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_;
    PostWindowMessageWhenAlive(owner, message);
}

int CUpdater::CheckVersion()
{
    try {
        CHttpClient::Request request;
        request.url = GetWebHost() + QStringLiteral("/download/version.xml");
        request.agent = ProgramAgentString();
        request.maxBytes = kAnswerLimit;
        request.cancel = m_workers.CancelFlag();
        QByteArray answer;
        const CHttpClient::Result result = CHttpClient::Get(request, answer);
        // An error page is no version file, whatever it holds.
        if (!result.ok || result.status < 200 || result.status > 299)
            return 0;

        const QString text = DecodeText(answer);
        qsizetype position = 0;
        const QString version
            = ExtractBetween(text, QStringLiteral("<version>"), QStringLiteral("</version>"), position);
        const QString download
            = ExtractBetween(text, QStringLiteral("<download>"), QStringLiteral("</download>"), position);
        {
            QMutexLocker lock(&m_resultMutex);
            m_newVersion = version;
            m_downloadUrl = download;
        }
        if (version.isEmpty())
            return 0;
        return IsNewerVersion(version, m_productVersion) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

QString CUpdater::GetNewVersion() const
{
    QMutexLocker lock(&m_resultMutex);
    return m_newVersion;
}

QString CUpdater::GetDownloadUrl() const
{
    QMutexLocker lock(&m_resultMutex);
    return m_downloadUrl;
}

void CUpdater::CountPlay(const QString& title, const QString& source)
{
    if (!source.contains(QStringLiteral("://")))
        return;
    m_reportTitle = title;
    m_workers.Start([this, title = m_reportTitle] { SendPlayReport(title); });
}

void CUpdater::SendPlayReport(const QString& title)
{
    try {
        const QString escaped = EscapeSegment(StripCredentials(title));
        CHttpClient::Request request;
        request.url
            = GetCounterHost() + QStringLiteral("/swidget/") + QLatin1String(kWidgetId) + QLatin1Char('/') + escaped;
        // No agent of its own: the application's name stands in.
        request.agent = m_productName.toUtf8();
        request.headers.append("Referer: " + (GetWebHost() + QStringLiteral("/stations?title=") + escaped).toUtf8());
        request.maxBytes = kAnswerLimit;
        request.cancel = m_workers.CancelFlag();
        QByteArray answer;
        CHttpClient::Get(request, answer);
    } catch (...) {
    }
}

QString CUpdater::DecodeText(const QByteArray& bytes)
{
    QString text = DecodeUtf8OrAnsi(bytes);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    text.truncate(kTextLimit);
    return text;
}

QString CUpdater::ExtractBetween(
    const QString& text, const QString& openTag, const QString& closeTag, qsizetype& position)
{
    if (position < 0)
        return QString();
    position = text.indexOf(openTag, position);
    if (position < 0)
        return QString();
    const qsizetype valueStart = position + openTag.size();
    position = text.indexOf(closeTag, valueStart);
    if (position < 0)
        return QString();
    QString value = text.mid(valueStart, position - valueStart);
    position += closeTag.size();

    qsizetype first = 0;
    qsizetype last = value.size();
    while (first < last && IsBlankOrLineEnd(value.at(first)))
        ++first;
    while (last > first && IsBlankOrLineEnd(value.at(last - 1)))
        --last;
    value = value.mid(first, last - first);
    value.replace(QLatin1Char('\t'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QStringLiteral("  "), QStringLiteral(" "));
    value.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    value.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    return value;
}

bool CUpdater::IsNewerVersion(const QString& available, const QString& own)
{
    const QStringList availableParts = available.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    const QStringList ownParts = own.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < 4; ++i) {
        const long a = ToLong(availableParts.value(i));
        const long b = ToLong(ownParts.value(i));
        if (a != b)
            return a > b;
    }
    return false;
}

QString CUpdater::StripCredentials(const QString& title)
{
    const qsizetype scheme = title.indexOf(QStringLiteral("://"));
    const qsizetype at = title.indexOf(QLatin1Char('@'));
    if (scheme < 0 || at < scheme + 3)
        return title;
    QString stripped = title;
    stripped.remove(scheme + 3, at - (scheme + 3) + 1);
    return stripped;
}

QString CUpdater::EscapeSegment(const QString& text)
{
    QString escaped = QString::fromLatin1(QUrl::toPercentEncoding(text));
    if (escaped.size() > kEscapedLimit) {
        qsizetype cut = kEscapedLimit;
        // Never split an escape sequence.
        if (escaped.at(cut - 1) == QLatin1Char('%'))
            cut -= 1;
        else if (escaped.at(cut - 2) == QLatin1Char('%'))
            cut -= 2;
        escaped.truncate(cut);
    }
    return escaped;
}
