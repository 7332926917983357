// The program's timers and what they start: the deferred settings save, the "/duration" limit, the
// update checks and the play report, the balloons the updaters' news become, and volume steps.

#include "ui/mainwindow/KavriluneDlg.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "core/Localization.h"
#include "core/SeException.h"
#include "core/ServerHosts.h"
#include "core/XMLSettings.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/PlayTexts.h"
#include "ui/skin/WindowFader.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QSignalBlocker>
#include <QTimerEvent>
#include <QUrl>

#include <cstdlib>
#include <ctime>

namespace
{

const QString kGeneral = QStringLiteral("General");
using namespace main_window_texts;
constexpr int kBalloonNewVersion = 100;
constexpr int kBalloonStationsUpdated = 101;

// A check time as the updaters take it: the stored time, or now when it is missing or cannot be read
// (then written anew, so that a broken value does not fail every check). True when it must be written.
bool ReadCheckTime(CXMLSettings& settings, const QString& key, QDateTime& time)
{
    const std::time_t now = std::time(nullptr);
    try {
        time = QDateTime::fromSecsSinceEpoch(settings.GetTime(kGeneral, key, now));
        return false;
    } catch (const CSettingsTimeException&) {
        time = QDateTime::fromSecsSinceEpoch(now);
        return true;
    }
}

} // namespace

void CKavriluneDlg::timerEvent(QTimerEvent* event)
{
    const int number = m_timers.NumberOf(event->timerId());
    if (number == 0) {
        QWidget::timerEvent(event);
        return;
    }
    OnTimer(number);
}

void CKavriluneDlg::OnTimer(int number)
{
    try {
        switch (number) {
        case kTimerStatus:
            OnStatusTimer();
            break;
        case kTimerSpectrum:
            m_radio.DrawSpectrum(*m_spectrum);
            break;
        case kTimerInfo:
            CheckDurationAndDirty();
            UpdateRotatedInfo();
            break;
        case kTimerQuitPoll:
            if (m_radio.GetPlayerCount() == 0)
                QuitApplication();
            break;
        case kTimerQuitForce:
            QuitApplication();
            break;
        case kTimerShow:
            m_timers.Kill(kTimerShow);
            if (m_instanceLock.IsLocked() && !IsShown()) {
                CWindowFader::FadeIn(this, 500);
                activateWindow();
                m_list->UpdateVisibility();
            }
            QMetaObject::invokeMethod(this, &CKavriluneDlg::FinishStartUp, Qt::QueuedConnection);
            break;
        case kTimerHide:
            m_timers.Kill(kTimerHide);
            if (m_instanceLock.IsLocked())
                HideAnimated(250);
            QMetaObject::invokeMethod(this, &CKavriluneDlg::FinishStartUp, Qt::QueuedConnection);
            break;
        case kTimerUpdateCheck:
            CheckForProgramUpdate();
            m_timers.Set(kTimerUpdateCheck, 7200000);
            break;
        case kTimerStationsCheck:
            CheckForStationsUpdate();
            m_timers.Set(kTimerStationsCheck, 3600000);
            break;
        case kTimerPlayReport:
            ReportPlay();
            break;
        default:
            break;
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1300 + number);
        e->Delete();
    }
}

void CKavriluneDlg::CheckDurationAndDirty()
{
    if (m_closing)
        return;
    const int64_t now = Now();
    if (m_duration > 0 && std::llabs(now - m_startTime) > m_duration) {
        ConfirmStopRecording(true);
        OnExit();
        return;
    }
    m_settings->SaveIfDue();
}

void CKavriluneDlg::CheckForProgramUpdate()
{
    if (!m_general.m_checkUpdates)
        return;
    std::lock_guard fileLock(SettingsFileMutex(SettingsFilePath()));
    CXMLSettings settings(SettingsFilePath());
    const QString key = QStringLiteral("LastUpdateCheck");
    QDateTime last;
    const bool rewrite = ReadCheckTime(settings, key, last);
    if (m_updater.CheckPeriodically(this, last) || rewrite)
        settings.SetTime(kGeneral, key, std::time_t(last.toSecsSinceEpoch()));
}

void CKavriluneDlg::CheckForStationsUpdate()
{
    if (!m_general.m_checkUpdates)
        return;
    std::lock_guard fileLock(SettingsFileMutex(SettingsFilePath()));
    CXMLSettings settings(SettingsFilePath());
    const QString key = QStringLiteral("LastStationsUpdateCheck");
    QDateTime last;
    const bool rewrite = ReadCheckTime(settings, key, last);
    if (m_stationUpdater.CheckForUpdates(this, last, m_appFolder) || rewrite)
        settings.SetTime(kGeneral, key, std::time_t(last.toSecsSinceEpoch()));
}

void CKavriluneDlg::ReportPlay()
{
    if (m_general.m_checkUpdates && m_radio.IsPlaying())
        m_updater.CountPlay(m_radio.GetStationName(), m_radio.GetStationUrl());
}

void CKavriluneDlg::OnNewVersion()
{
    if (m_newVersionRunning)
        return;
    m_newVersionRunning = true;
    const QString version = m_updater.GetNewVersion();
    if (!version.isEmpty()) {
        const QString text
            = FormatLangText(GetLangString(kTextNewVersion), { version }) + u'\n' + m_updater.GetDownloadUrl();
        m_tray->ShowBalloon(text, 10, false, kBalloonNewVersion);
    }
    m_newVersionRunning = false;
}

void CKavriluneDlg::OnStationsUpdated()
{
    m_tray->ShowBalloon(QStringLiteral("Stations database updated."), 10, false, kBalloonStationsUpdated);
    m_list->ReloadCatalogue();
}

void CKavriluneDlg::OnTrayBalloonClick(WPARAM cookie)
{
    if (cookie == kBalloonNewVersion) {
        // The address came from the network: only a web page is opened.
        const QUrl url(m_updater.GetDownloadUrl(), QUrl::StrictMode);
        if (url.isValid() && (url.scheme() == QStringLiteral("http") || url.scheme() == QStringLiteral("https")))
            OpenUrl(url.toString());
    } else if (cookie == kBalloonStationsUpdated) {
        OpenUrl(GetWebHost() + QStringLiteral("/stations/"));
    }
}

void CKavriluneDlg::StepVolume(int step)
{
    {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(m_volume->value() + step);
    }
    m_volume->update();
    m_radio.SetVolume(m_volume->value());
    MarkDirty();
    m_mpris->NotifyChanged();
}

void CKavriluneDlg::OnVolumeChanged()
{
    m_radio.SetVolume(m_volume->value());
    MarkDirty();
    m_mpris->NotifyChanged();
}
