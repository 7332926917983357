#pragma once

#include "core/NamedMutex.h"
#include "core/WorkerGroup.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

// The program's two small network jobs for the main window, each on a worker thread of its own:
// the version check (at most once in five days, or at once from the About dialog) and the play report
// of the station being played.
//
// Results reach the owner as posted window messages: WM_KAVRILUNE_UPDATER_NEW_VERSION_ or
// WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_ (wParam 0, lParam 0); the owner then reads GetNewVersion and
// GetDownloadUrl. The destructor stops running jobs and waits for them.
class CUpdater
{
public:
    CUpdater();
    virtual ~CUpdater();

    CUpdater(const CUpdater&) = delete;
    CUpdater& operator=(const CUpdater&) = delete;

    // Starts the version check when the stored time lies more than the interval back, and moves the time
    // to now. True when the caller is to store the time again. UI thread.
    bool CheckPeriodically(QObject* owner, QDateTime& lastCheck);
    // Starts the version check at once; the result goes to owner. UI thread.
    void CheckNow(QObject* owner);
    // Fetches the version file: 1 when it names a version newer than the program's own, else 0.
    int CheckVersion();

    // Results of the last finished check; read after a result message.
    QString GetNewVersion() const;
    QString GetDownloadUrl() const;

    // Reports a network station (source holding "://") to the visitor counter on a worker thread.
    void CountPlay(const QString& title, const QString& source);
    // The report request itself, with the title as given.
    void SendPlayReport(const QString& title);

    QString GetProductVersion() const { return m_productVersion; }

    // Text of a downloaded file: UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252; at most
    // 999 characters, cut at the first NUL.
    static QString DecodeText(const QByteArray& bytes);
    // The trimmed, white-space-folded and unescaped text between two tags, searched from position
    // (in and out; -1 once nothing was found).
    static QString ExtractBetween(
        const QString& text, const QString& openTag, const QString& closeTag, qsizetype& position);
    // True when available names a newer version than own, comparing four dot-separated numbers.
    static bool IsNewerVersion(const QString& available, const QString& own);
    // A title that is an address loses the user name and password before its "@".
    static QString StripCredentials(const QString& title);
    // The title escaped as one path segment of an address.
    static QString EscapeSegment(const QString& text);

    static constexpr int kInterval = 432000; // seconds: 5 days
    static constexpr const char* kWidgetId = "q4m81vtxk2ab";

private:
    void StartCheck();
    static void UpdaterThreadProc(CUpdater* updater, const QPointer<QObject>& owner);

    const QString m_productVersion; // set by the constructor
    const QString m_productName; // set by the constructor
    mutable QMutex m_resultMutex;
    QString m_newVersion; // guarded by m_resultMutex
    QString m_downloadUrl; // guarded by m_resultMutex
    int m_interval = kInterval;
    CNamedMutex m_runMutex; // UI thread only
    QPointer<QObject> m_owner; // UI thread only
    QString m_reportTitle; // UI thread only; each report thread gets its own copy
    CWorkerGroup m_workers;
};
