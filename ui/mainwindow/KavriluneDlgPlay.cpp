// The window's play road and status display: what they are given, and the timers' and messages' work
// that takes both of them or the station list as well.

#include "ui/mainwindow/KavriluneDlg.h"

#include "core/SeException.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/stationlist/StationsListCtrl.h"

void CKavriluneDlg::CreatePlayParts()
{
    const CStatusDisplay::Controls controls { *this, *m_songTitle, *m_status, *m_bufferInfo, *m_rotatedInfo,
        *m_foundNumber, *m_bufferIndicator, *Button(kCommandPlay), *Button(kCommandMute), *Button(kCommandRec),
        *Button(kCommandSources), *Button(kCommandExit), *Button(kCommandBack), *Button(kCommandNext),
        *Button(kCommandOptions), *Button(kCommandFavorites), *Button(kCommandExpand), *Button(kCommandOnTop),
        *Button(kCommandMinimize) };
    m_display = std::make_unique<CStatusDisplay>(
        controls, m_radio, m_advanced, *m_tray, *m_mpris, [this] { return m_list->GetVisibleCount(); });

    CPlaybackControl::Callbacks callbacks;
    callbacks.showStatus = [this](int status) { m_display->ShowStatus(status); };
    callbacks.updateTitleText = [this](bool balloon) { m_display->UpdateTitleText(balloon); };
    callbacks.updateStreamFormatText = [this] { m_display->UpdateStreamFormatText(); };
    callbacks.updatePlayButton = [this] { m_display->UpdatePlayButton(); };
    callbacks.updateMuteButton = [this] { m_display->UpdateMuteButton(); };
    callbacks.updateRecButton = [this] { m_display->UpdateRecButton(); };
    callbacks.markDirty = [this] { MarkDirty(); };
    callbacks.applySkin = [this] { ApplySkin(500, true); };
    callbacks.appFolder = [this] { return m_appFolder; };
    m_playback = std::make_unique<CPlaybackControl>(
        CPlaybackControl::Parts { m_radio, m_favorites, m_history, *m_list, *m_volume, *m_pictureArt },
        CPlaybackControl::Options { m_general, m_advanced, m_recordings, m_skins, m_bufferSize }, std::move(callbacks));
}

void CKavriluneDlg::UpdateButtons()
{
    m_display->UpdateButtons();
    m_list->InitColumns();
}

void CKavriluneDlg::OnStatusTimer()
{
    try {
        m_display->OnStatusTimer();
        m_list->ShowIfNeeded(IsShown());
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1180);
        e->Delete();
    }
}

void CKavriluneDlg::UpdateRotatedInfo()
{
    m_display->UpdateRotatedInfo();
    m_playback->OnWatchdogTick();
}

void CKavriluneDlg::OnListWorkerDone()
{
    m_list->Refresh();
    m_display->UpdateFoundNumber();
}
