#include "ui/mainwindow/PlaybackControl.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "audio/RadioManager.h"
#include "audio/RadioPlayer.h"
#include "core/Favorites.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/RegularFile.h"
#include "core/SeException.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/mainwindow/PlayTexts.h"
#include "ui/options/GeneralProperties.h"
#include "ui/options/PropExtra.h"
#include "ui/options/PropRecordings.h"
#include "ui/options/PropSkins.h"
#include "ui/skin/SkinPackage.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QAbstractSlider>
#include <QClipboard>
#include <QGuiApplication>

#include <utility>

namespace
{

constexpr int kMaxClipboardUrl = 3999;
constexpr int kShortcutReadBytes = 4000;

using namespace main_window_commands;
using namespace main_window_texts;

} // namespace

CPlaybackControl::CPlaybackControl(const Parts& parts, const Options& options, Callbacks callbacks)
    : m_parts(parts)
    , m_options(options)
    , m_callbacks(std::move(callbacks))
{
}

void CPlaybackControl::PlayStation(const CStationItem& station, bool addToHistory)
{
    CRadioManager& radio = m_parts.radio;
    m_parts.pictureArt.ShowPictureFor(QString());
    m_parts.list.SetPlayingSource(station.GetCurrentSourceUrl());
    radio.SetVolume(m_parts.volume.value());
    radio.SetPlayerOptions(m_options.advanced.m_device, m_options.general.m_crossfade, m_options.recordings.m_bitrate,
        m_options.bufferSizeMs, m_options.recordings.m_preBuffering, m_options.general.m_normalization);
    radio.PlayStation(station, false, false);
    m_playRequested = true;
    if (addToHistory)
        m_parts.history.AddAsync(station.GetTitle(), station.GetCurrentSourceUrl(), 0);
    m_callbacks.updatePlayButton();
    m_callbacks.markDirty();
    // A player can record only once it has a stream: the recording asked for starts when it plays.
    m_recordWhenPlaying = m_pendingRecord;
    m_pendingRecord = false;
}

void CPlaybackControl::PlayTitleAndUrl(const QString& title, const QString& url, bool addToHistory)
{
    CStationItem station;
    m_parts.list.FindOrAddStation(station, title, url);
    PlayStation(station, addToHistory);
}

bool CPlaybackControl::OnCommand(int id)
{
    switch (id) {
    case kCommandPlay:
        OnPlay();
        return true;
    case kCommandStop:
        OnStop();
        return true;
    case kCommandSpectrum:
    case kCommandMute:
    case kCommandMenuMute:
        OnMute();
        return true;
    case kCommandCopyUrl:
        OnCopyUrl();
        return true;
    case kCommandDetails:
        OnStationDetails();
        return true;
    case kCommandBack:
        OnBack();
        return true;
    case kCommandNext:
        OnNext();
        return true;
    case kCommandRec:
    case kCommandMenuRec:
        OnRecord();
        return true;
    case kCommandPasteUrl:
        OnPasteUrl();
        return true;
    default:
        if (id >= kCommandFirstFavorite && id <= kCommandLastFavorite)
            OnFavoriteItem(id);
        else if (id >= kCommandFirstHistory && id <= kCommandLastHistory)
            OnHistoryItem(id);
        else
            return false;
        return true;
    }
}

void CPlaybackControl::OnPlay()
{
    if (m_parts.radio.IsPlaying()) {
        OnStop();
        return;
    }
    CStationItem station;
    m_parts.radio.GetCurrentStation(station);
    PlayStation(station, true);
}

void CPlaybackControl::OnStop()
{
    if (!ConfirmStopRecording(false))
        return;
    m_parts.radio.Stop(false, false);
    m_callbacks.updatePlayButton();
}

void CPlaybackControl::OnPlayListIndex(WPARAM sourceIndex)
{
    if (!ConfirmStopRecording(false))
        return;
    CStationItem station;
    if (m_parts.list.GetSelectedStation(station, uint8_t(sourceIndex)))
        PlayStation(station, true);
}

