#pragma once

#include <QString>

#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support
{

// A program started by a test and stopped by it: stdin from /dev/null, stdout and stderr to a log
// file (or /dev/null). The destructor stops it.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& arguments, const QString& logFile = QString());
    bool IsRunning();
    // The exit code, or -1 when it still runs after timeoutMs (or was killed by a signal: 128 + signal).
    int Wait(int timeoutMs);
    // SIGTERM, then SIGKILL after graceMs; waits for the end.
    void Stop(int graceMs = 3000);
    pid_t Pid() const { return m_pid; }

    // Runs a program to its end; the exit code, or -1 when it did not end within timeoutMs (it is killed).
    static int Run(const std::vector<std::string>& arguments, int timeoutMs, const QString& logFile = QString());

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

} // namespace testing_support
