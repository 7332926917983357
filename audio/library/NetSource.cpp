#include "audio/library/NetSource.h"

#include "audio/library/AudioLibrary.h"
#include "audio/library/StreamBuffer.h"

#include "core/ErrorLog.h"
#include "core/NetAddress.h"
#include "core/SeException.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <thread>

namespace
{

constexpr size_t kSniffBytes = 1024;
constexpr size_t kMaxPlaylistBytes = 1 << 20;
constexpr size_t kMaxIcyHeadBytes = 16384;
// A response head of a real station has a few dozen lines; these bound what a server can make us do.
constexpr size_t kMaxHeaderLines = 100; // per response head
constexpr size_t kMaxHeaderLineBytes = 16384;
constexpr size_t kMaxHeaderBytes = 65536; // all heads of one transfer, redirections included
constexpr size_t kResumeRoom = CURL_MAX_WRITE_SIZE;
constexpr int kMaxRedirects = 10; // per address asked
// The longest wait for the socket: the stall time-out is checked at least this often, and so is the
// room of a paused download, should a wake-up have gone amiss.
constexpr int kMaxPollMs = 1000;

std::once_flag curlInitOnce;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The value of a header line "Name: value" when its name is lowerName, else false.
bool HeaderValue(const std::string& line, const char* lowerName, std::string& value)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos || Lower(Trim(line.substr(0, colon))) != lowerName)
        return false;
    value = Trim(line.substr(colon + 1));
    return true;
}

int StatusCode(const std::string& statusLine)
{
    const size_t space = statusLine.find(' ');
    if (space == std::string::npos)
        return 0;
    return std::atoi(statusLine.c_str() + space + 1);
}

