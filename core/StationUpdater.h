#pragma once

#include "core/NamedMutex.h"
#include "core/WorkerGroup.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

// Refreshes the station catalogue from the web server at most once in five days: downloads the manifest
// "stations.kvdx" into the "Stations" folder, and when the stations file it names is not there yet, the
// zip archive that holds it; unpacks the file and deletes the older stations files. A new file is
// announced to the owner with a posted WM_KAVRILUNE_STATIONS_UPDATER_DOWNLOADED_ (wParam 0, lParam 0).
// The destructor stops a running update and waits for it.
class CStationUpdater
{
public:
    CStationUpdater();
    virtual ~CStationUpdater();

    CStationUpdater(const CStationUpdater&) = delete;
    CStationUpdater& operator=(const CStationUpdater&) = delete;

    // Starts an update in baseFolder (the program folder) when the stored time lies more than the
    // interval back, and moves the time to now. True when the caller is to store the time again. UI thread.
    bool CheckForUpdates(QObject* owner, QDateTime& lastCheck, const QString& baseFolder);
    // One update attempt in the base folder of the last check: 1 when a new stations file was unpacked.
    int Update();
    // Fetches address into localPath, reading in throttled bursts. The body goes to a file of our own
    // naming beside localPath, which replaces localPath only once the whole body has arrived with a
    // success status and within sizeLimit bytes; until then whatever lies at localPath stays as it is.
    // Bytes received; 0 on any failure. error (when given) tells why a transfer or the file failed; an
    // answer that is not the file (an error status, a body past sizeLimit) leaves it empty.
    qint64 DownloadFile(const QByteArray& agent, const QString& address, const QString& localPath, qint64 sizeLimit,
        QString* error = nullptr);

    // The first bytes of the stored manifest (at most 4000) as text, cut at the first NUL.
    static QString ReadManifest(const QString& path);
    // The text after innerTag up to the next "</", searched from the first outerTag (which must not start
    // the text); empty when anything is missing.
    static QString GetManifestValue(const QString& text, const QString& outerTag, const QString& innerTag);
    // Deletes the files of folder matching pattern except keptName (both ignoring case).
    static void DeleteMatching(const QString& folder, const QString& pattern, const QString& keptName);

    static constexpr int kInterval = 432000; // seconds: 5 days

private:
    int UpdateIn(const QString& baseFolder);
    bool UnpackStationsFile(const QString& archivePath, const QString& stationsFolder, const QString& fileName);

    CNamedMutex m_runMutex; // UI thread only
    int m_interval = kInterval;
    QPointer<QObject> m_owner; // UI thread only
    mutable QMutex m_baseFolderMutex;
    QString m_baseFolder; // guarded by m_baseFolderMutex; ends in a separator
    CWorkerGroup m_workers;
};
