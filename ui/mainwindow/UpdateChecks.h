#pragma once

#include "core/StationUpdater.h"
#include "core/Updater.h"
#include "core/WindowMessage.h"

#include <QDateTime>
#include <QString>

#include <functional>

class CGeneralProperties;
class CRadioManager;
class CStationsListCtrl;
class CSystemTray;
class QWidget;

// The program's checks for a newer version and a newer stations database, each at most as often as the
// settings file's last check time allows, and the play report; what the updaters find becomes a tray
// balloon, whose click opens the page behind it. Nothing of it runs while the user has the checks off.
// UI thread only; the updaters' jobs post their news to the window.
class CUpdateChecks
{
public:
    // What it reads and shows; the window owns all of it.
    struct Shared {
        QWidget& window; // where the updaters post their news
        CRadioManager& radio; // what plays, for the play report
        const CGeneralProperties& general; // "Check_updates"
        CSystemTray& tray;
        CStationsListCtrl& list; // reloads a new catalogue
    };
    // settingsFile: the shared settings file, which keeps the check times; appFolder: where the
    // stations database lies.
    CUpdateChecks(Shared shared, std::function<QString()> settingsFile, std::function<QString()> appFolder);

    void CheckForProgramUpdate();
    void CheckForStationsUpdate();
    // Counts the station playing now.
    void ReportPlay();
    // A newer version was found: its balloon.
    void OnNewVersion();
    // A newer stations database was installed: its balloon, and the list shows it.
    void OnStationsUpdated();
    void OnTrayBalloonClick(WPARAM cookie);

    CUpdater& Updater() { return m_updater; }

private:
    // Runs one check if the user wants checks, with its last time read from and written back to the
    // settings file under the file's lock; check returns true when the time moved.
    void RunCheck(const QString& key, const std::function<bool(QDateTime&)>& check);

    Shared m_shared;
    std::function<QString()> m_settingsFile;
    std::function<QString()> m_appFolder;
    CUpdater m_updater;
    CStationUpdater m_stationUpdater;
    bool m_newVersionRunning = false;
};