bool IsHttpUrl(const std::string& url)
{
    const std::string lower = Lower(url.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

int ErrorFromCurl(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return AUDIO_OK;
    case CURLE_OPERATION_TIMEDOUT:
        return AUDIO_ERROR_TIMEOUT;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_HTTP_RETURNED_ERROR:
        return AUDIO_ERROR_FILE_OPEN;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return AUDIO_ERROR_SSL;
    case CURLE_OUT_OF_MEMORY: // what libcurl reports for a header line past its limit: the server's doing
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_RANGE_ERROR:
        return AUDIO_ERROR_FILE_OPEN; // the server broke the protocol
    default:
        return AUDIO_ERROR_NO_NET;
    }
}

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Keeps an easy handle in a multi handle for a scope.
class MultiAttachment
{
public:
    MultiAttachment(CURLM* multi, CURL* easy)
        : m_multi(multi)
        , m_easy(easy)
        , m_attached(curl_multi_add_handle(multi, easy) == CURLM_OK)
    {
    }
    ~MultiAttachment()
    {
        if (m_attached)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    MultiAttachment(const MultiAttachment&) = delete;
    MultiAttachment& operator=(const MultiAttachment&) = delete;
    bool Attached() const { return m_attached; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_attached;
};

// Nothing may unwind through libcurl: whatever a callback throws is caught here and ends the transfer
// through libcurl's own return value (0, which it takes as a failed write).
template <typename Transfer, typename Call> size_t AbortOnException(Transfer& transfer, Call&& call)
{
    int error = AUDIO_ERROR_UNKNOWN;
    try {
        return call();
    } catch (CSeException* e) {
        e->Log("NetSource", __LINE__);
        e->Delete();
    } catch (const std::bad_alloc&) {
        WriteErrorLog("NetSource", __LINE__, QStringLiteral("Out of memory while downloading a stream."));
        error = AUDIO_ERROR_MEMORY;
    } catch (const std::exception& e) {
        WriteErrorLog("NetSource", __LINE__, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        WriteErrorLog("NetSource", __LINE__, QStringLiteral("A download callback threw an unknown exception."));
    }
    transfer.aborted = true;
    transfer.error = error;
    return 0;
}

} // namespace

struct CNetSource::Transfer {
    enum class Phase { Sniff, Playlist, Audio };

    CNetSource* source = nullptr;
    CURL* easy = nullptr;
    std::string url; // the address asked, whose name may tell a playlist
    std::string address; // where this transfer goes: url, or where its redirections led
    std::string redirect; // set once the response redirects: this transfer ends, the next goes there
    bool allowPlaylist = false;
    bool first = false;

    std::vector<std::string> headerLines;
    bool headersDone = false;
    bool icy = false;
    std::string icyHead; // an "ICY 200 OK" head read from the body
    std::string contentType;
    int64_t contentLength = -1;
    int icyBitrate = 0;
    std::unique_ptr<CIcyParser> icyParser;

    Phase phase = Phase::Sniff;
    std::string body; // sniffed bytes, then the playlist
    CPlaylistParser::Kind playlistKind = CPlaylistParser::Kind::None;
    std::vector<uint8_t> audio; // scratch for one block without metadata
    bool paused = false;
    int error = AUDIO_OK;
    bool aborted = false; // a callback threw: the download ends for good
    size_t headerBytes = 0; // of all response heads so far
    std::chrono::steady_clock::time_point lastActivity;
};

CNetSource::CNetSource(Settings settings, CStreamBuffer& buffer, INetSourceListener& listener)
    : m_settings(std::move(settings))
    , m_buffer(buffer)
    , m_listener(listener)
{
    std::call_once(curlInitOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_multi = curl_multi_init();
}

CNetSource::~CNetSource()
{
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
}

void CNetSource::Cancel()
{
    m_cancelled = true;
    {
        // A rest that saw the flag clear is waiting by the time the lock is had.
        std::lock_guard lock(m_restMutex);
    }
    m_restEnded.notify_all();
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

void CNetSource::SetRestMs(int ms)
{
    m_restMs = std::clamp(ms, 0, std::max(m_settings.timeoutMs / 4, 0));
}

void CNetSource::Rest(int ms)
{
    std::unique_lock lock(m_restMutex);
    m_restEnded.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_cancelled.load(); });
}

void CNetSource::Wake()
{
    if (m_multi && m_paused.load() && m_buffer.HasRoomFor(kResumeRoom))
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

std::string CNetSource::ContentType() const
{
    std::lock_guard lock(m_infoMutex);
    return m_contentType;
}

int CNetSource::IcyBitrateKbps() const
{
    std::lock_guard lock(m_infoMutex);
    return m_icyBitrate;
}

int64_t CNetSource::ContentLength() const
{
    std::lock_guard lock(m_infoMutex);
    return m_contentLength;
}

bool CNetSource::WaitInterruptible(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_cancelled) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        if (m_multi)
            curl_multi_poll(static_cast<CURLM*>(m_multi), nullptr, 0, int(left), nullptr); // Cancel() wakes it
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 100)));
    }
    return false;
}

void CNetSource::Run()
{
    try {
        Download();
    } catch (const std::exception& e) {
        WriteErrorLog("NetSource", __LINE__, QString::fromLocal8Bit(e.what()));
        m_buffer.Finish(AUDIO_ERROR_UNKNOWN);
    } catch (CSeException* e) {
        e->Log("NetSource", __LINE__);
        e->Delete();
        m_buffer.Finish(AUDIO_ERROR_UNKNOWN);
    } catch (...) {
        WriteErrorLog("NetSource", __LINE__, QStringLiteral("A download threw an unknown exception."));
        m_buffer.Finish(AUDIO_ERROR_UNKNOWN);
    }
}

void CNetSource::Download()
{
    std::set<std::string> visited;
    int error = AUDIO_ERROR_FILE_OPEN;
    const bool played = OpenUrl(m_settings.url, 0, visited, error);
    if (!played || m_cancelled) {
        m_buffer.Finish(m_cancelled ? AUDIO_OK : error);
        return;
    }
    // A live stream whose connection ended: connect again, slower after each failure.
    int backoffMs = 500;
    while (!m_cancelled && ContentLength() < 0) {
        if (!WaitInterruptible(backoffMs))
            break;
        std::vector<std::string> entries;
        std::string effectiveUrl;
        const uint64_t before = m_buffer.Written();
        RunTransfer(m_audioUrl, false, false, error, entries, effectiveUrl);
        if (m_aborted) {
            m_buffer.Finish(error);
            return;
        }
        backoffMs = m_buffer.Written() > before ? 500 : std::min(backoffMs * 2, 5000);
    }
    m_buffer.Finish(AUDIO_OK);
}

