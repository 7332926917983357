#include "core/HttpClient.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

std::mutex timeoutsMutex;
CHttpClient::Timeouts defaultTimeouts; // guarded by timeoutsMutex

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// State of one transfer, shared with libcurl's callbacks (all on the calling thread).
struct Transfer {
    const CHttpClient::Request& request;
    const CHttpClient::Sink& sink;
    qint64 delivered = 0;
    bool limitReached = false;
    bool sinkRefused = false;
    bool stalled = false;
    bool cancelled = false;
    Clock::time_point burstStart = Clock::now();
    Clock::time_point lastByte = Clock::now();

    bool CancelRequested() const { return request.cancel && request.cancel->load(); }

    // Waits ms milliseconds unless cancelled meanwhile; false when cancelled.
    bool Pause(int ms)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            if (CancelRequested())
                return false;
            std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(50)));
        }
        return true;
    }
};

size_t WriteBody(char* data, size_t size, size_t count, void* context)
{
    auto& transfer = *static_cast<Transfer*>(context);
    const size_t total = size * count;
    qint64 take = qint64(total);
    if (transfer.request.maxBytes >= 0 && transfer.delivered + take > transfer.request.maxBytes) {
        take = transfer.request.maxBytes - transfer.delivered;
        transfer.limitReached = true;
    }
    if (take > 0) {
        if (!transfer.sink(data, take)) {
            transfer.sinkRefused = true;
            return 0;
        }
        transfer.delivered += take;
    }
    if (transfer.limitReached)
        return 0; // ends the transfer; reported as success below

    const auto now = Clock::now();
    transfer.lastByte = now;
    if (transfer.request.burstMs > 0
        && now - transfer.burstStart >= std::chrono::milliseconds(transfer.request.burstMs)) {
        if (total > 0 && transfer.request.pauseMs > 0 && !transfer.Pause(transfer.request.pauseMs)) {
            transfer.cancelled = true;
            return 0;
        }
        transfer.burstStart = transfer.lastByte = Clock::now();
    }
    return total;
}

// Called by libcurl at least once a second, also while nothing moves.
int CheckProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& transfer = *static_cast<Transfer*>(context);
    if (transfer.CancelRequested()) {
        transfer.cancelled = true;
        return 1;
    }
    const int stallMs = transfer.request.timeouts.stallMs;
    if (stallMs > 0 && Clock::now() - transfer.lastByte > std::chrono::milliseconds(stallMs)) {
        transfer.stalled = true;
        return 1;
    }
    return 0;
}

// Headers are sent at the first byte; the stall clock starts when the response begins.
size_t ReadHeader(char*, size_t size, size_t count, void* context)
{
    static_cast<Transfer*>(context)->lastByte = Clock::now();
    return size * count;
}

} // namespace

CHttpClient::Result CHttpClient::Get(const Request& request, const Sink& sink)
{
    InitCurlOnce();
    Result result;
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("cannot create a transfer");
        return result;
    }

    Transfer transfer { request, sink };
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toUtf8();
    curl_slist* headers = nullptr;
    for (const QByteArray& line : request.headers)
        headers = curl_slist_append(headers, line.constData());
    if (request.noCache) {
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
    }

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    if (!request.agent.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERAGENT, request.agent.constData());
    if (headers)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (request.blockSize > 0)
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, long(request.blockSize));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(request.timeouts.connectMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(request.timeouts.totalMs));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    transfer.burstStart = transfer.lastByte = Clock::now();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    result.bytes = transfer.delivered;
    result.cancelled = transfer.cancelled;
    result.ok = code == CURLE_OK || (code == CURLE_WRITE_ERROR && transfer.limitReached);
    if (!result.ok) {
        if (transfer.cancelled)
            result.error = QStringLiteral("cancelled");
        else if (transfer.stalled)
            result.error = QStringLiteral("no data from the server for %1 ms").arg(request.timeouts.stallMs);
        else if (transfer.sinkRefused)
            result.error = QStringLiteral("the received data could not be stored");
        else
            result.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
    }
    return result;
}

CHttpClient::Result CHttpClient::Get(const Request& request, QByteArray& body)
{
    body.clear();
    return Get(request, [&body](const char* data, qint64 size) {
        body.append(data, size);
        return true;
    });
}

CHttpClient::Timeouts CHttpClient::DefaultTimeouts()
{
    std::lock_guard lock(timeoutsMutex);
    return defaultTimeouts;
}

void CHttpClient::SetDefaultTimeouts(const Timeouts& timeouts)
{
    std::lock_guard lock(timeoutsMutex);
    defaultTimeouts = timeouts;
}
