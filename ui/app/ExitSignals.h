#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

// SIGTERM and SIGINT (a log-out, `kill`, `timeout`, Ctrl+C in a terminal) as a Qt signal on the thread
// that made the object: the handler only writes the signal's number into a pipe, which a socket
// notifier reads once the event loop runs. One object at a time; the previous handlers come back when
// it goes.
class CExitSignals : public QObject
{
    Q_OBJECT

public:
    CExitSignals();
    ~CExitSignals() override;

    CExitSignals(const CExitSignals&) = delete;
    CExitSignals& operator=(const CExitSignals&) = delete;

    // Whether both handlers are in place.
    bool IsInstalled() const { return m_installed; }

signals:
    void received(int signalNumber);

private:
    void ReadPipe();

    int m_readEnd = -1;
    bool m_installed = false;
    struct sigaction m_previousTerm {
    };
    struct sigaction m_previousInt {
    };
    std::unique_ptr<QSocketNotifier> m_notifier;
};
