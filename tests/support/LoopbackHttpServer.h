#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace testing_support
{

// One request as the server read it.
struct HttpRequest {
    QByteArray method;
    QByteArray target; // as sent: path and query
    QByteArray path; // target without its query
    QByteArray version;
    std::map<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray head; // the raw request line and headers

    QByteArray Header(const QByteArray& lowerCaseName) const;
};

class LoopbackHttpServer;

// What a route handler works with: the request and the raw connection.
class HttpConnection
{
public:
    const HttpRequest& Request() const { return m_request; }
    // Sends raw bytes; false once the peer has gone or the server stops.
    bool Send(const QByteArray& bytes);
    // Sends a whole response with Content-Length and Connection: close.
    bool SendResponse(int status, const QByteArray& contentType, const QByteArray& body,
        const QByteArray& extraHeaders = QByteArray());
    // Sleeps up to ms milliseconds; false when the server stops meanwhile.
    bool Sleep(int ms);
    bool Stopping() const;

private:
    friend class LoopbackHttpServer;
    HttpConnection(LoopbackHttpServer& server, int socket, HttpRequest request);

    LoopbackHttpServer& m_server;
    int m_socket;
    HttpRequest m_request;
};

using HttpHandler = std::function<void(HttpConnection&)>;

// A small HTTP/1.x server on 127.0.0.1 and a free port for tests. Each connection runs on its own
// thread; handlers write raw bytes, so they can misbehave on purpose (hang, stop mid-body, ...).
// Unknown paths get 404. The destructor stops the server and waits for every connection.
class LoopbackHttpServer
{
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path
    QString Url(const QString& path = QString()) const;

    // Routes requests whose path (without query) equals path to handler.
    void Route(const QByteArray& path, HttpHandler handler);
    // Routes path to a fixed response.
    void RouteFixed(const QByteArray& path, int status, const QByteArray& contentType, const QByteArray& body,
        const QByteArray& extraHeaders = QByteArray());

    // Every request received so far, in order of arrival.
    std::vector<HttpRequest> Requests() const;
    // Number of connections accepted so far.
    int ConnectionCount() const { return m_connections.load(); }
    // Connections to this server that a client of this machine still holds open.
    int OpenClientConnections() const;

    // Stops accepting, closes every connection and waits for the handlers. Called by the destructor.
    void Stop();

private:
    friend class HttpConnection;
    void AcceptLoop();
    void Serve(int socket);
    bool ReadRequest(int socket, HttpRequest& request);

    int m_listenSocket = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_connections { 0 };
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::map<QByteArray, HttpHandler> m_routes; // guarded by m_mutex
    std::vector<HttpRequest> m_requests; // guarded by m_mutex
    std::vector<std::thread> m_workers; // guarded by m_mutex
    std::vector<int> m_openSockets; // guarded by m_mutex
    std::condition_variable m_stopSignal;
};

} // namespace testing_support
