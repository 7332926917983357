#include "ui/app/ExitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// The pipe's write end, for the handler; -1 while no object exists.
volatile sig_atomic_t writeEnd = -1;

void OnSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = writeEnd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a request to end: this one may be dropped.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

CExitSignals::CExitSignals()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    writeEnd = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CExitSignals::ReadPipe);

    struct sigaction action = {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (Handler& handler : m_handlers) {
        if (::sigaction(handler.number, nullptr, &handler.previous) != 0)
            continue;
        // A start under nohup keeps running when its terminal goes.
        if (handler.number == SIGHUP && handler.previous.sa_handler == SIG_IGN)
            continue;
        handler.installed = ::sigaction(handler.number, &action, nullptr) == 0;
    }
}

CExitSignals::~CExitSignals()
{
    if (m_readEnd < 0)
        return;
    for (const Handler& handler : m_handlers)
        if (handler.installed)
            ::sigaction(handler.number, &handler.previous, nullptr);
    m_notifier.reset();
    const int fd = writeEnd;
    writeEnd = -1;
    ::close(fd);
    ::close(m_readEnd);
}

void CExitSignals::ReadPipe()
{
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(m_readEnd, numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(int(numbers[i]));
    }
}
