#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QTimer>

#include <cerrno>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

QMutex folderMutex;
QString folderOverride; // guarded by folderMutex

constexpr quint32 kRequestMark = 0x4B564D31; // "KVM1"
constexpr int kIdleConnectionMs = 10000;

QString SocketPath(qint64 processId)
{
    const QString folder = CInstanceMessenger::SocketFolder();
    return folder.isEmpty() ? QString() : folder + u'/' + QString::number(processId);
}

bool PeerIsThisUser(QLocalSocket* socket)
{
    ucred credentials {};
    socklen_t size = sizeof credentials;
    return getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0
        && credentials.uid == geteuid();
}

// Only the messages meant to come from another process are taken; the window's other messages are
// its own business (some carry pointers into its memory).
bool IsAcceptedMessageName(const QByteArray& name)
{
    return name == CInstanceMessenger::kCommandLineMessage || name == CInstanceMessenger::kTerminateMessage;
}

bool ProcessExists(qint64 processId)
{
    return kill(pid_t(processId), 0) == 0 || errno == EPERM;
}

} // namespace

CInstanceMessenger::CInstanceMessenger(QObject* receiver, QObject* parent)
    : QObject(parent)
    , m_receiver(receiver)
{
}

CInstanceMessenger::~CInstanceMessenger()
{
    Close();
}

bool CInstanceMessenger::Listen()
{
    Close();
    const QString path = SocketPath(QCoreApplication::applicationPid());
    if (path.isEmpty())
        return false;
    QLocalServer::removeServer(path); // left by an ended process that had our id
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceMessenger::OnNewConnection);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

void CInstanceMessenger::Close()
{
    if (m_server) {
        m_server->close(); // removes the socket file
        delete m_server;
        m_server = nullptr;
    }
}

bool CInstanceMessenger::IsListening() const
{
    return m_server && m_server->isListening();
}

void CInstanceMessenger::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (!PeerIsThisUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that connects and never finishes its request is dropped.
        QTimer::singleShot(kIdleConnectionMs, socket, [socket] { socket->abort(); });
    }
}

void CInstanceMessenger::OnReadyRead(QLocalSocket* socket)
{
    QDataStream in(socket);
    in.startTransaction();
    quint32 mark = 0;
    QByteArray name;
    quint64 wParam = 0;
    qint64 lParam = 0;
    in >> mark >> name >> wParam >> lParam;
    if (!in.commitTransaction()) {
        if (in.status() == QDataStream::ReadCorruptData || socket->bytesAvailable() > 4096)
            socket->abort();
        return; // wait for the rest of the request
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (mark != kRequestMark || !IsAcceptedMessageName(name)) {
        socket->abort();
        return;
    }
    const int message = RegisterWindowMessage(name.constData());
    const QPointer<QLocalSocket> guard(socket); // the receiver may run a nested event loop
    const LRESULT result = SendWindowMessage(m_receiver, message, WPARAM(wParam), LPARAM(lParam));
    if (!guard || socket->state() != QLocalSocket::ConnectedState)
        return; // the sender gave up meanwhile
    QDataStream out(socket);
    out << qint64(result);
    socket->disconnectFromServer(); // sends the answer first
}

std::optional<LRESULT> CInstanceMessenger::SendInstanceMessage(
    qint64 processId, const char* messageName, WPARAM wParam, LPARAM lParam, int timeoutMs)
{
    const QString path = SocketPath(processId);
    if (path.isEmpty() || processId <= 0)
        return std::nullopt;
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;

    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << kRequestMark << QByteArray(messageName) << quint64(wParam) << qint64(lParam);
    }
    socket.write(request);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return std::nullopt;
    while (socket.bytesAvailable() < qint64(sizeof(qint64)))
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
    QDataStream in(&socket);
    qint64 result = 0;
    in >> result;
    return LRESULT(result);
}

int CInstanceMessenger::BroadcastInstanceMessage(const char* messageName, WPARAM wParam, LPARAM lParam, int timeoutMs)
{
    int answered = 0;
    for (const qint64 processId : OtherInstances())
        if (SendInstanceMessage(processId, messageName, wParam, lParam, timeoutMs))
            ++answered;
    return answered;
}

QList<qint64> CInstanceMessenger::OtherInstances()
{
    QList<qint64> instances;
    const QString folder = SocketFolder();
    if (folder.isEmpty())
        return instances;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList names = QDir(folder).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool isNumber = false;
        const qint64 processId = name.toLongLong(&isNumber);
        if (!isNumber || processId <= 0 || processId == self)
            continue;
        if (!ProcessExists(processId)) {
            QFile::remove(folder + u'/' + name);
            continue;
        }
        instances.append(processId);
    }
    return instances;
}

QString CInstanceMessenger::SocketFolder()
{
    QString folder;
    {
        QMutexLocker lock(&folderMutex);
        folder = folderOverride;
    }
    if (folder.isEmpty()) {
        const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
        if (!runtime.isEmpty() && CNamedMutex::IsPrivateFolder(runtime))
            folder = runtime + QStringLiteral("/kavrilune-instances");
        else
            folder = QStringLiteral("/tmp/kavrilune-instances-%1").arg(geteuid());
    }
    return CNamedMutex::MakePrivateFolder(folder);
}

void CInstanceMessenger::SetFolderOverride(const QString& folder)
{
    QMutexLocker lock(&folderMutex);
    folderOverride = folder;
}
