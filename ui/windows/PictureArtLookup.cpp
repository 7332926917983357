#include "ui/windows/PictureArtLookup.h"

#include "core/CodePage.h"
#include "core/HttpClient.h"
#include "core/SeException.h"
#include "core/ServerHosts.h"
#include "core/Updater.h"
#include "core/WorkerGroup.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <utility>

namespace
{

constexpr QByteArrayView kResultsMarker = "id=ires";
constexpr QByteArrayView kPictureMarker = "target=_blank><img src=";
constexpr QByteArrayView kPictureEnd = " width=";
constexpr qsizetype kMaxPictureUrl = 2000;

// Lookups wait behind each other, so no transfer may take long.
constexpr CHttpClient::Timeouts kTimeouts { 10000, 10000, 15000 };

bool IsPictureFormat(const QByteArray& format)
{
    static const QByteArray formats[] = { "png", "jpeg", "jpg", "gif", "bmp", "webp" };
    for (const QByteArray& known : formats)
        if (format == known)
            return true;
    return false;
}

} // namespace

CPictureArtLookup::CPictureArtLookup(QObject* owner, int message)
    : m_owner(owner)
    , m_message(message)
{
}

CPictureArtLookup::~CPictureArtLookup()
{
    Stop();
}

uint64_t CPictureArtLookup::Request(const QString& title)
{
    return Request(title, Display());
}

uint64_t CPictureArtLookup::Request(const QString& title, const Display& display)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return 0;
    m_pending = Job { ++m_lastTicket, title, display };
    if (!m_worker.joinable()) {
        try {
            m_worker = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            m_pending.reset();
            return 0;
        }
    }
    m_wake.notify_all();
    return m_lastTicket;
}

void CPictureArtLookup::DropPending()
{
    std::lock_guard lock(m_mutex);
    m_pending.reset();
}

std::vector<CPictureArtLookup::Result> CPictureArtLookup::TakeResults()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_results, {});
}

void CPictureArtLookup::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_pending.reset();
        m_results.clear();
        m_cancel = true;
        m_wake.notify_all();
    }
    if (m_worker.joinable())
        m_worker.join();
}

void CPictureArtLookup::SetMinimumGap(std::chrono::milliseconds gap)
{
    std::lock_guard lock(m_mutex);
    m_gap = gap;
}

void CPictureArtLookup::Run()
{
    InstallSeTranslator();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_pending; });
        if (m_stopping)
            return;
        if (m_lastEnd && m_wake.wait_until(lock, *m_lastEnd + m_gap, [this] { return m_stopping; }))
            return;
        // The title may have been replaced or dropped while waiting.
        if (!m_pending)
            continue;
        const Job job = *m_pending;
        m_pending.reset();
        lock.unlock();

        std::optional<Result> result;
        try {
            result = LookUp(job);
        } catch (CSeException* e) {
            e->Log("PictureArtDlg", 120);
            e->Delete();
        } catch (...) {
        }

        lock.lock();
        m_lastEnd = std::chrono::steady_clock::now();
        if (m_stopping)
            return;
        if (result) {
            m_results.push_back(std::move(*result));
            PostWindowMessageWhenAlive(m_owner, m_message);
        }
    }
}

CPictureArtLookup::Result CPictureArtLookup::LookUp(const Job& job)
{
    Result result;
    result.ticket = job.ticket;
    result.title = job.title;
    result.searchUrl = SearchPageUrl(job.title);
    const QString pictureUrl = FindPictureUrl(Fetch(result.searchUrl, kPageLimit, CHttpClient::Reach::Anywhere));
    if (pictureUrl.isEmpty() || m_cancel)
        return result;
    // The page is anybody's to write: its picture is fetched over https from a public address only.
    // One on the image host itself is as trusted as the page (tests point the host at loopback).
    const QImage picture = DecodePicture(Fetch(pictureUrl, kPictureLimit, CHttpClient::Reach::PublicHttps));
    if (!picture.isNull() && !m_cancel)
        result.picture = FitPicture(picture, job.display);
    return result;
}

// Whatever arrived before a failure counts, as with any interrupted download.
QByteArray CPictureArtLookup::Fetch(const QString& url, qint64 limit, CHttpClient::Reach reach)
{
    QByteArray body;
    try {
        CHttpClient::Request request;
        request.url = url;
        request.reach = reach;
        request.trustedOrigin = GetImageHost();
        request.agent = "IE7";
        request.maxBytes = limit;
        request.noCache = true;
        request.timeouts = kTimeouts;
        request.cancel = &m_cancel;
        CHttpClient::Get(request, body);
    } catch (...) {
    }
    return body;
}

QString CPictureArtLookup::SearchPageUrl(const QString& title)
{
    return GetImageHost() + QStringLiteral("/images?q=") + CUpdater::EscapeSegment(title);
}

QString CPictureArtLookup::FindPictureUrl(const QByteArray& page)
{
    const qsizetype nul = page.indexOf('\0');
    const QByteArrayView text = nul < 0 ? QByteArrayView(page) : QByteArrayView(page).first(nul);
    const qsizetype results = text.indexOf(kResultsMarker);
    if (results < 0)
        return QString();
    qsizetype start = text.indexOf(kPictureMarker, results + kResultsMarker.size());
    if (start < 0)
        return QString();
    start += kPictureMarker.size();
    const qsizetype end = text.indexOf(kPictureEnd, start);
    if (end < 0)
        return QString();
    return DecodeAnsi(text.sliced(start, end - start)).left(kMaxPictureUrl);
}

QImage CPictureArtLookup::DecodePicture(const QByteArray& bytes)
{
    QByteArray data = bytes;
    QBuffer buffer(&data);
    if (data.isEmpty() || !buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!IsPictureFormat(reader.format().toLower()))
        return QImage();
    // The size comes from the header; nothing larger than allowed is ever allocated.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || size.width() > kMaxPictureSide || size.height() > kMaxPictureSide
        || qint64(size.width()) * size.height() * 4 > qint64(kMaxPictureMiB) * 1024 * 1024)
        return QImage();
    QImage picture;
    if (!reader.read(&picture) || picture.size() != size)
        return QImage();
    return picture;
}

QImage CPictureArtLookup::FitPicture(const QImage& picture, const Display& display)
{
    if (picture.isNull())
        return QImage();
    const qreal ratio = display.pixelRatio > 0 ? display.pixelRatio : 1.0;
    QSize shown = picture.size();
    if (display.area.isValid() && (shown.width() > display.area.width() || shown.height() > display.area.height()))
        shown.scale(display.area, Qt::KeepAspectRatio);
    shown = shown.expandedTo(QSize(1, 1));
    const QSize device(std::max(qRound(shown.width() * ratio), 1), std::max(qRound(shown.height() * ratio), 1));
    // In the format the window's painter draws without converting.
    const QImage::Format format
        = picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage fitted = device == picture.size()
        ? picture.convertToFormat(format)
        : picture.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(format);
    fitted.setDevicePixelRatio(ratio);
    return fitted;
}
