#pragma once

#include "audio/library/IcyParser.h"
#include "audio/library/PlaylistParser.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CStreamBuffer;

// What a download reports to its stream. Called on the download thread.
class INetSourceListener
{
public:
    virtual ~INetSourceListener() = default;
    // The status line and header lines of the response that carries the audio. icy: an "ICY 200 OK"
    // answer. first: the first connection of the stream (not a reconnection).
    virtual void OnResponseHeaders(const std::vector<std::string>& lines, bool icy, bool first) = 0;
    // A block of stream bytes as received, without metadata.
    virtual void OnStreamBytes(const uint8_t* data, size_t size) = 0;
    // A new metadata block (its text up to the first zero byte).
    virtual void OnMetadata(const std::string& text) = 0;
};

// The download of a URL stream over HTTP or HTTPS: follows redirects and playlists, asks for and
// removes ICY metadata, and fills the stream buffer with flow control. A live stream (no length)
// whose connection ends is connected again until the stream is cancelled.
class CNetSource
{
public:
    struct Settings {
        std::string url;
        int timeoutMs = 5000;
        std::string userAgent;
        bool followPlaylists = true;
    };

    static constexpr int kMaxPlaylistDepth = 5;

    CNetSource(Settings settings, CStreamBuffer& buffer, INetSourceListener& listener);
    ~CNetSource();
    CNetSource(const CNetSource&) = delete;
    CNetSource& operator=(const CNetSource&) = delete;

    // The body of the download thread: returns when the stream has ended for good or was cancelled;
    // the buffer is finished either way.
    void Run();
    // Any thread: ends the download as soon as possible.
    void Cancel();
    // Any thread: wakes a paused download after the reader made room.
    void Wake();
    // Any thread: once bytes came, the download rests this long before it reads again, so that it
    // takes what arrived meanwhile in one go (0: it reads whatever comes at once). For a stream
    // that plays from a full buffer; at most a quarter of the time-out.
    void SetRestMs(int ms);

    // Known once the audio response has begun (download thread writes, others read).
    std::string ContentType() const;
    int IcyBitrateKbps() const;
    int64_t ContentLength() const; // -1 when unknown (a live stream)

private:
    enum class Outcome { Failed, Playlist, Audio };
    struct Transfer;

    void Download();
    bool OpenUrl(const std::string& url, int depth, std::set<std::string>& visited, int& error);
    Outcome RunTransfer(const std::string& url, bool allowPlaylist, bool first, int& error,
        std::vector<std::string>& entries, std::string& effectiveUrl);
    int Perform(Transfer& transfer);
    Outcome Conclude(
        Transfer& transfer, const std::string& url, int result, int& error, std::vector<std::string>& entries);
    bool WaitInterruptible(int ms);
    void Rest(int ms);
    int PollTimeoutMs(const Transfer& transfer, std::chrono::steady_clock::time_point now) const;

    static size_t HeaderCallback(char* data, size_t size, size_t count, void* user);
    static size_t WriteCallback(char* data, size_t size, size_t count, void* user);
    size_t OnHeaderLine(Transfer& transfer, std::string line, size_t rawSize);
    size_t OnBody(Transfer& transfer, const uint8_t* data, size_t size);
    bool FinishHeaders(Transfer& transfer);
    bool HandleIcyHead(Transfer& transfer);
    void DeliverAudio(Transfer& transfer, const uint8_t* data, size_t size);

    const Settings m_settings;
    CStreamBuffer& m_buffer;
    INetSourceListener& m_listener;
    void* m_multi; // curl multi handle, owned: created before the thread starts, woken by others
    std::atomic<bool> m_paused { false };
    std::atomic<bool> m_cancelled { false };
    std::atomic<int> m_restMs { 0 };
    std::mutex m_restMutex;
    std::condition_variable m_restEnded; // with m_restMutex: Cancel() ends a rest

    mutable std::mutex m_infoMutex;
    std::string m_contentType; // guarded by m_infoMutex
    int m_icyBitrate = 0; // guarded by m_infoMutex
    int64_t m_contentLength = -1; // guarded by m_infoMutex
    std::string m_audioUrl; // download thread only
    bool m_hadAudio = false; // download thread only
    bool m_aborted = false; // download thread only: a callback threw, the download has ended
};
