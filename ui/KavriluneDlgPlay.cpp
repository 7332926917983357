// Every road that plays, stops, switches or records a station, and the display of what the players
// report: status, titles, stream format, buffer and elapsed time.

#include "ui/KavriluneDlg.h"

#include "audio/RadioPlayer.h"
#include "core/ErrorLog.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "ui/GdipButton.h"
#include "ui/HyperStatic.h"
#include "ui/MprisService.h"
#include "ui/PictureArtDlg.h"
#include "ui/PlayTexts.h"
#include "ui/SkinPackage.h"
#include "ui/SliderCtrlEx.h"
#include "ui/StationsListCtrl.h"
#include "ui/SystemTray.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QProgressBar>

namespace
{

const QString kProgramTitle = QStringLiteral("Kavri? Lune!");
constexpr int kMaxClipboardUrl = 3999;
constexpr int kShortcutReadBytes = 4000;

// Texts of the language table.
enum : int {
    kTextPlaying = 1,
    kTextConnecting = 2,
    kTextStopping = 3,
    kTextStopped = 4,
    kTextInit = 5,
    kTextInitError = 6,
    kTextInitDone = 7,
    kTextConnectError = 8,
    kTextBuffering = 9,
    kTextConnectionError = 10,
    kTextBuffer = 12,
    kTextExit = 100,
    kTextPlay = 101,
    kTextStop = 102,
    kTextBack = 103,
    kTextMute = 104,
    kTextRec = 105,
    kTextStationsFound = 106,
    kTextUnmute = 110,
    kTextStopRec = 111,
    kTextForward = 112,
    kTextExpand = 113,
    kTextOnTop = 114,
    kTextHide = 115,
    kTextCannotRecord = 301,
    kTextInstallSkin = 310,
    kTextCannotInstallSkin = 312,
    kTextOptions = 400,
    kTextFavorites = 700,
};

} // namespace

void CKavriluneDlg::PlayStation(const CStationItem& station, bool addToHistory)
{
    m_pictureArt->ShowPictureFor(QString());
    m_list->SetPlayingSource(station.GetCurrentSourceUrl());
    m_radio.SetVolume(m_volume->value());
    m_radio.SetPlayerOptions(m_advanced.m_device, m_general.m_crossfade, m_recordings.m_bitrate, m_bufferSize,
        m_recordings.m_preBuffering, m_general.m_normalization);
    m_radio.PlayStation(station, false, false);
    m_playRequested = true;
    if (addToHistory)
        m_history.AddAsync(station.GetTitle(), station.GetCurrentSourceUrl(), 0);
    UpdatePlayButton();
    MarkDirty();
    // A player can record only once it has a stream: the recording asked for starts when it plays.
    m_recordWhenPlaying = m_pendingRecord;
    m_pendingRecord = false;
}

void CKavriluneDlg::PlayTitleAndUrl(const QString& title, const QString& url, bool addToHistory)
{
    CStationItem station;
    m_list->FindOrAddStation(station, title, url);
    PlayStation(station, addToHistory);
}

void CKavriluneDlg::OnPlay()
{
    if (m_radio.IsPlaying()) {
        OnStop();
        return;
    }
    CStationItem station;
    m_radio.GetCurrentStation(station);
    PlayStation(station, true);
}

void CKavriluneDlg::OnStop()
{
    if (!ConfirmStopRecording(false))
        return;
    m_radio.Stop(false, false);
    UpdatePlayButton();
}

void CKavriluneDlg::OnPlayListIndex(WPARAM sourceIndex)
{
    if (!ConfirmStopRecording(false))
        return;
    CStationItem station;
    if (m_list->GetSelectedStation(station, uint8_t(sourceIndex)))
        PlayStation(station, true);
}

void CKavriluneDlg::OnBack()
{
    if (!ConfirmStopRecording(false))
        return;
    QString title, url;
    // The history is newest first: the entry after the current one is the older station.
    if (!m_history.GetNext(title, url))
        return;
    PlayTitleAndUrl(title, url, false);
    m_history.SetCurrent(title);
}

