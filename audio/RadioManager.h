#pragma once

#include "audio/RadioPlayer.h"
#include "audio/SoundDisplay.h"
#include "core/StationItem.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <cstdint>
#include <vector>

// The user interface's one door into the audio engine. It owns the current player, starts a new one
// for every play request with the options last handed to it, deletes players when they report that
// they have finished, keeps the station being played and the recording wish, and reconnects a station
// that has gone silent (the watchdog).
//
// Every operation is called on the main window's thread. m_lock guards the current-player pointer
// against deletion and replacement; it is re-entrant. Players never call the manager: they post
// their status to the notify window, which hands finished players back through DeletePlayer.
class CRadioManager
{
public:
    explicit CRadioManager(QObject* notifyWindow = nullptr);
    virtual ~CRadioManager();

    CRadioManager(const CRadioManager&) = delete;
    CRadioManager& operator=(const CRadioManager&) = delete;

    // Where players and the watchdog post WM_KAVRILUNE_UPDATE_STATUS_: the main window.
    void SetNotifyWindow(QObject* window) { m_notifyWindow = window; }

    // Options for the next players. netBufferMs: network buffer; recorderBitrate in kbit/s, 0 = automatic.
    void SetPlayerOptions(
        int device, bool crossfade, int recorderBitrate, int netBufferMs, bool preBuffering, bool normalize);

    void PlayStation(const CStationItem& station, bool ignored, bool keepActive);
    void Play(const QString& name, const QString& url);
    void Stop(bool fade, bool restart);

    // True when the recording runs or is wanted (no player, or no stream yet: it starts once there is one).
    bool StartRecording(const QString& folder, const QString& fallbackName, int recorderBitrate, bool dontOverwrite);
    bool RestartRecording();
    // False when the user declined to stop.
    bool StopRecording(bool forced, bool keepWish);
    void SyncRecordingState();
    // Every 4 s from the main window's timer.
    void OnWatchdogTick();

    void SetVolume(int volume);
    int GetVolume() const { return m_volume; }
    void SetMute(bool mute);
    void ToggleMute() { SetMute(!m_muted); }
    bool IsMuted() const { return m_muted; }
    void SetEqualizerPreset(int preset);
    int GetEqualizerPreset() const { return m_equalizerPreset; }

    // The current player's values, or the neutral value without one.
    int GetBufferPercent();
    int64_t GetElapsedTime();
    int GetBitrate();
    QString GetStreamName(); // the current song title
    QString GetStreamTitle(); // the next entry of the title history
    QString GetStreamInfo(); // the codec name

    bool IsCurrentPlayer(RadioPlayer* player);
    // Deletes a player that reported PlayerStatusFinished.
    void DeletePlayer(RadioPlayer* player);
    int GetPlayerCount() const { return m_playerCount; }
    // Whether the station plays as far as the user is concerned: not while the manager brings back a
    // station nobody hears any more, nor while the current player plays to no one.
    bool IsPlaying() const;
    // The current player plays to no one: no sound device could be opened.
    bool PlaysWithoutSound() const;
    bool IsRecording() const { return m_recording; }

    void SetCurrentStation(const CStationItem& station);
    void GetCurrentStation(CStationItem& station) const;
    QString GetStationName() const;
    QString GetStationUrl() const;

    void DrawSpectrum(CSoundDisplay& renderer);
    // At exit: no further plays.
    void BlockPlay() { m_exit = true; }
    // Before the notify window and the audio library go: no further plays, every player stops at once
    // without a fade and posts nothing more; waits at most waitMs for their threads and deletes them.
    // A player whose thread does not end in time is left to it (it can post nothing). Returns whether
    // every thread ended. Later calls do nothing.
    bool Shutdown(int waitMs);
    static constexpr int kShutdownWaitMs = 3000;
    static constexpr int kFinishedThreadWaitMs = 1000;

    // The folder recordings of a station go to: a relative folder lies under the program folder.
    QString RecordingDirectory(const QString& folder) const;
    // Joins two path parts with one separator; an absolute second part replaces the first.
    static QString JoinPath(const QString& first, const QString& second);
    // One component of a recording path made safe as a file name.
    static QString SafePathComponent(const QString& text);

private:
    void PostWatchdogStatus();
    // The current player is heard, or is about to be (it connects at the user's request).
    bool Heard() const;

    RadioPlayer* m_currentPlayer = nullptr; // m_lock
    // Every player not yet deleted, the current one included (UI thread only). A status for a player
    // that is not here any more (a second "finished", or one posted before a shutdown) deletes nothing.
    std::vector<RadioPlayer*> m_players;
    bool m_shutDown = false;
    CStationItem m_currentStation;
    mutable QRecursiveMutex m_lock;
    QString m_appFolder;
    QString m_recordingFolder;
    QString m_recordingFallbackName;
    int64_t m_lastActivity = 0; // seconds, 0 = unset
    int m_playerCount = 0;
    bool m_playing = false; // a station should be playing: the user's wish, which the watchdog keeps
    // The station was heard and is not any more (its player ended, its output went away): the watchdog
    // brings it back, and until it is heard again it does not count as playing. Cleared by a stop.
    mutable bool m_reconnecting = false;
    // The last current player ended for want of an output: the watchdog tries again at every tick.
    bool m_awaitingOutput = false;
    // The station asked for last failed before it ever played, and nobody has stopped or played since.
    bool m_failed = false;
    bool m_recording = false;
    bool m_crossfade = false;
    int m_device = 0;
    int m_recorderBitrate = 0;
    bool m_preBuffering = false;
    int m_netBuffer = 4000;
    bool m_normalize = false;
    bool m_exit = false;
    bool m_wasActive = false;
    int m_volume = 100;
    bool m_muted = false;
    int m_equalizerPreset = -1;
    bool m_dontOverwrite = false;
    QObject* m_notifyWindow;
};