bool CNetSource::OpenUrl(const std::string& url, int depth, std::set<std::string>& visited, int& error)
{
    if (depth > kMaxPlaylistDepth || visited.count(url)) {
        error = AUDIO_ERROR_PLAYLIST;
        return false;
    }
    visited.insert(url);
    if (!IsHttpUrl(url)) {
        error = AUDIO_ERROR_FILE_OPEN;
        return false;
    }
    std::vector<std::string> entries;
    std::string effectiveUrl;
    switch (RunTransfer(url, m_settings.followPlaylists, !m_hadAudio, error, entries, effectiveUrl)) {
    case Outcome::Audio:
        m_audioUrl = url;
        return true;
    case Outcome::Failed:
        return false;
    case Outcome::Playlist:
        break;
    }
    if (entries.empty())
        error = AUDIO_ERROR_FILE_FORMAT;
    for (const std::string& entry : entries) {
        if (m_cancelled)
            return false;
        if (OpenUrl(CPlaylistParser::Resolve(effectiveUrl, entry), depth + 1, visited, error))
            return true;
        if (error == AUDIO_ERROR_PLAYLIST || m_aborted)
            return false; // a loop or too deep: refuse the whole list
    }
    return false;
}

CNetSource::Outcome CNetSource::RunTransfer(const std::string& url, bool allowPlaylist, bool first, int& error,
    std::vector<std::string>& entries, std::string& effectiveUrl)
{
    CURLM* multi = static_cast<CURLM*>(m_multi);
    const std::unique_ptr<curl_slist, ListCleanup> headerList(curl_slist_append(nullptr, "Icy-MetaData: 1"));
    if (!multi || !headerList) {
        error = AUDIO_ERROR_MEMORY;
        return Outcome::Failed;
    }
    // Redirections are followed here rather than by libcurl, so that a new host name reaches it in its
    // ASCII form too. The heads of all of them count towards the bound of one transfer's heads.
    std::string address = AsciiHostUrl(QByteArray::fromStdString(url)).toStdString();
    size_t headerBytes = 0;
    for (int redirects = 0;; ++redirects) {
        Transfer transfer;
        transfer.source = this;
        transfer.url = url;
        transfer.address = address;
        transfer.allowPlaylist = allowPlaylist;
        transfer.first = first;
        transfer.headerBytes = headerBytes;
        transfer.lastActivity = std::chrono::steady_clock::now();
        const std::unique_ptr<CURL, EasyCleanup> easyHandle(curl_easy_init());
        if (!easyHandle) {
            error = AUDIO_ERROR_MEMORY;
            return Outcome::Failed;
        }
        CURL* easy = easyHandle.get();
        transfer.easy = easy;
        curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList.get());
        curl_easy_setopt(easy, CURLOPT_USERAGENT, m_settings.userAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_settings.timeoutMs));
        curl_easy_setopt(easy, CURLOPT_HTTP09_ALLOWED, 1L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CNetSource::HeaderCallback);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CNetSource::WriteCallback);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);

        int result = CURLE_OK;
        {
            const MultiAttachment attachment(multi, easy);
            if (!attachment.Attached()) {
                error = AUDIO_ERROR_MEMORY;
                return Outcome::Failed;
            }
            result = Perform(transfer);
        }
        m_paused = false;

        if (m_cancelled) {
            error = AUDIO_OK;
            return transfer.phase == Transfer::Phase::Audio ? Outcome::Audio : Outcome::Failed;
        }
        if (transfer.aborted) {
            m_aborted = true;
            error = transfer.error;
            return Outcome::Failed;
        }
        if (transfer.redirect.empty()) {
            effectiveUrl = address;
            return Conclude(transfer, url, result, error, entries);
        }
        if (redirects == kMaxRedirects) {
            error = AUDIO_ERROR_FILE_OPEN;
            return Outcome::Failed;
        }
        address = transfer.redirect;
        headerBytes = transfer.headerBytes;
    }
}