void CKavriluneDlg::OnNext()
{
    if (!ConfirmStopRecording(false))
        return;
    m_history.SetCurrent(m_radio.GetStationName());
    QString title, url;
    if (m_history.GetPrevious(title, url))
        PlayTitleAndUrl(title, url, false);
}

void CKavriluneDlg::OnFavoriteItem(int commandId)
{
    if (!ConfirmStopRecording(false))
        return;
    QString title, url;
    m_favorites.GetByCommandId(commandId, title, url);
    if (!title.isEmpty())
        PlayTitleAndUrl(title, url, true);
}

void CKavriluneDlg::OnHistoryItem(int commandId)
{
    if (!ConfirmStopRecording(false))
        return;
    QString title, url;
    m_history.GetByCommandId(commandId, title, url);
    if (!title.isEmpty())
        PlayTitleAndUrl(title, url, false);
}

void CKavriluneDlg::OnPasteUrl()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QString url = clipboard ? clipboard->text() : QString();
    if (url.isEmpty() || url.size() > kMaxClipboardUrl)
        return;
    PlayTitleAndUrl(url, url, true);
}

void CKavriluneDlg::OnDropText(const QString& text)
{
    if (text.isEmpty() || !ConfirmStopRecording(false))
        return;
    PlayTitleAndUrl(text, text, true);
}

