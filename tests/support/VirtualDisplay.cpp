#include "tests/support/VirtualDisplay.h"

#include "tests/support/MessageRecorder.h"

namespace testing_support
{

VirtualDisplay::VirtualDisplay(QSize screen)
{
    // The server picks a free display itself and writes its number to standard output.
    m_server.start("Xvfb",
        { "-displayfd", "1", "-screen", "0", QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
            "-nolisten", "tcp", "-noreset" });
    QByteArray number;
    PumpUntil(
        [&] {
            number += m_server.readAllStandardOutput();
            return number.contains('\n') || m_server.state() == QProcess::NotRunning;
        },
        20000);
    number = number.trimmed();
    bool isNumber = false;
    number.toInt(&isNumber);
    if (isNumber)
        m_name = ":" + QString::fromLatin1(number);
}

VirtualDisplay::~VirtualDisplay()
{
    m_server.terminate();
    m_server.waitForFinished(5000);
}

QProcessEnvironment ProgramEnvironment(
    const QString& display, const QString& sharedMemory, const QString& locks, const QString& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("KAVRILUNE_SHARED_MEMORY", sharedMemory);
    environment.insert("KAVRILUNE_LOCK_FOLDER", locks);
    environment.insert("KAVRILUNE_SOCKET_FOLDER", locks);
    environment.insert("KAVRILUNE_FADE_MS", "0");
    environment.insert("KAVRILUNE_WEB_HOST", "http://127.0.0.1:9");
    environment.insert("KAVRILUNE_COUNTER_HOST", "http://127.0.0.1:9");
    environment.insert("KAVRILUNE_IMAGE_HOST", "http://127.0.0.1:9");
    environment.insert("XDG_DATA_HOME", home + "/data");
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_RUNTIME_DIR", home + "/runtime");
    environment.insert("SDL_AUDIODRIVER", "dummy");
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    return environment;
}

} // namespace testing_support
