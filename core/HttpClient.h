#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

// HTTP GET over libcurl for the program's own downloads (stations database, version file, play report,
// album art). Proxies come from the environment the way libcurl reads it (http_proxy, https_proxy,
// no_proxy); redirects are followed (up to ten), each new address taken like the first; host names are
// given to libcurl in their ASCII form (AsciiHostUrl); only http and https are spoken; TLS certificates
// are verified. Every transfer ends: a connect time-out, a stall time-out (no byte for a while) and a
// total time-out over all redirects bound it, and a cancel flag stops it within about a second. Safe to
// use from any thread.
class CHttpClient
{
public:
    // Time-outs in milliseconds; 0 switches one off.
    struct Timeouts {
        int connectMs = 30000;
        int stallMs = 60000;
        int totalMs = 30 * 60 * 1000;
    };

    enum class Reach {
        Anywhere, // http or https, any address
        // https only, and public addresses only (IsPublicAddress): a host whose name resolves to another
        // address is refused before anything is sent to it. Through a proxy, which resolves names
        // itself, only an address written out and the name localhost can be refused.
        PublicHttps,
    };

    struct Request {
        QString url;
        QByteArray agent; // User-Agent; empty sends none
        QList<QByteArray> headers; // extra request lines, "Name: value"
        qint64 maxBytes = -1; // stop reading after this many body bytes; -1 reads everything
        qint64 sizeLimit = -1; // a body longer than this fails the transfer; -1 sets no limit
        bool noCache = false; // ask every cache on the way for a fresh copy
        int blockSize = 0; // bytes handed over per read; 0 leaves libcurl's default
        // Throttling: after a read that ends a burst of burstMs, pause pauseMs before reading on.
        int burstMs = 0;
        int pauseMs = 0;
        Timeouts timeouts = DefaultTimeouts();
        const std::atomic<bool>* cancel = nullptr; // set from any thread to stop the transfer
        // Where the transfer may go, checked for the address asked and for every redirection.
        Reach reach = Reach::Anywhere;
        // An origin ("http://127.0.0.1:8080") reached as Anywhere whatever reach says; empty for none.
        QString trustedOrigin;
    };

    struct Result {
        bool ok = false; // the body arrived whole, or up to maxBytes
        bool cancelled = false; // stopped through the cancel flag
        bool tooLarge = false; // the body was longer than sizeLimit
        long status = 0; // HTTP status of the last response; 0 when none arrived
        qint64 bytes = 0; // body bytes handed to the sink
        QString error; // why the transfer failed; empty when ok
    };

    // Receives the body in blocks; returning false stops the transfer as failed.
    using Sink = std::function<bool(const char* data, qint64 size)>;

    // Fetches request.url, handing the body to sink block by block. An exception thrown by the sink
    // stops the transfer and is thrown on to the caller once the transfer is cleaned up.
    static Result Get(const Request& request, const Sink& sink);
    // Fetches request.url into body (replaced).
    static Result Get(const Request& request, QByteArray& body);

    // The time-outs a new Request starts with. Tests shorten them.
    static Timeouts DefaultTimeouts();
    static void SetDefaultTimeouts(const Timeouts& timeouts);
};
