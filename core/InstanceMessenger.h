#pragma once

#include "core/WindowMessage.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

class QLocalServer;
class QLocalSocket;

// Messages between running instances of the program: what the command-line hand-over and the terminate
// broadcast send to another instance's main window.
//
// Each instance listens on a local socket named after its process id, in a folder only its user can
// enter ($XDG_RUNTIME_DIR/kavrilune-instances, else /tmp/kavrilune-instances-<uid>, mode 0700); the
// socket itself is user-only as well, and a connection from a process of another user is dropped. A
// request names a registered window message with its two parameters; the receiving instance delivers it
// to its receiver object as a WindowMessage on the receiver's thread and answers with the result. Only
// the two messages below cross processes: a request naming any other is refused and its connection
// dropped unanswered.
class CInstanceMessenger : public QObject
{
    Q_OBJECT

public:
    // The command-line hand-over and the terminate broadcast.
    static constexpr const char* kCommandLineMessage = "WM_KAVRILUNE_CMD_LINE";
    static constexpr const char* kTerminateMessage = "WM_KAVRILUNE_TERMINATE";

    explicit CInstanceMessenger(QObject* receiver, QObject* parent = nullptr);
    ~CInstanceMessenger() override;

    // Starts answering requests under this process's id; false when the socket cannot be set up.
    bool Listen();
    void Close();
    bool IsListening() const;

    // Sends a message to the instance with the given process id and waits at most timeoutMs for the
    // answer. Nothing when there is no such instance or it does not answer in time.
    static std::optional<LRESULT> SendInstanceMessage(
        qint64 processId, const char* messageName, WPARAM wParam, LPARAM lParam, int timeoutMs);
    // Sends the message to every other listening instance, waiting at most timeoutMs for each one.
    // Returns the number of instances that answered.
    static int BroadcastInstanceMessage(const char* messageName, WPARAM wParam, LPARAM lParam, int timeoutMs);
    // Process ids of the other instances that have a socket; sockets of ended processes are removed.
    static QList<qint64> OtherInstances();

    // The private folder of the sockets (created when missing); empty when it is not safe to use.
    static QString SocketFolder();
    // Tests keep their sockets in a folder of their own; an empty text restores the default.
    static void SetFolderOverride(const QString& folder);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);

    QPointer<QObject> m_receiver; // UI thread only, like the whole object
    QLocalServer* m_server = nullptr;
};
