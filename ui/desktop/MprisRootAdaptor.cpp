#include "ui/desktop/MprisRootAdaptor.h"

CMprisRootAdaptor::CMprisRootAdaptor(QObject* service)
    : QDBusAbstractAdaptor(service)
{
}

QString CMprisRootAdaptor::Identity() const
{
    return QStringLiteral("Kavrilune");
}
