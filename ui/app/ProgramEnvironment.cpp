#include "ui/app/ProgramEnvironment.h"

#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"
#include "core/ServerHosts.h"
#include "ui/skin/WindowFader.h"

#include <QFile>
#include <QtGlobal>

#include <atomic>
#include <ctime>

namespace
{

std::atomic<double> clockScale { 1.0 };
std::atomic<int64_t> clockOrigin { 0 };

QString Variable(const char* name)
{
    return QFile::decodeName(qgetenv(name));
}

} // namespace

void ApplyProgramEnvironment()
{
    if (const QString name = Variable("KAVRILUNE_SHARED_MEMORY"); !name.isEmpty())
        CInstanceLock::SetSharedMemoryNameOverride(name);
    if (const QString folder = Variable("KAVRILUNE_LOCK_FOLDER"); !folder.isEmpty())
        CNamedMutex::SetFolderOverride(folder);
    if (const QString folder = Variable("KAVRILUNE_SOCKET_FOLDER"); !folder.isEmpty())
        CInstanceMessenger::SetFolderOverride(folder);
    bool ok = false;
    if (const int fade = Variable("KAVRILUNE_FADE_MS").toInt(&ok); ok && fade >= 0)
        CWindowFader::SetDurationOverride(fade);
    if (const double scale = Variable("KAVRILUNE_CLOCK_SCALE").toDouble(&ok); ok && scale > 0) {
        clockOrigin = int64_t(std::time(nullptr));
        clockScale = scale;
    }
    if (const QString host = Variable("KAVRILUNE_WEB_HOST"); !host.isEmpty())
        SetWebHostOverride(host);
    if (const QString host = Variable("KAVRILUNE_COUNTER_HOST"); !host.isEmpty())
        SetCounterHostOverride(host);
    if (const QString host = Variable("KAVRILUNE_IMAGE_HOST"); !host.isEmpty())
        SetImageHostOverride(host);
}

int64_t ProgramClockNow()
{
    const int64_t now = int64_t(std::time(nullptr));
    const double scale = clockScale.load();
    if (scale == 1.0)
        return now;
    const int64_t origin = clockOrigin.load();
    return origin + int64_t(double(now - origin) * scale);
}
