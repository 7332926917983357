#include "core/ServerHosts.h"

#include <BuildInfo.h>

#include <QMutex>

namespace
{

QMutex hostsMutex;
QString webHostOverride; // guarded by hostsMutex
QString counterHostOverride; // guarded by hostsMutex
QString imageHostOverride; // guarded by hostsMutex

QString HostOrBuiltIn(const QString& override, const char* builtIn)
{
    QMutexLocker lock(&hostsMutex);
    QString host = override.isEmpty() ? QString::fromUtf8(builtIn) : override;
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    return host;
}

void SetOverride(QString& override, const QString& host)
{
    QMutexLocker lock(&hostsMutex);
    override = host;
}

} // namespace

QString GetWebHost()
{
    return HostOrBuiltIn(webHostOverride, KAVRILUNE_WEB_HOST);
}

QString GetCounterHost()
{
    return HostOrBuiltIn(counterHostOverride, KAVRILUNE_COUNTER_HOST);
}

QString GetImageHost()
{
    return HostOrBuiltIn(imageHostOverride, KAVRILUNE_IMAGE_HOST);
}

void SetWebHostOverride(const QString& host)
{
    SetOverride(webHostOverride, host);
}

void SetCounterHostOverride(const QString& host)
{
    SetOverride(counterHostOverride, host);
}

void SetImageHostOverride(const QString& host)
{
    SetOverride(imageHostOverride, host);
}