void CKavriluneDlg::OnDropFile(const QString& path)
{
    if (HasSkinPackageEnding(path)) {
        QString skinFolder;
        if (!IsSkinPackage(path, skinFolder))
            return;
        const QString question = GetLangString(kTextInstallSkin) + QStringLiteral(" - \"") + skinFolder + u'"';
        if (MessageBox(question, QString(), MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
            return;
        const int result = InstallSkinPackage(path, skinFolder, m_appFolder);
        if (result == kSkinInstalled) {
            m_skins.m_skin = skinFolder.section(u'.', 0, 0);
            m_skins.SaveSettings();
            ApplySkin(500, true);
            m_skins.FillSkinList();
        } else if (result == kSkinInstallFailed) {
            MessageBox(GetLangString(kTextCannotInstallSkin), QString(), MB_OK);
        }
        return;
    }
    if (!ConfirmStopRecording(false))
        return;
    QString url = path;
    if (path.endsWith(QStringLiteral(".url"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QString target = UrlFromShortcut(file.read(kShortcutReadBytes));
        if (!target.isEmpty())
            url = target;
    }
    PlayTitleAndUrl(url, url, true);
}

void CKavriluneDlg::OnStationDetails()
{
    CStationItem station;
    m_radio.GetCurrentStation(station);
    bool hasField = false;
    for (int slot = 0; slot < station.GetSize() && !hasField; ++slot)
        hasField = !station.GetAt(slot).isEmpty();
    if (!hasField)
        return;
    const uint8_t source = station.GetCurrentSource();
    m_list->EditStation(station);
    // The editor changed the catalogue's own record and the copy alike; the playing station follows.
    station.SetCurrentSource(source);
    m_radio.SetCurrentStation(station);
    UpdateTitleText(false);
}

void CKavriluneDlg::OnCopyUrl()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(m_radio.GetStationUrl());
}

void CKavriluneDlg::OnRecord()
{
    if (!m_radio.IsRecording()) {
        StartRecording();
        return;
    }
    m_radio.StopRecording(true, false);
    UpdateRecButton();
}

void CKavriluneDlg::StartRecording()
{
    if (!m_radio.StartRecording(
            m_recordings.m_folder, m_recordingName, m_recordings.m_bitrate, m_recordings.m_dontWriteExisting))
        MessageBox(GetLangString(kTextCannotRecord), QString(), MB_OK);
    UpdateRecButton();
    UpdateTitleText(false);
}

bool CKavriluneDlg::ConfirmStopRecording(bool forced)
{
    const bool stopped = m_radio.StopRecording(forced, false);
    UpdateRecButton();
    return stopped;
}

void CKavriluneDlg::OnMute()
{
    m_radio.ToggleMute();
    UpdateMuteButton();
}

// --- buttons ---

void CKavriluneDlg::UpdatePlayButton()
{
    const bool playing = m_radio.IsPlaying();
    CGdipButton* play = Button(kCommandPlay);
    play->SetTooltipText(GetLangString(playing ? kTextStop : kTextPlay));
    play->SetAlternate(playing);
    m_mpris->NotifyChanged();
}

void CKavriluneDlg::UpdateMuteButton()
{
    const bool muted = m_radio.IsMuted();
    CGdipButton* mute = Button(kCommandMute);
    mute->SetTooltipText(GetLangString(muted ? kTextUnmute : kTextMute));
    mute->SetAlternate(muted);
}

void CKavriluneDlg::UpdateRecButton()
{
    const bool recording = m_radio.IsRecording();
    CGdipButton* rec = Button(kCommandRec);
    rec->SetTooltipText(GetLangString(recording ? kTextStopRec : kTextRec));
    rec->SetAlternate(recording);
    m_tray->SetIcon(recording ? CSystemTray::kIconRecording : CSystemTray::kIconNormal);
}

void CKavriluneDlg::UpdateButtons()
{
    const std::pair<int, int> tooltips[] = { { kCommandExit, kTextExit }, { kCommandBack, kTextBack },
        { kCommandNext, kTextForward }, { kCommandOptions, kTextOptions }, { kCommandFavorites, kTextFavorites },
        { kCommandExpand, kTextExpand }, { kCommandOnTop, kTextOnTop }, { kCommandMinimize, kTextHide } };
    for (const auto& [id, text] : tooltips)
        Button(id)->SetTooltipText(GetLangString(text));
    UpdatePlayButton();
    UpdateMuteButton();
    UpdateRecButton();
    UpdateFoundNumber();
    m_list->InitColumns();
}

// --- what the players report ---

void CKavriluneDlg::OnUpdateStatus(WPARAM code, LPARAM sender)
{
    try {
        auto* player = reinterpret_cast<RadioPlayer*>(sender);
        const int status = int(code);
        if (status == PlayerStatusFinished) {
            m_radio.DeletePlayer(player);
            UpdateTitleText(false);
            UpdatePlayButton();
            UpdateRecButton();
            return;
        }
        if (status == PlayerStatusCannotConnect) {
            // The watchdog's report before anything was asked to play says nothing to the user.
            if (!player && !m_playRequested)
                return;
            m_status->SetText(GetLangString(kTextConnectError));
            m_lastStatus = status;
            UpdatePlayButton();
            UpdateRecButton();
            return;
        }
        if (!m_radio.IsCurrentPlayer(player))
            return;
        static const std::pair<int, int> simpleTexts[] = { { PlayerStatusInitializing, kTextInit },
            { PlayerStatusInitFailed, kTextInitError }, { PlayerStatusInitDone, kTextInitDone },
            { PlayerStatusStopping, kTextStopping }, { PlayerStatusStopped, kTextStopped },
            { PlayerStatusConnecting, kTextConnecting }, { PlayerStatusBuffering, kTextBuffering },
            { PlayerStatusConnectionError, kTextConnectionError }, { PlayerStatusStoppedByItself, kTextConnectError } };
        for (const auto& [known, text] : simpleTexts) {
            if (status != known)
                continue;
            m_status->SetText(GetLangString(text));
            m_lastStatus = status;
            if (status == PlayerStatusInitFailed || status == PlayerStatusConnectionError)
                UpdatePlayButton();
            if (status == PlayerStatusStopped) {
                UpdateTitleText(false);
                UpdatePlayButton();
            }
            return;
        }
        switch (status) {
        case PlayerStatusPlaying:
            // A recording asked for before there was a stream starts now (it goes on if it runs).
            if (m_recordWhenPlaying || m_radio.IsRecording()) {
                m_recordWhenPlaying = false;
                StartRecording();
            }
            m_lastStatus = status;
            m_status->SetText(
                GetLangString(kTextPlaying) + QStringLiteral(" (%1)").arg(FormatElapsedTime(m_radio.GetElapsedTime())));
            UpdateTitleText(false);
            UpdateStreamFormatText();
            break;
        case PlayerStatusTagsRead:
            UpdateTitleText(false);
            UpdateStreamFormatText();
            break;
        case PlayerStatusNewStreamTitle:
            UpdateTitleText(true);
            if (m_radio.IsRecording() && m_recordings.m_splitByTracks) {
                ConfirmStopRecording(true);
                StartRecording();
            }
            ShowPictureArt();
            break;
        case PlayerStatusRecordingError:
            // The recording ends with its failure: nothing starts it again until the user asks.
            ConfirmStopRecording(true);
            MessageBox(QStringLiteral("Recording stopped due to unexpected error."), QString(), MB_OK);
            break;
        case PlayerStatusBitrateChanged:
            UpdateStreamFormatText();
            break;
        default:
            break;
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1016);
        e->Delete();
    }
}

void CKavriluneDlg::ShowPictureArt()
{
    m_pictureArt->SetEnabled(m_advanced.m_showPictures);
    m_pictureArt->ShowPictureFor(m_radio.GetStreamName());
}

void CKavriluneDlg::UpdateTitleText(bool balloon)
{
    try {
        m_mpris->NotifyChanged();
        if (!m_radio.IsPlaying()) {
            setWindowTitle(kProgramTitle);
            m_tray->SetTooltip(kProgramTitle, false);
            m_songTitle->SetText(kProgramTitle);
            return;
        }
        const QString station = m_radio.GetStationName();
        const QString song = m_radio.GetStreamName();
        if (song.trimmed().isEmpty()) {
            setWindowTitle(station);
            m_tray->SetTooltip(station, false);
            m_songTitle->SetText(station);
            return;
        }
        m_songTitle->SetText(song);
        setWindowTitle(m_advanced.m_alwaysShowTitle ? station + QStringLiteral(" - ") + song : song);
        m_tray->SetTooltip(station + u'\n' + song, balloon);
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1128);
        e->Delete();
    }
}

void CKavriluneDlg::UpdateStreamFormatText()
{
    try {
        Button(kCommandSources)->setText(StreamFormatText(m_radio.GetStreamInfo(), m_radio.GetBitrate()));
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1152);
        e->Delete();
    }
}

void CKavriluneDlg::OnStatusTimer()
{
    try {
        if (m_lastStatus == PlayerStatusPlaying)
            m_status->SetText(
                GetLangString(kTextPlaying) + QStringLiteral(" (%1)").arg(FormatElapsedTime(m_radio.GetElapsedTime())));
        const int fill = RoundBufferPercent(m_radio.GetBufferPercent());
        m_bufferInfo->SetText(FormatLangText(GetLangString(kTextBuffer), { QString::number(fill) }));
        m_bufferIndicator->setValue(std::clamp(fill, 0, 100));
        m_list->ShowIfNeeded(IsShown());
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1180);
        e->Delete();
    }
}

void CKavriluneDlg::UpdateRotatedInfo()
{
    m_rotatedInfo->SetText(m_radio.IsPlaying() ? m_radio.GetStreamTitle() : m_radio.GetStationName());
    const bool recording = m_radio.IsRecording();
    m_radio.OnWatchdogTick();
    if (m_radio.IsRecording() != recording)
        UpdateRecButton();
}

void CKavriluneDlg::UpdateFoundNumber()
{
    m_foundNumber->SetText(
        FormatLangText(GetLangString(kTextStationsFound), { QString::number(m_list->GetVisibleCount()) }));
}

void CKavriluneDlg::OnListWorkerDone()
{
    m_list->Refresh();
    UpdateFoundNumber();
}
