#pragma once

#include <QProcess>
#include <QString>

namespace testing_support
{

// One kavrilune_instance_helper process standing in for a running instance: it opens the shared
// memory and lock folder given and answers one command a line.
class InstanceHelperProcess
{
public:
    InstanceHelperProcess(const QString& sharedMemoryName, const QString& folder);
    ~InstanceHelperProcess();
    InstanceHelperProcess(const InstanceHelperProcess&) = delete;
    InstanceHelperProcess& operator=(const InstanceHelperProcess&) = delete;

    qint64 pid() const { return m_pid; }
    // Sends one command and returns its answer without the leading "ok ".
    QString Command(const QString& line);
    bool CommandTrue(const QString& line) { return Command(line) == "1"; }
    // SIGKILL: the process gets no chance to release anything.
    void Kill();

private:
    QString ReadLine();

    QProcess m_process;
    qint64 m_pid = 0;
};

} // namespace testing_support
