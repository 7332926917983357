#include "tests/support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_support
{

ChildProcess::~ChildProcess()
{
    Stop();
}

bool ChildProcess::Start(const std::vector<std::string>& arguments, const QString& logFile)
{
    if (arguments.empty() || m_pid > 0)
        return false;
    const std::string log = logFile.isEmpty() ? std::string("/dev/null") : logFile.toStdString();
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setpgid(0, 0);
        // A blocked signal mask would survive exec and make the program deaf to SIGTERM.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in >= 0)
            ::dup2(in, 0);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    m_pid = pid;
    m_status = -1;
    return true;
}

bool ChildProcess::IsRunning()
{
    return Wait(0) == -1 && m_pid > 0;
}

int ChildProcess::Wait(int timeoutMs)
{
    if (m_pid <= 0)
        return m_status;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_status;
        }
        if (done < 0) {
            m_pid = -1;
            return m_status;
        }
        if (std::chrono::steady_clock::now() >= end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcess::Stop(int graceMs)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    if (Wait(graceMs) == -1 && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        Wait(5000);
    }
}

int ChildProcess::Run(const std::vector<std::string>& arguments, int timeoutMs, const QString& logFile)
{
    ChildProcess process;
    if (!process.Start(arguments, logFile))
        return -1;
    const int code = process.Wait(timeoutMs);
    if (code == -1)
        process.Stop(0);
    return code;
}

} // namespace testing_support
