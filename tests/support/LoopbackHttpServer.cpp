#include "tests/support/LoopbackHttpServer.h"

#include <QFile>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>

namespace testing_support
{

QByteArray HttpRequest::Header(const QByteArray& lowerCaseName) const
{
    auto it = headers.find(lowerCaseName);
    return it == headers.end() ? QByteArray() : it->second;
}

namespace
{

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

HttpConnection::HttpConnection(LoopbackHttpServer& server, int socket, HttpRequest request)
    : m_server(server)
    , m_socket(socket)
    , m_request(std::move(request))
{
}

bool HttpConnection::Send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (Stopping())
            return false;
        pollfd pfd { m_socket, POLLOUT, 0 };
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        const ssize_t n = ::send(m_socket, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool HttpConnection::SendResponse(
    int status, const QByteArray& contentType, const QByteArray& body, const QByteArray& extraHeaders)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n";
    return Send(head + (m_request.method == "HEAD" ? QByteArray() : body));
}

bool HttpConnection::Sleep(int ms)
{
    std::unique_lock lock(m_server.m_mutex);
    return !m_server.m_stopSignal.wait_for(
        lock, std::chrono::milliseconds(ms), [this] { return m_server.m_stopping.load(); });
}

bool HttpConnection::Stopping() const
{
    return m_server.m_stopping.load();
}

LoopbackHttpServer::LoopbackHttpServer()
{
    m_listenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenSocket < 0)
        throw std::runtime_error("socket");
    const int yes = 1;
    ::setsockopt(m_listenSocket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenSocket, 64) != 0)
        throw std::runtime_error("bind/listen on loopback");
    socklen_t length = sizeof address;
    ::getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    Stop();
}

int LoopbackHttpServer::OpenClientConnections() const
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray port = ':' + QByteArray::number(m_port, 16).toUpper().rightJustified(4, '0');
    int count = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        // Slot, local address, remote address (hex address:port), state (01: established), ...
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[2].endsWith(port) && fields[3] == "01")
            ++count;
    }
    return count;
}

QString LoopbackHttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void LoopbackHttpServer::Route(const QByteArray& path, HttpHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(handler);
}

void LoopbackHttpServer::RouteFixed(const QByteArray& path, int status, const QByteArray& contentType,
    const QByteArray& body, const QByteArray& extraHeaders)
{
    Route(path, [=](HttpConnection& connection) { connection.SendResponse(status, contentType, body, extraHeaders); });
}

std::vector<HttpRequest> LoopbackHttpServer::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackHttpServer::Stop()
{
    if (m_stopping.exchange(true))
        return;
    m_stopSignal.notify_all();
    ::shutdown(m_listenSocket, SHUT_RDWR);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    ::close(m_listenSocket);
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        for (int socket : m_openSockets)
            ::shutdown(socket, SHUT_RDWR);
        workers.swap(m_workers);
    }
    for (std::thread& worker : workers)
        worker.join();
}

void LoopbackHttpServer::AcceptLoop()
{
    while (!m_stopping) {
        pollfd pfd { m_listenSocket, POLLIN, 0 };
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        const int socket = ::accept4(m_listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        const int yes = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ++m_connections;
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            ::close(socket);
            break;
        }
        m_openSockets.push_back(socket);
        m_workers.emplace_back([this, socket] { Serve(socket); });
    }
}

bool LoopbackHttpServer::ReadRequest(int socket, HttpRequest& request)
{
    QByteArray head;
    char c;
    while (!head.endsWith("\r\n\r\n") && !head.endsWith("\n\n")) {
        if (m_stopping || head.size() > 64 * 1024)
            return false;
        pollfd pfd { socket, POLLIN, 0 };
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        if (::recv(socket, &c, 1, 0) != 1)
            return false;
        head.append(c);
    }
    request.head = head;
    QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.takeFirst().trimmed().split(' ');
    if (first.size() < 2)
        return false;
    request.method = first.at(0);
    request.target = first.at(1);
    request.version = first.size() > 2 ? first.at(2) : QByteArray();
    const qsizetype query = request.target.indexOf('?');
    request.path = query < 0 ? request.target : request.target.left(query);
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers[line.left(colon).trimmed().toLower()] = line.mid(colon + 1).trimmed();
    }
    return true;
}

void LoopbackHttpServer::Serve(int socket)
{
    HttpRequest request;
    if (ReadRequest(socket, request)) {
        HttpHandler handler;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            auto it = m_routes.find(request.path);
            if (it != m_routes.end())
                handler = it->second;
        }
        HttpConnection connection(*this, socket, request);
        if (handler)
            handler(connection);
        else
            connection.SendResponse(404, "text/html", "<html><body>Not found</body></html>");
    }
    std::lock_guard lock(m_mutex);
    m_openSockets.erase(std::remove(m_openSockets.begin(), m_openSockets.end(), socket), m_openSockets.end());
    ::close(socket);
}

} // namespace testing_support