// Runs an attached transfer until libcurl is done with it, it times out or the download is cancelled.
int CNetSource::Perform(Transfer& transfer)
{
    CURLM* multi = static_cast<CURLM*>(m_multi);
    CURL* easy = transfer.easy;
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done && !m_cancelled) {
        const uint64_t written = m_buffer.Written();
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        const auto now = std::chrono::steady_clock::now();
        if (transfer.paused && m_buffer.HasRoomFor(kResumeRoom)) {
            transfer.paused = false;
            m_paused = false;
            transfer.lastActivity = now;
            curl_easy_pause(easy, CURLPAUSE_CONT);
            continue;
        }
        if (!transfer.paused && now - transfer.lastActivity > std::chrono::milliseconds(m_settings.timeoutMs)) {
            transfer.error = AUDIO_ERROR_TIMEOUT;
            break;
        }
        // libcurl reads until the socket is empty, so a rest never holds back a fast stream.
        const int rest = m_restMs.load();
        if (rest > 0 && !transfer.paused && m_buffer.Written() > written) {
            Rest(rest); // the socket gathers what comes meanwhile
            continue;
        }
        // Data, Wake() once there is room, or Cancel() end the wait.
        curl_multi_poll(multi, nullptr, 0, PollTimeoutMs(transfer, now), nullptr);
    }
    return result;
}

int CNetSource::PollTimeoutMs(const Transfer& transfer, std::chrono::steady_clock::time_point now) const
{
    if (transfer.paused)
        return kMaxPollMs;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - transfer.lastActivity).count();
    return int(std::clamp<int64_t>(int64_t(m_settings.timeoutMs) - idle + 1, 1, kMaxPollMs));
}

// What a finished transfer gave: audio, a playlist or a failure.
CNetSource::Outcome CNetSource::Conclude(
    Transfer& transfer, const std::string& url, int result, int& error, std::vector<std::string>& entries)
{
    // A short body ends the sniffing with the transfer.
    if (transfer.phase == Transfer::Phase::Sniff && transfer.error == AUDIO_OK && transfer.headersDone
        && !transfer.body.empty()) {
        transfer.playlistKind = transfer.allowPlaylist
            ? CPlaylistParser::Detect(transfer.contentType, url, transfer.body)
            : CPlaylistParser::Kind::None;
        if (transfer.playlistKind != CPlaylistParser::Kind::None) {
            transfer.phase = Transfer::Phase::Playlist;
        } else {
            std::string pending;
            pending.swap(transfer.body);
            DeliverAudio(transfer, reinterpret_cast<const uint8_t*>(pending.data()), pending.size());
        }
    }
    if (transfer.phase == Transfer::Phase::Audio)
        return Outcome::Audio;
    if (transfer.error != AUDIO_OK) {
        error = transfer.error;
        return Outcome::Failed;
    }
    if (transfer.phase == Transfer::Phase::Playlist) {
        entries = CPlaylistParser::Parse(transfer.playlistKind, transfer.body);
        return Outcome::Playlist;
    }
    error = result == CURLE_OK ? AUDIO_ERROR_FILE_FORMAT : ErrorFromCurl(CURLcode(result));
    return Outcome::Failed;
}

size_t CNetSource::HeaderCallback(char* data, size_t size, size_t count, void* user)
{
    Transfer& transfer = *static_cast<Transfer*>(user);
    return AbortOnException(transfer, [&]() -> size_t {
        std::string line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        return transfer.source->OnHeaderLine(transfer, std::move(line), size * count) ? size * count : 0;
    });
}

