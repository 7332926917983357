#include "core/HttpClient.h"

#include "core/CodePage.h"
#include "core/NetAddress.h"

#include <QUrl>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 10;

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
    // Of the response being read: its status and Location; redirected once its head ends a redirection.
    int status = 0;
    QByteArray location {};
    bool redirected = false;
    bool checkAddresses = false; // connections of this step go to public addresses only
    bool refusedAddress = false;

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

// Headers are sent at the first byte; the stall clock starts when the response begins. A redirection
// ends the transfer with its head: its body is nobody's, and Get goes on to where it points.
size_t ReadHeader(char* data, size_t size, size_t count, void* context)
{
    auto& transfer = *static_cast<Transfer*>(context);
    return Guarded(transfer, size_t(0), [&]() -> size_t {
        transfer.lastByte = Clock::now();
        const QByteArrayView line = QByteArrayView(data, qsizetype(size * count)).trimmed();
        if (line.startsWith("HTTP/")) {
            const QList<QByteArray> words = line.toByteArray().split(' ');
            transfer.status = words.size() > 1 ? words[1].toInt() : 0;
            transfer.location.clear();
        } else if (line.isEmpty()) {
            const int status = transfer.status;
            if (status >= 300 && status < 400 && status != 304 && !transfer.location.isEmpty()) {
                transfer.redirected = true;
                return 0;
            }
        } else if (const qsizetype colon = line.indexOf(':');
                   colon > 0 && line.first(colon).trimmed().compare("location", Qt::CaseInsensitive) == 0) {
            transfer.location = line.sliced(colon + 1).trimmed().toByteArray();
        }
        return size * count;
    });
}

