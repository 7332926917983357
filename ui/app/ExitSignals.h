#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a log-out, `kill`, `timeout`, Ctrl+C in a terminal, the terminal closed)
// as a Qt signal on the thread that made the object: the handler only writes the signal's number into a
// pipe, which a socket notifier reads once the event loop runs. SIGHUP is left alone when the process
// was started ignoring it (nohup). One object at a time; the previous handlers come back when it goes.
class CExitSignals : public QObject
{
    Q_OBJECT

public:
    CExitSignals();
    ~CExitSignals() override;

    CExitSignals(const CExitSignals&) = delete;
    CExitSignals& operator=(const CExitSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    struct Handler {
        int number;
        bool installed = false;
        struct sigaction previous {
        };
    };

    void ReadPipe();

    int m_readEnd = -1;
    Handler m_handlers[3] { { SIGTERM }, { SIGINT }, { SIGHUP } };
    std::unique_ptr<QSocketNotifier> m_notifier;
};
