#include "ui/desktop/MprisService.h"

#include "ui/desktop/MprisPlayerAdaptor.h"
#include "ui/desktop/MprisRootAdaptor.h"
#include "ui/desktop/SessionBusAddress.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace
{

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

} // namespace

CMprisService::CMprisService(MprisPlayerControls controls, QObject* parent)
    : QObject(parent)
    , m_controls(std::move(controls))
{
    new CMprisRootAdaptor(this);
    new CMprisPlayerAdaptor(this);
}

CMprisService::~CMprisService()
{
    Unregister();
}

bool CMprisService::Register()
{
    if (IsRegistered())
        return true;
    if (!SessionBusKnown())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    QString name = QString::fromLatin1(kServiceName);
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(QString::fromLatin1(kObjectPath));
            return false;
        }
    }
    m_serviceName = name;
    m_lastStatus = PlaybackStatus();
    m_lastVolume = Volume();
    m_lastTrack = CurrentTrack();
    return true;
}

void CMprisService::Unregister()
{
    if (!IsRegistered())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_serviceName);
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    m_serviceName.clear();
}

QString CMprisService::PlaybackStatus() const
{
    return m_controls.isPlaying() ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

double CMprisService::Volume() const
{
    return m_controls.volume() / 100.0;
}

QVariantMap CMprisService::Metadata() const
{
    QVariantMap metadata;
    if (!m_controls.isPlaying()) {
        metadata.insert(QStringLiteral("mpris:trackid"),
            QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
        return metadata;
    }
    const Track track = CurrentTrack();
    metadata.insert(QStringLiteral("mpris:trackid"),
        QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/kavrilune/Track/%1").arg(TrackNumber(track)))));
    if (track.song.isEmpty()) {
        metadata.insert(QStringLiteral("xesam:title"), track.station);
    } else {
        metadata.insert(QStringLiteral("xesam:title"), track.song);
        metadata.insert(QStringLiteral("xesam:album"), track.station);
    }
    return metadata;
}

CMprisService::Track CMprisService::CurrentTrack() const
{
    if (!m_controls.isPlaying())
        return Track();
    return Track { m_controls.station(), m_controls.song().trimmed() };
}

quint64 CMprisService::TrackNumber(const Track& track) const
{
    if (track != m_numberedTrack) {
        m_numberedTrack = track;
        ++m_trackNumber;
    }
    return m_trackNumber;
}

void CMprisService::NotifyChanged()
{
    if (!IsRegistered())
        return;
    QVariantMap changed;
    const QString status = PlaybackStatus();
    const double volume = Volume();
    const Track track = CurrentTrack();
    if (status != m_lastStatus)
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    if (volume != m_lastVolume)
        changed.insert(QStringLiteral("Volume"), volume);
    if (status != m_lastStatus || track != m_lastTrack)
        changed.insert(QStringLiteral("Metadata"), Metadata());
    m_lastStatus = status;
    m_lastVolume = volume;
    m_lastTrack = track;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
