#include "tests/support/SessionBus.h"

#include "tests/support/MessageRecorder.h"

namespace testing_support
{

SessionBus::SessionBus()
{
    m_daemon.start("dbus-daemon", { "--session", "--nofork", "--print-address" });
    if (PumpUntil([this] { return m_daemon.canReadLine(); }, 10000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

SessionBus::~SessionBus()
{
    m_daemon.terminate();
    m_daemon.waitForFinished(5000);
}

} // namespace testing_support
