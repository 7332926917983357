#include "core/HttpClient.h"

#include <curl/curl.h>

#include <chrono>
#include <exception>
#include <memory>
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
    bool tooLarge = false;
    bool sinkRefused = false;
    bool stalled = false;
    bool cancelled = false;
    std::exception_ptr failure = nullptr; // thrown inside a callback; thrown on after the transfer is cleaned up
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

// libcurl is C: no exception may unwind through it. Every callback runs its work through this, which
// keeps what was thrown for the caller and answers libcurl with the value that aborts the transfer.
template <typename Result, typename Work> Result Guarded(Transfer& transfer, Result abortValue, Work work)
{
    try {
        return work();
    } catch (...) {
        transfer.failure = std::current_exception();
        return abortValue;
    }
}

size_t ReceiveBody(Transfer& transfer, const char* data, size_t total)
{
    const CHttpClient::Request& request = transfer.request;
    if (request.sizeLimit >= 0 && transfer.delivered + qint64(total) > request.sizeLimit) {
        transfer.tooLarge = true;
        return 0;
    }
    qint64 take = qint64(total);
    if (request.maxBytes >= 0 && transfer.delivered + take > request.maxBytes) {
        take = request.maxBytes - transfer.delivered;
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
    if (request.burstMs > 0 && now - transfer.burstStart >= std::chrono::milliseconds(request.burstMs)) {
        if (total > 0 && request.pauseMs > 0 && !transfer.Pause(request.pauseMs)) {
            transfer.cancelled = true;
            return 0;
        }
        transfer.burstStart = transfer.lastByte = Clock::now();
    }
    return total;
}

size_t WriteBody(char* data, size_t size, size_t count, void* context)
{
    auto& transfer = *static_cast<Transfer*>(context);
    return Guarded(transfer, size_t(0), [&] { return ReceiveBody(transfer, data, size * count); });
}

// Called by libcurl at least once a second, also while nothing moves.
int CheckProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& transfer = *static_cast<Transfer*>(context);
    return Guarded(transfer, 1, [&] {
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
    });
}

// Headers are sent at the first byte; the stall clock starts when the response begins.
size_t ReadHeader(char*, size_t size, size_t count, void* context)
{
    static_cast<Transfer*>(context)->lastByte = Clock::now();
    return size * count;
}

struct EasyHandleDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using EasyHandle = std::unique_ptr<CURL, EasyHandleDeleter>;

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// Appends a line; the list is kept whole when libcurl cannot grow it.
void AppendHeader(HeaderList& list, const char* line)
{
    if (curl_slist* grown = curl_slist_append(list.get(), line)) {
        list.release();
        list.reset(grown);
    }
}

} // namespace

CHttpClient::Result CHttpClient::Get(const Request& request, const Sink& sink)
{
    InitCurlOnce();
    Result result;
    // Everything the handle points to outlives it: the handle is declared last, so it goes first.
    Transfer transfer { request, sink };
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toUtf8();
    HeaderList headers;
    for (const QByteArray& line : request.headers)
        AppendHeader(headers, line.constData());
    if (request.noCache) {
        AppendHeader(headers, "Cache-Control: no-cache");
        AppendHeader(headers, "Pragma: no-cache");
    }
    const EasyHandle handle(curl_easy_init());
    CURL* curl = handle.get();
    if (!curl) {
        result.error = QStringLiteral("cannot create a transfer");
        return result;
    }

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Peers prove who they are: the program's own hosts hand out the catalogue and the version file.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    if (!request.agent.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERAGENT, request.agent.constData());
    if (headers)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    if (request.blockSize > 0)
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, long(request.blockSize));
    // An announced length past the limit is refused before the body starts.
    if (request.sizeLimit >= 0)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.sizeLimit));
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
    if (transfer.failure)
        std::rethrow_exception(transfer.failure); // the handles are released on the way out

    result.bytes = transfer.delivered;
    result.cancelled = transfer.cancelled;
    result.tooLarge = transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED;
    result.ok = code == CURLE_OK || (code == CURLE_WRITE_ERROR && transfer.limitReached);
    if (!result.ok) {
        if (transfer.cancelled)
            result.error = QStringLiteral("cancelled");
        else if (transfer.stalled)
            result.error = QStringLiteral("no data from the server for %1 ms").arg(request.timeouts.stallMs);
        else if (result.tooLarge)
            result.error = QStringLiteral("the answer is larger than %1 bytes").arg(request.sizeLimit);
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
