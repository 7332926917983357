#pragma once

#include "core/HttpClient.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Finds a picture for a song title on the image-search host, on one worker thread: it fetches the
// search page for the title, takes the first picture the page links, fetches it (over https from a
// public address, redirections included, unless it lies on the image host) and decodes it, scales it
// to what the window shows, keeps the result and posts a message to its owner, who takes it. Lookups run one at a time,
// each starting at least the minimum gap after the previous one ended; a title asked for while one runs waits, and a
// newer title replaces one that is still waiting. Transfers have short time-outs and stop within about a second once
// the lookup stops.
class CPictureArtLookup
{
public:
    // Where the picture is to be shown: its own size in logical pixels, scaled down to fit the area
    // when larger (keeping its shape), at pixelRatio device pixels per logical pixel. An empty area
    // sets no bound.
    struct Display {
        QSize area;
        qreal pixelRatio = 1.0;
    };
    struct Result {
        uint64_t ticket = 0; // what Request returned for this title
        QString title;
        QString searchUrl; // the search page asked
        // Null when none was found; otherwise at the display's pixel ratio, with the device pixels of
        // its size there, ready to be drawn as it is.
        QImage picture;
    };
    // Every finished lookup posts message to owner (nothing once the owner has gone). Owner's thread.
    CPictureArtLookup(QObject* owner, int message);
    ~CPictureArtLookup();

    CPictureArtLookup(const CPictureArtLookup&) = delete;
    CPictureArtLookup& operator=(const CPictureArtLookup&) = delete;

    // Queues a lookup of title, replacing a title still waiting; returns the ticket its result carries.
    uint64_t Request(const QString& title, const Display& display);
    uint64_t Request(const QString& title); // shown at its own size
    // Forgets the waiting title, if any.
    void DropPending();
    // The lookups finished since the last call, oldest first.
    std::vector<Result> TakeResults();
    // Cancels the running transfer and waits for the worker; no result is kept or posted afterwards.
    void Stop();
    // Time between the end of one lookup and the start of the next (tests shorten it).
    void SetMinimumGap(std::chrono::milliseconds gap);

    static constexpr std::chrono::milliseconds kMinimumGap { 4000 };
    static constexpr qint64 kPageLimit = 69998; // bytes of the search page read
    static constexpr qint64 kPictureLimit = 70000; // bytes of the picture read; a larger one arrives cut
    static constexpr int kMaxPictureSide = 4096; // pixels; a picture claiming more is not decoded
    static constexpr int kMaxPictureMiB = 64; // memory one decoded picture may take

    // The search page address for a title: the image host, "/images?q=" and the escaped title.
    static QString SearchPageUrl(const QString& title);
    // The first picture a search page links: the text between "target=_blank><img src=" (after
    // "id=ires") and the next " width=", read as Windows-1252, at most 2000 characters. The page ends
    // at its first zero byte. Empty when a marker is missing.
    static QString FindPictureUrl(const QByteArray& page);
    // Decodes picture bytes (PNG, JPEG, GIF, BMP or WebP). The size the picture declares is checked
    // before anything is decoded; null for anything undecodable or too large.
    static QImage DecodePicture(const QByteArray& bytes);
    // The decoded picture as the display shows it (see Display).
    static QImage FitPicture(const QImage& picture, const Display& display);

private:
    struct Job {
        uint64_t ticket;
        QString title;
        Display display;
    };

    void Run();
    Result LookUp(const Job& job);
    QByteArray Fetch(const QString& url, qint64 limit, CHttpClient::Reach reach);

    const QPointer<QObject> m_owner; // set before the worker starts
    const int m_message;
    std::atomic<bool> m_cancel { false }; // stops the running transfer
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false; // guarded by m_mutex
    std::optional<Job> m_pending; // guarded by m_mutex
    std::vector<Result> m_results; // guarded by m_mutex
    uint64_t m_lastTicket = 0; // guarded by m_mutex
    std::optional<std::chrono::steady_clock::time_point> m_lastEnd; // guarded by m_mutex
    std::chrono::milliseconds m_gap = kMinimumGap; // guarded by m_mutex
    std::thread m_worker; // started by the first request, joined by Stop; the owner's thread only
};
