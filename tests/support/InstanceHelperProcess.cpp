#include "tests/support/InstanceHelperProcess.h"

#include "tests/support/TestPaths.h"

#include <QElapsedTimer>

namespace testing_support
{

InstanceHelperProcess::InstanceHelperProcess(const QString& sharedMemoryName, const QString& folder)
{
    m_process.setProgram(BinaryDir() + "/tests/kavrilune_instance_helper");
    m_process.setArguments({ sharedMemoryName, folder });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    const QString ready = ReadLine();
    if (ready.startsWith("ready "))
        m_pid = ready.mid(6).toLongLong();
}

InstanceHelperProcess::~InstanceHelperProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        Kill();
}

QString InstanceHelperProcess::Command(const QString& line)
{
    m_process.write((line + "\n").toUtf8());
    const QString answer = ReadLine();
    return answer.startsWith("ok") ? answer.mid(3) : QStringLiteral("<no answer: %1>").arg(answer);
}

void InstanceHelperProcess::Kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString InstanceHelperProcess::ReadLine()
{
    QElapsedTimer timer;
    timer.start();
    while (!m_process.canReadLine() && timer.elapsed() < 10000)
        m_process.waitForReadyRead(100);
    return QString::fromUtf8(m_process.readLine()).trimmed();
}

} // namespace testing_support
