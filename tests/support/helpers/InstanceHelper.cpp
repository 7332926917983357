// A stand-in for a running instance, driven by the instance tests through its standard input.
// Usage: kavrilune_instance_helper <shared memory name> <folder for slot locks and sockets>
// Each command line gets one answer line "ok ..."; the first line printed is "ready <process id>".

#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace
{

// Answers messages the way the main window does: the command-line message reports whether text waits.
class Receiver : public QObject
{
public:
    explicit Receiver(CInstanceLock& lock)
        : m_lock(lock)
    {
    }
    QString last;

protected:
    bool event(QEvent* event) override
    {
        WindowMessage* message = AsWindowMessage(event);
        if (!message)
            return QObject::event(event);
        if (message->message() == RegisterWindowMessage("WM_KAVRILUNE_CMD_LINE")) {
            const QString text = m_lock.GetCommandText();
            last = QStringLiteral("WM_KAVRILUNE_CMD_LINE ") + text;
            message->result = text.isEmpty() ? 0 : 1;
        } else if (message->message() == RegisterWindowMessage("WM_KAVRILUNE_TERMINATE")) {
            last = QStringLiteral("WM_KAVRILUNE_TERMINATE %1").arg(message->lParam);
            message->result = 1;
        }
        return true;
    }

private:
    CInstanceLock& m_lock;
};

void Answer(const QString& text)
{
    std::printf("ok %s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    CInstanceLock::SetSharedMemoryNameOverride(QString::fromUtf8(argv[1]));
    CNamedMutex::SetFolderOverride(QString::fromUtf8(argv[2]));
    CInstanceMessenger::SetFolderOverride(QString::fromUtf8(argv[2]));

    CInstanceLock lock;
    Receiver receiver(lock);
    CInstanceMessenger messenger(&receiver);
    const auto self = uint32_t(QCoreApplication::applicationPid());

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QString command = line.section(u' ', 0, 0);
            const QString rest = line.section(u' ', 1);
            if (command == u"acquire-free")
                Answer(QString::number(lock.AcquireFreeSlot(self)));
            else if (command == u"acquire")
                Answer(QString::number(lock.AcquireSlot(rest.toInt(), self)));
            else if (command == u"release")
                lock.Release(), Answer({});
            else if (command == u"locked")
                Answer(QString::number(lock.IsLocked()));
            else if (command == u"running")
                Answer(QString::number(lock.GetRunningInstanceWindow()));
            else if (command == u"set-text")
                Answer(QString::number(lock.SetCommandText(rest)));
            else if (command == u"get-text")
                Answer(lock.GetCommandText());
            else if (command == u"listen")
                Answer(QString::number(messenger.Listen()));
            else if (command == u"last")
                Answer(receiver.last);
            else if (command == u"hang") {
                Answer({});
                QThread::msleep(rest.toULong());
            } else if (command == u"quit") {
                Answer({});
                QCoreApplication::quit();
            } else
                Answer(QStringLiteral("unknown"));
        }
    });
    std::printf("ready %lld\n", QCoreApplication::applicationPid());
    std::fflush(stdout);
    return app.exec();
}