// Opens the sockets of a transfer that may reach public addresses only, refusing any other.
curl_socket_t OpenSocket(void* context, curlsocktype, curl_sockaddr* address)
{
    auto& transfer = *static_cast<Transfer*>(context);
    if (transfer.checkAddresses && !IsPublicAddress(&address->addr)) {
        transfer.refusedAddress = true;
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

bool SameOrigin(const QUrl& address, const QString& origin)
{
    if (origin.isEmpty())
        return false;
    const QUrl trusted(origin);
    return address.scheme() == trusted.scheme() && address.host() == trusted.host() && address.port() == trusted.port();
}

// localhost, or an address written out that is not public.
bool IsLocalHost(const QString& host)
{
    if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")))
        return true;
    const QByteArray text = host.toLatin1();
    sockaddr_in ipv4 {};
    ipv4.sin_family = AF_INET;
    if (inet_aton(text.constData(), &ipv4.sin_addr))
        return !IsPublicAddress(reinterpret_cast<const sockaddr*>(&ipv4));
    sockaddr_in6 ipv6 {};
    ipv6.sin6_family = AF_INET6;
    if (inet_pton(AF_INET6, text.constData(), &ipv6.sin6_addr) == 1)
        return !IsPublicAddress(reinterpret_cast<const sockaddr*>(&ipv6));
    return false;
}

QByteArray Environment(const char* lower, const char* upper)
{
    const QByteArray value = qgetenv(lower);
    return value.isEmpty() ? qgetenv(upper) : value;
}

// The proxy the environment names for an https request to host, read as libcurl reads it: https_proxy,
// else all_proxy (or their upper-case names), unless no_proxy is "*" or names the host or a domain
// it lies in. Empty for none.
QByteArray HttpsProxyFor(const QString& host)
{
    QByteArray proxy = Environment("https_proxy", "HTTPS_PROXY");
    if (proxy.isEmpty())
        proxy = Environment("all_proxy", "ALL_PROXY");
    if (proxy.isEmpty())
        return proxy;
    const QByteArray name = host.toLatin1().toLower();
    for (QByteArray entry : Environment("no_proxy", "NO_PROXY").replace(',', ' ').split(' ')) {
        entry = entry.trimmed().toLower();
        if (entry.startsWith('.'))
            entry.remove(0, 1);
        if (entry == "*" || (!entry.isEmpty() && (name == entry || name.endsWith('.' + entry))))
            return QByteArray();
    }
    return proxy;
}

// Sets what depends on where this step of a transfer goes; returns why it may not go there, or nothing.
QString PrepareStep(CURL* curl, Transfer& transfer, const QByteArray& url)
{
    const CHttpClient::Request& request = transfer.request;
    const QUrl address(QString::fromUtf8(url));
    const bool guarded
        = request.reach == CHttpClient::Reach::PublicHttps && !SameOrigin(address, request.trustedOrigin);
    transfer.status = 0;
    transfer.location.clear();
    transfer.redirected = false;
    transfer.checkAddresses = false;
    transfer.refusedAddress = false;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, guarded ? "https" : "http,https");
    if (request.reach == CHttpClient::Reach::Anywhere)
        return QString();
    if (!guarded) {
        // The environment's proxies, as for any other request.
        curl_easy_setopt(curl, CURLOPT_PROXY, nullptr);
        curl_easy_setopt(curl, CURLOPT_NOPROXY, nullptr);
        return QString();
    }
    if (address.scheme() != QLatin1String("https"))
        return QStringLiteral("only https addresses may be fetched here: %1").arg(address.toDisplayString());
    // The proxy is decided here, so that it is known whether the connections go to it or to the host.
    const QByteArray proxy = HttpsProxyFor(address.host());
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    if (proxy.isEmpty())
        transfer.checkAddresses = true; // every address the name resolves to is checked as it is connected
    else if (IsLocalHost(address.host()))
        return QStringLiteral("%1 is not a public address").arg(address.host());
    return QString();
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

    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Peers prove who they are: the program's own hosts hand out the catalogue and the version file.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
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
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    if (request.reach == Reach::PublicHttps) {
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &OpenSocket);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &transfer);
    }

    // Redirections are followed here rather than by libcurl, which would take a new host name as it
    // stands and connect wherever it leads.
    const Clock::time_point start = Clock::now();
    QByteArray url = AsciiHostUrl(request.url.toUtf8());
    QString refusal;
    CURLcode code = CURLE_OK;
    for (int redirects = 0;; ++redirects) {
        if (transfer.CancelRequested()) {
            transfer.cancelled = true;
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        refusal = PrepareStep(curl, transfer, url);
        if (!refusal.isEmpty())
            break;
        if (request.timeouts.totalMs > 0) {
            const auto left = request.timeouts.totalMs
                - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (left <= 0) {
                refusal = QStringLiteral("timed out after %1 ms").arg(request.timeouts.totalMs);
                break;
            }
            curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(left));
        }
        transfer.burstStart = transfer.lastByte = Clock::now();
        code = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
        if (transfer.failure)
            std::rethrow_exception(transfer.failure); // the handles are released on the way out
        if (!transfer.redirected || transfer.cancelled)
            break;
        if (redirects == kMaxRedirects) {
            refusal = QStringLiteral("more than %1 redirections").arg(kMaxRedirects);
            break;
        }
        url = RedirectUrl(url, transfer.location);
        if (url.isEmpty()) {
            refusal = QStringLiteral("redirected to an unusable address: %1").arg(DecodeUtf8OrAnsi(transfer.location));
            break;
        }
    }

    result.bytes = transfer.delivered;
    result.cancelled = transfer.cancelled;
    result.tooLarge = transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED;
    result.ok = refusal.isEmpty() && (code == CURLE_OK || (code == CURLE_WRITE_ERROR && transfer.limitReached));
    if (!result.ok) {
        if (!refusal.isEmpty())
            result.error = refusal;
        else if (transfer.cancelled)
            result.error = QStringLiteral("cancelled");
        else if (transfer.stalled)
            result.error = QStringLiteral("no data from the server for %1 ms").arg(request.timeouts.stallMs);
        else if (result.tooLarge)
            result.error = QStringLiteral("the answer is larger than %1 bytes").arg(request.sizeLimit);
        else if (transfer.sinkRefused)
            result.error = QStringLiteral("the received data could not be stored");
        else if (transfer.refusedAddress)
            result.error = QStringLiteral("%1 is not a public address").arg(QUrl(QString::fromUtf8(url)).host());
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