size_t CNetSource::OnHeaderLine(Transfer& transfer, std::string line, size_t rawSize)
{
    transfer.lastActivity = std::chrono::steady_clock::now();
    if (m_cancelled)
        return 0;
    transfer.headerBytes += rawSize;
    if (rawSize > kMaxHeaderLineBytes || transfer.headerBytes > kMaxHeaderBytes) {
        transfer.error = AUDIO_ERROR_FILE_OPEN;
        return 0;
    }
    if (transfer.headersDone)
        return 1; // trailers
    if (!line.empty()) {
        if (line.starts_with("HTTP/") || line.starts_with("ICY "))
            transfer.headerLines.clear();
        if (transfer.headerLines.size() >= kMaxHeaderLines) {
            transfer.error = AUDIO_ERROR_FILE_OPEN;
            return 0;
        }
        transfer.headerLines.push_back(std::move(line));
        return 1;
    }
    if (transfer.headerLines.empty())
        return 1;
    const int status = StatusCode(transfer.headerLines.front());
    if (status == 100) {
        transfer.headerLines.clear(); // an interim answer
        return 1;
    }
    if (status >= 300 && status < 400 && status != 304) {
        // A redirection: this transfer ends with its head, RunTransfer goes on where it points.
        std::string location;
        bool hasLocation = false;
        for (const std::string& header : transfer.headerLines)
            hasLocation = hasLocation || HeaderValue(header, "location", location);
        if (hasLocation) {
            transfer.redirect
                = RedirectUrl(QByteArray::fromStdString(transfer.address), QByteArray::fromStdString(location))
                      .toStdString();
            if (transfer.redirect.empty())
                transfer.error = AUDIO_ERROR_FILE_OPEN;
            return 0;
        }
    }
    return FinishHeaders(transfer) ? 1 : 0;
}

bool CNetSource::FinishHeaders(Transfer& transfer)
{
    const int status = StatusCode(transfer.headerLines.front());
    if (status < 200 || status >= 300) {
        transfer.error = AUDIO_ERROR_FILE_OPEN;
        return false;
    }
    transfer.headersDone = true;
    uint32_t metaInterval = 0;
    for (const std::string& line : transfer.headerLines) {
        std::string value;
        if (HeaderValue(line, "content-type", value))
            transfer.contentType = value;
        else if (HeaderValue(line, "content-length", value))
            transfer.contentLength = std::strtoll(value.c_str(), nullptr, 10);
        else if (HeaderValue(line, "icy-metaint", value))
            metaInterval = uint32_t(std::max(0L, std::strtol(value.c_str(), nullptr, 10)));
        else if (HeaderValue(line, "icy-br", value))
            transfer.icyBitrate = std::atoi(value.c_str());
    }
    transfer.icyParser = std::make_unique<CIcyParser>(metaInterval);
    return true;
}

