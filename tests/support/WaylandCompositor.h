#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testing_support
{

// A Wayland desktop of our own for the life of the object: weston's headless backend, without Xwayland,
// in a runtime folder of its own. SocketPath() is empty when it did not start; a client reaches it with
// WAYLAND_DISPLAY set to that path.
class WaylandCompositor
{
public:
    WaylandCompositor();
    ~WaylandCompositor();

    WaylandCompositor(const WaylandCompositor&) = delete;
    WaylandCompositor& operator=(const WaylandCompositor&) = delete;

    QString SocketPath() const { return m_socket; }
    // The titles of the top-level windows a process has mapped now, as the compositor's scene shows them.
    QStringList WindowTitles(qint64 pid) const;

private:
    QTemporaryDir m_runtime;
    QProcess m_server;
    QString m_socket;
};

} // namespace testing_support
