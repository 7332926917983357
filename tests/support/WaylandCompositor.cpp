#include "tests/support/WaylandCompositor.h"

#include "tests/support/MessageRecorder.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace testing_support
{

namespace
{

const QString kSocketName = QStringLiteral("wayland-kavrilune-test");

} // namespace

WaylandCompositor::WaylandCompositor()
{
    if (!m_runtime.isValid())
        return;
    QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    m_server.setProcessEnvironment(environment);
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    // --debug lets weston-debug read the scene.
    m_server.start("weston",
        { "--backend=headless-backend.so", "--socket=" + kSocketName, "--idle-time=0", "--no-config", "--debug",
            "--width=1280", "--height=900" });
    const QString socket = m_runtime.path() + "/" + kSocketName;
    PumpUntil(
        [&] {
            m_server.readAll();
            return QFileInfo(socket).exists() || m_server.state() == QProcess::NotRunning;
        },
        20000);
    if (m_server.state() == QProcess::Running && QFileInfo(socket).exists())
        m_socket = socket;
}

WaylandCompositor::~WaylandCompositor()
{
    m_server.terminate();
    if (!m_server.waitForFinished(5000))
        m_server.kill();
    m_server.waitForFinished(5000);
}

QStringList WaylandCompositor::WindowTitles(qint64 pid) const
{
    if (m_socket.isEmpty())
        return {};
    QProcess debug;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
    environment.insert("WAYLAND_DISPLAY", m_socket);
    debug.setProcessEnvironment(environment);
    debug.start("weston-debug", { "scene-graph" });
    debug.waitForFinished(10000);
    // A mapped window reads: View 0 (role xdg_toplevel, PID 123, surface ID 7, top-level window 'Title' of app, ...
    const QRegularExpression view(QStringLiteral("role xdg_toplevel, PID %1, .*top-level window '(.*)' of ").arg(pid));
    QStringList titles;
    for (const QString& line : QString::fromUtf8(debug.readAllStandardOutput()).split(u'\n')) {
        const QRegularExpressionMatch match = view.match(line);
        if (match.hasMatch())
            titles.append(match.captured(1));
    }
    return titles;
}

} // namespace testing_support
