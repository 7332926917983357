#include "ui/desktop/MprisPlayerAdaptor.h"

#include "ui/desktop/MprisService.h"

#include <algorithm>
#include <cmath>

CMprisPlayerAdaptor::CMprisPlayerAdaptor(CMprisService* service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{
}

QString CMprisPlayerAdaptor::PlaybackStatus() const
{
    return m_service->PlaybackStatus();
}

QVariantMap CMprisPlayerAdaptor::Metadata() const
{
    return m_service->Metadata();
}

double CMprisPlayerAdaptor::Volume() const
{
    return m_service->Volume();
}

void CMprisPlayerAdaptor::SetVolume(double volume)
{
    if (!std::isfinite(volume))
        return;
    m_service->Controls().setVolume(int(std::lround(std::clamp(volume, 0.0, 1.0) * 100.0)));
}

void CMprisPlayerAdaptor::PlayPause()
{
    m_service->Controls().playPause();
}

void CMprisPlayerAdaptor::Play()
{
    m_service->Controls().play();
}

void CMprisPlayerAdaptor::Pause()
{
    m_service->Controls().pause();
}

void CMprisPlayerAdaptor::Stop()
{
    m_service->Controls().stop();
}

void CMprisPlayerAdaptor::Next()
{
    m_service->Controls().next();
}

void CMprisPlayerAdaptor::Previous()
{
    m_service->Controls().previous();
}
