#pragma once

#include "core/StationItem.h"
#include "core/WindowMessage.h"

#include <QString>

#include <functional>

class CFavorites;
class CGeneralProperties;
class CPictureArtDlg;
class CPropExtra;
class CPropRecordings;
class CPropSkins;
class CRadioManager;
class CStationsListCtrl;
class QAbstractSlider;

// The main window's play road: playing a station (from the list, the favourites, the history, the
// clipboard or a drop), play, stop, back and next, recording and the wish to record once a player
// plays, mute, the station's details and address, and what the players' status messages set off. What
// is to be shown it hands to the window's display through its callbacks. UI thread only.
class CPlaybackControl
{
public:
    // The window's objects it works on.
    struct Parts {
        CRadioManager& radio;
        CFavorites& favorites;
        CFavorites& history; // newest first
        CStationsListCtrl& list; // finds and edits the catalogue's stations
        const QAbstractSlider& volume;
        CPictureArtDlg& pictureArt;
    };
    // The option values it reads; a skin package dropped on the window changes the skin's.
    struct Options {
        const CGeneralProperties& general;
        const CPropExtra& advanced;
        const CPropRecordings& recordings;
        CPropSkins& skins;
        const int& bufferSizeMs;
    };
    // What it asks of the window.
    struct Callbacks {
        std::function<void(int status)> showStatus;
        std::function<void(bool balloon)> updateTitleText;
        std::function<void()> updateStreamFormatText;
        std::function<void()> updatePlayButton;
        std::function<void()> updateMuteButton;
        std::function<void()> updateRecButton;
        // The settings changed and are to be saved soon.
        std::function<void()> markDirty;
        // A newly installed skin is to be put on.
        std::function<void()> applySkin;
        // The program's folder, where skins are installed.
        std::function<QString()> appFolder;
    };

    CPlaybackControl(const Parts& parts, const Options& options, Callbacks callbacks);

    // Carries out a command of the window's buttons and menus that is the play road's (play, stop,
    // mute, record, back, next, a favourite or history entry ...); false for any other id.
    bool OnCommand(int id);
    // Plays a station with the current option values; the record wish goes with it.
    void PlayStation(const CStationItem& station, bool addToHistory);
    // Stops what plays, else plays the current station.
    void OnPlay();
    // Stops, unless a running recording is not to be stopped.
    void OnStop();
    // The station list's selection, at its source sourceIndex.
    void OnPlayListIndex(WPARAM sourceIndex);
    // The older and the newer station of the history.
    void OnBack();
    void OnNext();
    void OnFavoriteItem(int commandId);
    void OnHistoryItem(int commandId);
    // The clipboard's address.
    void OnPasteUrl();
    void OnDropText(const QString& text);
    // A skin package is offered for installing; an Internet shortcut plays its address; another file
    // plays as it is.
    void OnDropFile(const QString& path);
    // The station editor on the playing station.
    void OnStationDetails();
    void OnCopyUrl();
    // Starts or stops recording.
    void OnRecord();
    void StartRecording();
    // Stops a running recording, asking the user unless forced; false when the user wants it to go on.
    bool ConfirmStopRecording(bool forced);
    void OnMute();
    // A player's status message; sender is the player (null for the watchdog's).
    void OnUpdateStatus(WPARAM code, LPARAM sender);
    // The album art of the song playing, where the options want it.
    void ShowPictureArt();
    // The radio's watchdog; the record button follows when it ended a recording.
    void OnWatchdogTick();

    // The next station played is recorded once it plays.
    void SetPendingRecord(bool record) { m_pendingRecord = record; }
    // The name recordings are written under.
    void SetRecordingName(const QString& name) { m_recordingName = name; }
    const QString& RecordingName() const { return m_recordingName; }

private:
    void PlayTitleAndUrl(const QString& title, const QString& url, bool addToHistory);
    void OfferSkinPackage(const QString& path);

    Parts m_parts;
    Options m_options;
    Callbacks m_callbacks;
    bool m_pendingRecord = false; // the next station played is to be recorded
    bool m_recordWhenPlaying = false; // the record wish, acted on when the player plays
    bool m_playRequested = false; // a station was asked to play since start-up
    QString m_recordingName = QStringLiteral("Untitled");
};
