#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>

namespace testing_support
{

// An X server of our own (Xvfb) for the life of the object; Name() (":<number>") is empty when it did
// not start. It stays up between one client and the next.
class VirtualDisplay
{
public:
    explicit VirtualDisplay(QSize screen = QSize(1280, 900));
    ~VirtualDisplay();

    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    QString Name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

// What every start of the staged program under test gets: the display, a shared-memory name, a folder
// for its instance locks and sockets, its data, configuration and runtime folders below home, SDL's
// dummy audio, the web, counter and image hosts on a closed loopback port and no session bus.
QProcessEnvironment ProgramEnvironment(
    const QString& display, const QString& sharedMemory, const QString& locks, const QString& home);

} // namespace testing_support
