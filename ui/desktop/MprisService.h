#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// What the desktop's media controls may do with the player and what they see of it.
struct MprisPlayerControls {
    std::function<void()> playPause;
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> stop;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void(int percent)> setVolume;
    std::function<bool()> isPlaying;
    std::function<int()> volume; // percent
    std::function<QString()> station; // the station playing
    std::function<QString()> song; // the title the station gives what it plays; empty while none is known
};

// The player on the session bus as a media player the desktop controls (its media keys, its sound
// menu): the object /org/mpris/MediaPlayer2 under the name org.mpris.MediaPlayer2.Kavrilune (a second
// instance adds ".instance<pid>"), with the play, stop, next and previous commands and the volume.
//
// UI thread only; the bus delivers its calls there.
class CMprisService : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.Kavrilune";

    explicit CMprisService(MprisPlayerControls controls, QObject* parent = nullptr);
    ~CMprisService() override;

    // Offers the player on the session bus; false when there is no session bus.
    bool Register();
    void Unregister();
    bool IsRegistered() const { return !m_serviceName.isEmpty(); }
    const QString& ServiceName() const { return m_serviceName; }

    // Tells the bus which of the playback state, volume and track (station and song) changed since
    // the last call.
    void NotifyChanged();

    const MprisPlayerControls& Controls() const { return m_controls; }
    QString PlaybackStatus() const;
    double Volume() const;
    // While playing: the song as the title and the station as the album, or the station as the title
    // while no song is known; each new song is a track of its own.
    QVariantMap Metadata() const;

private:
    struct Track {
        QString station;
        QString song;
        bool operator==(const Track&) const = default;
    };
    Track CurrentTrack() const;
    // The number of the current track, counting on with every change of station or song.
    quint64 TrackNumber(const Track& track) const;

    MprisPlayerControls m_controls;
    QString m_serviceName; // empty while not on the bus
    QString m_lastStatus;
    double m_lastVolume = -1;
    Track m_lastTrack; // as last told to the bus
    mutable Track m_numberedTrack; // what m_trackNumber counts
    mutable quint64 m_trackNumber = 0;
};