void CPlaybackControl::OnBack()
{
    if (!ConfirmStopRecording(false))
        return;
    QString title, url;
    // The history is newest first: the entry after the current one is the older station.
    if (!m_parts.history.GetNext(title, url))
        return;
    PlayTitleAndUrl(title, url, false);
    m_parts.history.SetCurrent(title);
}

void CPlaybackControl::OnNext()
{
    if (!ConfirmStopRecording(false))
        return;
    m_parts.history.SetCurrent(m_parts.radio.GetStationName());
    QString title, url;
    if (m_parts.history.GetPrevious(title, url))
        PlayTitleAndUrl(title, url, false);
}

void CPlaybackControl::OnFavoriteItem(int commandId)
{
    if (!ConfirmStopRecording(false))
        return;
    QString title, url;
    m_parts.favorites.GetByCommandId(commandId, title, url);
    if (!title.isEmpty())
        PlayTitleAndUrl(title, url, true);
}

void CPlaybackControl::OnHistoryItem(int commandId)
{
    if (!ConfirmStopRecording(false))
        return;
    QString title, url;
    m_parts.history.GetByCommandId(commandId, title, url);
    if (!title.isEmpty())
        PlayTitleAndUrl(title, url, false);
}

void CPlaybackControl::OnPasteUrl()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QString url = clipboard ? clipboard->text() : QString();
    if (url.isEmpty() || url.size() > kMaxClipboardUrl)
        return;
    PlayTitleAndUrl(url, url, true);
}

void CPlaybackControl::OnDropText(const QString& text)
{
    if (text.isEmpty() || !ConfirmStopRecording(false))
        return;
    PlayTitleAndUrl(text, text, true);
}

void CPlaybackControl::OnDropFile(const QString& path)
{
    if (HasSkinPackageEnding(path)) {
        OfferSkinPackage(path);
        return;
    }
    if (!ConfirmStopRecording(false))
        return;
    QString url = path;
    if (path.endsWith(QStringLiteral(".url"))) {
        // A shortcut that cannot be read (or is no regular file) is played as its path, and so refused.
        const QString target = UrlFromShortcut(ReadRegularFileHead(path, kShortcutReadBytes));
        if (!target.isEmpty())
            url = target;
    }
    PlayTitleAndUrl(url, url, true);
}

