#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace fuzz_support
{

// A server on 127.0.0.1 that answers every connection with the same raw bytes, then closes its side.
// After sending it keeps watching the connection and asks the settle handler, every few milliseconds,
// whether it may go on to the next connection.
class ReplayHttpServer
{
public:
    // clientClosed: the client has closed the connection; ms: time since the answer was sent.
    using SettleHandler = std::function<bool(bool clientClosed, int ms)>;

    explicit ReplayHttpServer(SettleHandler handler);
    ~ReplayHttpServer();

    ReplayHttpServer(const ReplayHttpServer&) = delete;
    ReplayHttpServer& operator=(const ReplayHttpServer&) = delete;

    uint16_t Port() const { return m_port; }
    void SetResponse(const QByteArray& bytes);
    // True when a connection waits to be accepted.
    bool ConnectionPending() const;

private:
    void AcceptLoop();
    void Serve(int socket);

    SettleHandler m_handler; // set before the thread starts
    int m_listenSocket = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::mutex m_mutex;
    QByteArray m_response; // guarded by m_mutex
    std::thread m_thread;
};

} // namespace fuzz_support
