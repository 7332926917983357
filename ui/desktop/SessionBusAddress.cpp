#include "ui/desktop/SessionBusAddress.h"

#include <QFile>
#include <QtGlobal>

#include <cstdlib>

namespace
{

const char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";
// An address of no transport: the bus library fails to connect to it at once.
const char kNoBus[] = "disabled:";

} // namespace

bool SessionBusKnown()
{
    if (const QByteArray address = qgetenv(kAddressVariable); !address.isEmpty())
        return address != kNoBus;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFile::exists(runtime + QStringLiteral("/bus"));
}

void DeclineSessionBusStart()
{
    if (!SessionBusKnown())
        setenv(kAddressVariable, kNoBus, 1);
}
