#pragma once

#include <QString>

#include <functional>

class CGdipButton;
class CHyperStatic;
class CMprisService;
class CPropExtra;
class CRadioManager;
class CSystemTray;
class QProgressBar;
class QWidget;

// What the main window shows of playback: the status line and the status a player reported last, the
// song title (also as the window's title and the tray's tooltip), the stream format, the buffer and
// elapsed time, the rotating info line, the number of stations found, and the buttons' tooltips and
// states. It only shows; it starts and stops nothing. UI thread only.
class CStatusDisplay
{
public:
    // The controls it writes; all of them belong to the window.
    struct Controls {
        QWidget& window; // its title follows the song
        CHyperStatic& songTitle;
        CHyperStatic& status;
        CHyperStatic& bufferInfo;
        CHyperStatic& rotatedInfo;
        CHyperStatic& foundNumber;
        QProgressBar& bufferIndicator;
        // The buttons whose look shows a state, and the one that shows the stream format.
        CGdipButton& play;
        CGdipButton& mute;
        CGdipButton& rec;
        CGdipButton& sources;
        // The buttons whose tooltip is their name alone.
        CGdipButton& exit;
        CGdipButton& back;
        CGdipButton& next;
        CGdipButton& options;
        CGdipButton& favorites;
        CGdipButton& expand;
        CGdipButton& onTop;
        CGdipButton& minimize;
    };

    // radio: what is shown is read from it; advanced: "Always show title"; tray and mpris are told of
    // titles and states; stationsFound: how many stations the list shows now.
    CStatusDisplay(const Controls& controls, CRadioManager& radio, const CPropExtra& advanced, CSystemTray& tray,
        CMprisService& mpris, std::function<int()> stationsFound);

    // A player's status as the status line's text (the elapsed time with "playing"); remembered as the
    // last status.
    void ShowStatus(int status);
    int LastStatus() const { return m_lastStatus; }
    // The song, or the station while no song is known, or the program while nothing plays; balloon:
    // the tray shows the new title in a balloon.
    void UpdateTitleText(bool balloon);
    void UpdateStreamFormatText();
    // The status timer's work: the elapsed time while playing, the buffer's fill. Throws what the radio
    // throws; the caller logs it.
    void OnStatusTimer();
    // The next entry of the title history while playing, else the station.
    void UpdateRotatedInfo();
    void UpdateFoundNumber();
    // Every button's tooltip and state, and the number of stations found (after a change of language).
    void UpdateButtons();
    void UpdatePlayButton();
    void UpdateMuteButton();
    // Also the tray's icon.
    void UpdateRecButton();

private:
    QString PlayingText();

    Controls m_controls;
    CRadioManager& m_radio;
    const CPropExtra& m_advanced;
    CSystemTray& m_tray;
    CMprisService& m_mpris;
    std::function<int()> m_stationsFound;
    int m_lastStatus = 0;
};
