#include "ui/mainwindow/StatusDisplay.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "audio/RadioManager.h"
#include "audio/RadioPlayer.h"
#include "core/Localization.h"
#include "core/SeException.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/PlayTexts.h"
#include "ui/options/PropExtra.h"

#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace
{

const QString kProgramTitle = QStringLiteral("Kavri? Lune!");

using namespace main_window_texts;

// The statuses shown by a fixed text.
constexpr std::pair<int, int> kStatusTexts[]
    = { { PlayerStatusInitializing, kTextInit }, { PlayerStatusInitFailed, kTextInitError },
          { PlayerStatusInitDone, kTextInitDone }, { PlayerStatusStopping, kTextStopping },
          { PlayerStatusStopped, kTextStopped }, { PlayerStatusConnecting, kTextConnecting },
          { PlayerStatusBuffering, kTextBuffering }, { PlayerStatusConnectionError, kTextConnectionError },
          { PlayerStatusStoppedByItself, kTextConnectError }, { PlayerStatusCannotConnect, kTextConnectError } };

} // namespace

CStatusDisplay::CStatusDisplay(const Controls& controls, CRadioManager& radio, const CPropExtra& advanced,
    CSystemTray& tray, CMprisService& mpris, std::function<int()> stationsFound)
    : m_controls(controls)
    , m_radio(radio)
    , m_advanced(advanced)
    , m_tray(tray)
    , m_mpris(mpris)
    , m_stationsFound(std::move(stationsFound))
{
}

QString CStatusDisplay::PlayingText()
{
    return GetLangString(kTextPlaying) + QStringLiteral(" (%1)").arg(FormatElapsedTime(m_radio.GetElapsedTime()));
}

void CStatusDisplay::ShowStatus(int status)
{
    if (status == PlayerStatusPlaying) {
        m_lastStatus = status;
        m_controls.status.SetText(PlayingText());
        return;
    }
    for (const auto& [known, text] : kStatusTexts) {
        if (status != known)
            continue;
        m_controls.status.SetText(GetLangString(text));
        m_lastStatus = status;
        return;
    }
}

void CStatusDisplay::UpdateTitleText(bool balloon)
{
    try {
        m_mpris.NotifyChanged();
        if (!m_radio.IsPlaying()) {
            m_controls.window.setWindowTitle(kProgramTitle);
            m_tray.SetTooltip(kProgramTitle, false);
            m_controls.songTitle.SetText(kProgramTitle);
            return;
        }
        const QString station = m_radio.GetStationName();
        const QString song = m_radio.GetStreamName();
        if (song.trimmed().isEmpty()) {
            m_controls.window.setWindowTitle(station);
            m_tray.SetTooltip(station, false);
            m_controls.songTitle.SetText(station);
            return;
        }
        m_controls.songTitle.SetText(song);
        m_controls.window.setWindowTitle(m_advanced.m_alwaysShowTitle ? station + QStringLiteral(" - ") + song : song);
        m_tray.SetTooltip(station + u'\n' + song, balloon);
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1128);
        e->Delete();
    }
}

void CStatusDisplay::UpdateStreamFormatText()
{
    try {
        m_controls.sources.setText(StreamFormatText(m_radio.GetStreamInfo(), m_radio.GetBitrate()));
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1152);
        e->Delete();
    }
}

void CStatusDisplay::OnStatusTimer()
{
    if (m_lastStatus == PlayerStatusPlaying)
        m_controls.status.SetText(PlayingText());
    const int fill = RoundBufferPercent(m_radio.GetBufferPercent());
    m_controls.bufferInfo.SetText(FormatLangText(GetLangString(kTextBuffer), { QString::number(fill) }));
    m_controls.bufferIndicator.setValue(std::clamp(fill, 0, 100));
}

void CStatusDisplay::UpdateRotatedInfo()
{
    m_controls.rotatedInfo.SetText(m_radio.IsPlaying() ? m_radio.GetStreamTitle() : m_radio.GetStationName());
}

void CStatusDisplay::UpdateFoundNumber()
{
    m_controls.foundNumber.SetText(
        FormatLangText(GetLangString(kTextStationsFound), { QString::number(m_stationsFound()) }));
}

void CStatusDisplay::UpdateButtons()
{
    const std::pair<CGdipButton*, int> tooltips[] = { { &m_controls.exit, kTextExit }, { &m_controls.back, kTextBack },
        { &m_controls.next, kTextForward }, { &m_controls.options, kTextOptions },
        { &m_controls.favorites, kTextFavorites }, { &m_controls.expand, kTextExpand },
        { &m_controls.onTop, kTextOnTop }, { &m_controls.minimize, kTextHide } };
    for (const auto& [button, text] : tooltips)
        button->SetTooltipText(GetLangString(text));
    UpdatePlayButton();
    UpdateMuteButton();
    UpdateRecButton();
    UpdateFoundNumber();
}

void CStatusDisplay::UpdatePlayButton()
{
    const bool playing = m_radio.IsPlaying();
    m_controls.play.SetTooltipText(GetLangString(playing ? kTextStop : kTextPlay));
    m_controls.play.SetAlternate(playing);
    m_mpris.NotifyChanged();
}

void CStatusDisplay::UpdateMuteButton()
{
    const bool muted = m_radio.IsMuted();
    m_controls.mute.SetTooltipText(GetLangString(muted ? kTextUnmute : kTextMute));
    m_controls.mute.SetAlternate(muted);
}

void CStatusDisplay::UpdateRecButton()
{
    const bool recording = m_radio.IsRecording();
    m_controls.rec.SetTooltipText(GetLangString(recording ? kTextStopRec : kTextRec));
    m_controls.rec.SetAlternate(recording);
    m_tray.SetIcon(recording ? CSystemTray::kIconRecording : CSystemTray::kIconNormal);
}
