#include "ui/mainwindow/UpdateChecks.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "audio/RadioManager.h"
#include "core/Localization.h"
#include "core/ServerHosts.h"
#include "core/XMLSettings.h"
#include "ui/controls/HyperStatic.h"
#include "ui/desktop/SystemTray.h"
#include "ui/options/GeneralProperties.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QUrl>
#include <QWidget>

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

CUpdateChecks::CUpdateChecks(Shared shared, std::function<QString()> settingsFile, std::function<QString()> appFolder)
    : m_shared(shared)
    , m_settingsFile(std::move(settingsFile))
    , m_appFolder(std::move(appFolder))
{
}

void CUpdateChecks::CheckForProgramUpdate()
{
    RunCheck(QStringLiteral("LastUpdateCheck"),
        [this](QDateTime& last) { return m_updater.CheckPeriodically(&m_shared.window, last); });
}

void CUpdateChecks::CheckForStationsUpdate()
{
    RunCheck(QStringLiteral("LastStationsUpdateCheck"),
        [this](QDateTime& last) { return m_stationUpdater.CheckForUpdates(&m_shared.window, last, m_appFolder()); });
}

void CUpdateChecks::RunCheck(const QString& key, const std::function<bool(QDateTime&)>& check)
{
    if (!m_shared.general.m_checkUpdates)
        return;
    const QString path = m_settingsFile();
    std::lock_guard fileLock(SettingsFileMutex(path));
    CXMLSettings settings(path);
    QDateTime last;
    const bool rewrite = ReadCheckTime(settings, key, last);
    if (check(last) || rewrite)
        settings.SetTime(kGeneral, key, std::time_t(last.toSecsSinceEpoch()));
}

void CUpdateChecks::ReportPlay()
{
    if (m_shared.general.m_checkUpdates && m_shared.radio.IsPlaying())
        m_updater.CountPlay(m_shared.radio.GetStationName(), m_shared.radio.GetStationUrl());
}

void CUpdateChecks::OnNewVersion()
{
    if (m_newVersionRunning)
        return;
    m_newVersionRunning = true;
    const QString version = m_updater.GetNewVersion();
    if (!version.isEmpty()) {
        const QString text
            = FormatLangText(GetLangString(kTextNewVersion), { version }) + u'\n' + m_updater.GetDownloadUrl();
        m_shared.tray.ShowBalloon(text, 10, false, kBalloonNewVersion);
    }
    m_newVersionRunning = false;
}

void CUpdateChecks::OnStationsUpdated()
{
    m_shared.tray.ShowBalloon(QStringLiteral("Stations database updated."), 10, false, kBalloonStationsUpdated);
    m_shared.list.ReloadCatalogue();
}

void CUpdateChecks::OnTrayBalloonClick(WPARAM cookie)
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
