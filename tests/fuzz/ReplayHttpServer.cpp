#include "tests/fuzz/ReplayHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace fuzz_support
{

namespace
{

constexpr int kRequestTimeoutMs = 1000;
constexpr int kSettleLimitMs = 3000;
constexpr size_t kMaxRequestBytes = 65536;

bool Readable(int socket, int timeoutMs)
{
    pollfd entry { socket, POLLIN, 0 };
    return poll(&entry, 1, timeoutMs) > 0;
}

// Reads up to the blank line that ends a request head.
void ReadRequestHead(int socket)
{
    QByteArray head;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    while (!head.contains("\r\n\r\n") && head.size() < qsizetype(kMaxRequestBytes)
        && std::chrono::steady_clock::now() < end) {
        if (!Readable(socket, 10))
            continue;
        char chunk[4096];
        const ssize_t n = recv(socket, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        head.append(chunk, n);
    }
}

} // namespace

ReplayHttpServer::ReplayHttpServer(SettleHandler handler)
    : m_handler(std::move(handler))
{
    m_listenSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenSocket < 0 || bind(m_listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(m_listenSocket, 64) != 0
        || getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    m_port = ntohs(address.sin_port);
    m_thread = std::thread(&ReplayHttpServer::AcceptLoop, this);
}

ReplayHttpServer::~ReplayHttpServer()
{
    m_stopping = true;
    m_thread.join();
    close(m_listenSocket);
}

void ReplayHttpServer::SetResponse(const QByteArray& bytes)
{
    std::lock_guard lock(m_mutex);
    m_response = bytes;
}

bool ReplayHttpServer::ConnectionPending() const
{
    return Readable(m_listenSocket, 0);
}

void ReplayHttpServer::AcceptLoop()
{
    while (!m_stopping) {
        if (!Readable(m_listenSocket, 50))
            continue;
        const int socket = accept4(m_listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        Serve(socket);
        close(socket);
    }
}

void ReplayHttpServer::Serve(int socket)
{
    ReadRequestHead(socket);
    QByteArray response;
    {
        std::lock_guard lock(m_mutex);
        response = m_response;
    }
    for (qsizetype sent = 0; sent < response.size();) {
        const ssize_t n = send(socket, response.constData() + sent, size_t(response.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    shutdown(socket, SHUT_WR);

    const auto sentAt = std::chrono::steady_clock::now();
    bool clientClosed = false;
    for (;;) {
        if (!clientClosed && Readable(socket, 2)) {
            char chunk[4096];
            clientClosed = recv(socket, chunk, sizeof chunk, 0) <= 0;
        }
        const int ms = int(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sentAt).count());
        if (m_stopping || m_handler(clientClosed, ms) || ms > kSettleLimitMs)
            return;
    }
}

} // namespace fuzz_support
