#include "ui/mainwindow/CommandLineRunner.h"

#include "audio/Recorder.h"
#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"
#include "ui/app/CommandLine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace
{

constexpr int kHandOverTimeoutMs = 5000;
constexpr int kHandOverTurnPollMs = 10;
constexpr int kTerminateRounds = 6;
constexpr int kTerminateAnswerMs = 100;
constexpr int kTerminatePauseMs = 300;

uint32_t ProcessId()
{
    return uint32_t(QCoreApplication::applicationPid());
}

} // namespace

CCommandLineRunner::CCommandLineRunner(CInstanceLock& instanceLock, Hooks hooks)
    : m_instanceLock(instanceLock)
    , m_hooks(std::move(hooks))
{
}

QStringList CCommandLineRunner::Arguments() const
{
    return m_arguments.isEmpty() ? QCoreApplication::arguments() : m_arguments;
}

int CCommandLineRunner::ParseCommandLine(const QString& text)
{
    // The own switches come from the arguments as they were handed to the process, so that a value with
    // blanks and quotes stays whole.
    const bool ownCommandLine = text.isEmpty();
    const QList<CommandLineSwitch> switches
        = ownCommandLine ? SwitchesFromArguments(Arguments()) : ParseCommandLineSwitches(text);
    bool show = true;
    bool play = m_hooks.autoplay();
    bool record = false;
    bool mute = false;
    QString title;
    QString source;

    for (const CommandLineSwitch& commandSwitch : switches) {
        const QString& name = commandSwitch.name;
        if (name == QStringLiteral("hidden")) {
            show = false;
        } else if (name == QStringLiteral("play")) {
            play = true;
        } else if (name == QStringLiteral("mute")) {
            mute = true;
        } else if (name == QStringLiteral("record")) {
            record = true;
            play = true;
        } else if (name == QStringLiteral("source")) {
            source = commandSwitch.value;
        } else if (name == QStringLiteral("station")) {
            title = commandSwitch.value;
        } else if (name == QStringLiteral("duration")) {
            m_hooks.setDuration(DurationSecondsFromMinutes(commandSwitch.value));
        } else if (name == QStringLiteral("filename")) {
            // The name becomes part of a path: it must not name another folder.
            m_hooks.setRecordingName(CRecorder::MakeSafeFileName(commandSwitch.value));
        } else if (name == QStringLiteral("reuse")) {
            // A line that was handed over is with the running instance already.
            if (ownCommandLine && ForwardCommandLine() == 0)
                return 0;
        }
    }

    m_hooks.setPendingRecord(record);
    if ((play || record) && m_hooks.confirmStopRecording())
        m_hooks.play(title, source);
    if (mute)
        m_hooks.mute();
    // The window appears as soon as the loop turns after start-up; what can wait comes after it.
    if (ownCommandLine)
        m_hooks.armStart(show);
    else if (show && !m_hooks.isShown())
        m_hooks.bringToFront(); // whoever handed the line over cannot reach a hidden player otherwise
    return 1;
}

int CCommandLineRunner::ForwardCommandLine()
{
    // The line handed over is the own one without its first "/reuse", written so that it reads back as
    // the switches read here.
    const QString text = BuildCommandLine(Arguments());
    QString line = text;
    for (const CommandLineSwitch& commandSwitch : ParseCommandLineSwitches(text)) {
        if (commandSwitch.name == QStringLiteral("reuse")) {
            line = RemoveCommandLineSwitch(text, commandSwitch);
            break;
        }
    }
    // The block holds one line: starts that hand over at the same time take turns, or one's line could
    // be read in place of another's. A start that waits too long goes on regardless.
    CNamedMutex turn(QStringLiteral("kavrilune.org-hand-over"));
    const QDeadlineTimer wait(kHandOverTimeoutMs);
    while (!turn.TryLock() && !wait.hasExpired())
        QThread::msleep(kHandOverTurnPollMs);
    // A line too long for the shared block is carried out here.
    if (!m_instanceLock.SetCommandText(line))
        return 1;
    const uint32_t target = m_instanceLock.GetRunningInstanceWindow();
    if (target == 0 || target == ProcessId())
        return 1;
    const auto answer = CInstanceMessenger::SendInstanceMessage(
        target, CInstanceMessenger::kCommandLineMessage, 0, 0, kHandOverTimeoutMs);
    turn.Unlock();
    if (!answer || *answer == 0)
        return 1;
    // This start was never shown: the running instance owns the settings, so nothing is written here.
    m_hooks.endUnshown();
    return 0;
}

int CCommandLineRunner::OnCmdLine()
{
    // An instance on its way out cannot play anything: the sender then carries the line out itself.
    if (m_hooks.isClosing())
        return 0;
    const QString text = m_instanceLock.GetCommandText();
    if (text.isEmpty())
        return 0;
    ParseCommandLine(text);
    return 1;
}

int CCommandLineRunner::HandleTerminateAll()
{
    if (!HasTerminateAllSwitch(Arguments()))
        return 1;
    const uint32_t self = ProcessId();
    m_exitCode = 1;
    for (int round = 0; round < kTerminateRounds; ++round) {
        CInstanceMessenger::BroadcastInstanceMessage(
            CInstanceMessenger::kTerminateMessage, 0, LPARAM(self), kTerminateAnswerMs);
        QThread::msleep(kTerminatePauseMs);
        // Both slots at once: each lock object holds one.
        CInstanceLock first;
        CInstanceLock second;
        if (first.AcquireSlot(1, self) && second.AcquireSlot(2, self)) {
            m_exitCode = 0;
            break;
        }
        QThread::msleep(kTerminatePauseMs);
    }
    m_hooks.quit();
    return 0;
}