bool CNetSource::HandleIcyHead(Transfer& transfer)
{
    // libcurl takes an "ICY 200 OK" answer for a body without headers: read the head from it.
    size_t end = transfer.icyHead.find("\r\n\r\n");
    size_t skip = 4;
    if (end == std::string::npos) {
        end = transfer.icyHead.find("\n\n");
        skip = 2;
    }
    if (end == std::string::npos)
        return false;
    const std::string head = transfer.icyHead.substr(0, end);
    size_t start = 0;
    while (start <= head.size()) {
        size_t lineEnd = head.find('\n', start);
        if (lineEnd == std::string::npos)
            lineEnd = head.size();
        std::string line = head.substr(start, lineEnd - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        transfer.headerLines.push_back(line);
        start = lineEnd + 1;
    }
    transfer.icyHead.erase(0, end + skip);
    return true;
}

size_t CNetSource::WriteCallback(char* data, size_t size, size_t count, void* user)
{
    Transfer& transfer = *static_cast<Transfer*>(user);
    return AbortOnException(transfer,
        [&] { return transfer.source->OnBody(transfer, reinterpret_cast<const uint8_t*>(data), size * count); });
}

size_t CNetSource::OnBody(Transfer& transfer, const uint8_t* data, size_t size)
{
    if (m_cancelled)
        return 0;
    if (!transfer.headersDone) {
        // No HTTP head: an ICY head inside the body, or a bare body.
        transfer.lastActivity = std::chrono::steady_clock::now();
        transfer.icyHead.append(reinterpret_cast<const char*>(data), size);
        const bool looksLikeHead = transfer.icyHead.starts_with("ICY ") || transfer.icyHead.starts_with("HTTP/");
        if (looksLikeHead && !HandleIcyHead(transfer)) {
            if (transfer.icyHead.size() > kMaxIcyHeadBytes) {
                transfer.error = AUDIO_ERROR_FILE_OPEN;
                return 0;
            }
            return size;
        }
        if (looksLikeHead) {
            if (transfer.headerLines.size() > kMaxHeaderLines) {
                transfer.error = AUDIO_ERROR_FILE_OPEN;
                return 0;
            }
            transfer.icy = transfer.headerLines.front().starts_with("ICY");
            if (!FinishHeaders(transfer))
                return 0;
        } else {
            transfer.headerLines.clear();
            transfer.headersDone = true;
            transfer.icyParser = std::make_unique<CIcyParser>(0);
        }
        std::string rest;
        rest.swap(transfer.icyHead);
        if (!rest.empty()
            && OnBody(transfer, reinterpret_cast<const uint8_t*>(rest.data()), rest.size()) != rest.size())
            return 0;
        return size;
    }
    if (transfer.phase == Transfer::Phase::Audio && !m_buffer.HasRoomFor(size)) {
        transfer.paused = true;
        m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    transfer.lastActivity = std::chrono::steady_clock::now();
    transfer.audio.clear();
    transfer.icyParser->Feed(data, size, transfer.audio, [this, &transfer](const std::string& text) {
        // The sound that came before a metadata block goes out before the block is announced, so that
        // a title change falls between the right bytes.
        if (transfer.phase == Transfer::Phase::Audio && !transfer.audio.empty()) {
            DeliverAudio(transfer, transfer.audio.data(), transfer.audio.size());
            transfer.audio.clear();
        }
        m_listener.OnMetadata(text);
    });
    switch (transfer.phase) {
    case Transfer::Phase::Sniff:
        transfer.body.append(reinterpret_cast<const char*>(transfer.audio.data()), transfer.audio.size());
        if (transfer.body.size() >= kSniffBytes) {
            transfer.playlistKind = transfer.allowPlaylist
                ? CPlaylistParser::Detect(transfer.contentType, transfer.url, transfer.body)
                : CPlaylistParser::Kind::None;
            if (transfer.playlistKind != CPlaylistParser::Kind::None) {
                transfer.phase = Transfer::Phase::Playlist;
            } else {
                std::string pending;
                pending.swap(transfer.body);
                DeliverAudio(transfer, reinterpret_cast<const uint8_t*>(pending.data()), pending.size());
            }
        }
        break;
    case Transfer::Phase::Playlist:
        transfer.body.append(reinterpret_cast<const char*>(transfer.audio.data()), transfer.audio.size());
        if (transfer.body.size() > kMaxPlaylistBytes) {
            transfer.error = AUDIO_ERROR_FILE_FORMAT;
            return 0;
        }
        break;
    case Transfer::Phase::Audio:
        DeliverAudio(transfer, transfer.audio.data(), transfer.audio.size());
        break;
    }
    return size;
}

void CNetSource::DeliverAudio(Transfer& transfer, const uint8_t* data, size_t size)
{
    if (transfer.phase != Transfer::Phase::Audio) {
        transfer.phase = Transfer::Phase::Audio;
        {
            std::lock_guard lock(m_infoMutex);
            m_contentType = transfer.contentType;
            m_contentLength = transfer.contentLength;
            if (transfer.icyBitrate > 0)
                m_icyBitrate = transfer.icyBitrate;
        }
        if (!transfer.first)
            m_buffer.StartSegment();
        m_hadAudio = true;
        m_listener.OnResponseHeaders(transfer.headerLines, transfer.icy, transfer.first);
    }
    if (size == 0)
        return;
    m_listener.OnStreamBytes(data, size);
    m_buffer.Write(data, size);
}