void CPlaybackControl::OfferSkinPackage(const QString& path)
{
    QString skinFolder;
    if (!IsSkinPackage(path, skinFolder))
        return;
    const QString question = GetLangString(kTextInstallSkin) + QStringLiteral(" - \"") + skinFolder + u'"';
    if (MessageBox(question, QString(), MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    const int result = InstallSkinPackage(path, skinFolder, m_callbacks.appFolder());
    if (result == kSkinInstalled) {
        CPropSkins& skins = m_options.skins;
        skins.m_skin = skinFolder.section(u'.', 0, 0);
        skins.SaveSettings();
        m_callbacks.applySkin();
        skins.FillSkinList();
    } else if (result == kSkinInstallFailed) {
        MessageBox(GetLangString(kTextCannotInstallSkin), QString(), MB_OK);
    }
}

void CPlaybackControl::OnStationDetails()
{
    CStationItem station;
    m_parts.radio.GetCurrentStation(station);
    bool hasField = false;
    for (int slot = 0; slot < station.GetSize() && !hasField; ++slot)
        hasField = !station.GetAt(slot).isEmpty();
    if (!hasField)
        return;
    const uint8_t source = station.GetCurrentSource();
    m_parts.list.EditStation(station);
    // The editor changed the catalogue's own record and the copy alike; the playing station follows.
    station.SetCurrentSource(source);
    m_parts.radio.SetCurrentStation(station);
    m_callbacks.updateTitleText(false);
}

void CPlaybackControl::OnCopyUrl()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(m_parts.radio.GetStationUrl());
}

void CPlaybackControl::OnRecord()
{
    if (!m_parts.radio.IsRecording()) {
        StartRecording();
        return;
    }
    m_parts.radio.StopRecording(true, false);
    m_callbacks.updateRecButton();
}

void CPlaybackControl::StartRecording()
{
    const CPropRecordings& recordings = m_options.recordings;
    if (!m_parts.radio.StartRecording(
            recordings.m_folder, m_recordingName, recordings.m_bitrate, recordings.m_dontWriteExisting))
        MessageBox(GetLangString(kTextCannotRecord), QString(), MB_OK);
    m_callbacks.updateRecButton();
    m_callbacks.updateTitleText(false);
}

bool CPlaybackControl::ConfirmStopRecording(bool forced)
{
    const bool stopped = m_parts.radio.StopRecording(forced, false);
    m_callbacks.updateRecButton();
    return stopped;
}

void CPlaybackControl::OnMute()
{
    m_parts.radio.ToggleMute();
    m_callbacks.updateMuteButton();
}

void CPlaybackControl::OnUpdateStatus(WPARAM code, LPARAM sender)
{
    try {
        CRadioManager& radio = m_parts.radio;
        auto* player = reinterpret_cast<RadioPlayer*>(sender);
        const int status = int(code);
        switch (status) {
        case PlayerStatusFinished:
            radio.DeletePlayer(player);
            m_callbacks.updateTitleText(false);
            m_callbacks.updatePlayButton();
            m_callbacks.updateRecButton();
            return;
        case PlayerStatusCannotConnect:
            // The watchdog's report before anything was asked to play says nothing to the user.
            if (!player && !m_playRequested)
                return;
            m_callbacks.showStatus(status);
            m_callbacks.updatePlayButton();
            m_callbacks.updateRecButton();
            return;
        default:
            break;
        }
        if (!radio.IsCurrentPlayer(player))
            return;
        switch (status) {
        case PlayerStatusInitializing:
        case PlayerStatusInitDone:
        case PlayerStatusStopping:
        case PlayerStatusConnecting:
        case PlayerStatusBuffering:
        case PlayerStatusStoppedByItself:
            m_callbacks.showStatus(status);
            break;
        case PlayerStatusInitFailed:
        case PlayerStatusConnectionError:
            m_callbacks.showStatus(status);
            m_callbacks.updatePlayButton();
            break;
        case PlayerStatusStopped:
            m_callbacks.showStatus(status);
            m_callbacks.updateTitleText(false);
            m_callbacks.updatePlayButton();
            break;
        case PlayerStatusPlaying:
            // A recording asked for before there was a stream starts now (it goes on if it runs).
            if (m_recordWhenPlaying || radio.IsRecording()) {
                m_recordWhenPlaying = false;
                StartRecording();
            }
            // Played to no one, the station is not heard: the status keeps saying that no device
            // could be opened, and the buttons show that nothing plays.
            m_callbacks.showStatus(radio.PlaysWithoutSound() ? PlayerStatusInitFailed : status);
            m_callbacks.updateTitleText(false);
            m_callbacks.updateStreamFormatText();
            m_callbacks.updatePlayButton();
            break;
        case PlayerStatusTagsRead:
            m_callbacks.updateTitleText(false);
            m_callbacks.updateStreamFormatText();
            break;
        case PlayerStatusNewStreamTitle:
            m_callbacks.updateTitleText(true);
            if (radio.IsRecording() && m_options.recordings.m_splitByTracks) {
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
            m_callbacks.updateStreamFormatText();
            break;
        default:
            break;
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1016);
        e->Delete();
    }
}

void CPlaybackControl::ShowPictureArt()
{
    m_parts.pictureArt.SetEnabled(m_options.advanced.m_showPictures);
    m_parts.pictureArt.ShowPictureFor(m_parts.radio.GetStreamName());
}

void CPlaybackControl::OnWatchdogTick()
{
    const bool recording = m_parts.radio.IsRecording();
    m_parts.radio.OnWatchdogTick();
    if (m_parts.radio.IsRecording() != recording)
        m_callbacks.updateRecButton();
}
