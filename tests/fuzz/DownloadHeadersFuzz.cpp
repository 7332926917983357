// The download of a stream address against a server that answers with the input: status line and
// headers (HTTP or ICY, in the header block or at the start of the body), redirects, playlists and
// the ICY metadata of the body. Every request of the process goes to that loopback server, whatever
// address a redirect or a playlist names, because it is also the process's HTTP proxy.

#include "audio/library/ChannelTags.h"
#include "audio/library/NetSource.h"
#include "audio/library/StreamBuffer.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/ReplayHttpServer.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace
{

using namespace fuzz_support;

constexpr int kCancelAfterMs = 20;
constexpr int kNextConnectionAfterMs = 200;

// What the server thread and the download share about the download of the current input.
struct Session {
    std::mutex mutex;
    std::condition_variable changed;
    CNetSource* source = nullptr; // guarded by mutex; null once the download has returned
    bool audioBegan = false; // guarded by mutex
};

Session session;

// A live stream connects again after a pause once its connection has ended; the input has been read
// whole by then, so the download is cancelled instead.
bool Settle(ReplayHttpServer& server, bool clientClosed, int ms)
{
    std::unique_lock lock(session.mutex);
    if (clientClosed)
        session.changed.wait_for(
            lock, std::chrono::milliseconds(2), [] { return !session.source || session.audioBegan; });
    if (!session.source)
        return true;
    if (session.audioBegan && (clientClosed || ms > kCancelAfterMs)) {
        session.source->Cancel();
        return true;
    }
    return clientClosed && (server.ConnectionPending() || ms > kNextConnectionAfterMs);
}

ReplayHttpServer& Server()
{
    static ReplayHttpServer* server
        = new ReplayHttpServer([](bool clientClosed, int ms) { return Settle(*server, clientClosed, ms); });
    return *server;
}

class Listener : public INetSourceListener
{
public:
    void OnResponseHeaders(const std::vector<std::string>& lines, bool icy, bool) override
    {
        m_tags.SetHeaders(lines, icy);
        m_tags.Headers();
        std::lock_guard lock(session.mutex);
        session.audioBegan = true;
        session.changed.notify_all();
    }
    void OnStreamBytes(const uint8_t*, size_t size) override { m_bytes += size; }
    void OnMetadata(const std::string& text) override
    {
        if (text.empty())
            std::abort(); // "no change" blocks are not announced
        m_tags.SetMeta(text);
    }

private:
    CChannelTags m_tags;
    size_t m_bytes = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string proxy = "http://127.0.0.1:" + std::to_string(Server().Port());
    setenv("http_proxy", proxy.c_str(), 1);
    setenv("HTTPS_PROXY", proxy.c_str(), 1);
    setenv("ALL_PROXY", proxy.c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t options = input.TakeByte();
    Server().SetResponse(input.TakeRest());

    // Larger than any input, so the download never waits for a reader.
    CStreamBuffer buffer(256 << 10);
    Listener listener;
    CNetSource::Settings settings;
    settings.url = "http://127.0.0.1:" + std::to_string(Server().Port()) + ((options & 2) ? "/list.m3u" : "/stream");
    settings.timeoutMs = 1000;
    settings.userAgent = "fuzz";
    settings.followPlaylists = options & 1;
    CNetSource source(settings, buffer, listener);
    {
        std::lock_guard lock(session.mutex);
        session.source = &source;
        session.audioBegan = false;
    }
    source.Run();
    {
        std::lock_guard lock(session.mutex);
        session.source = nullptr;
        session.changed.notify_all();
    }
    if (!buffer.IsFinished())
        std::abort(); // the download returned without telling its reader
    return 0;
}
