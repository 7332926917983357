#pragma once

#include "ui/mainwindow/WindowLayout.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class CFavorites;
class CFilterBox;
class CGeneralProperties;
class CPictureArtDlg;
class CRadioManager;
class CSliderCtrlEx;
class CStationsListCtrl;

// The main window's own settings: where the data files live (beside a portable copy or in the user's
// data folder), reading the window's settings at start-up, and writing them from a snapshot taken on
// the UI thread: by the exit routine, on a worker, or once ten seconds have passed after a change.
//
// The settings file is shared with the other instances and with the option pages and the favourites:
// every read and write holds the file's lock. A start that was never shown (it handed its line over or
// found no free slot) writes nothing at exit: the running instance owns the file.
//
// UI thread only, except SaveSettings, which the worker runs (m_saveLock serialises it with the exit
// routine's save).
class CSettingsKeeper
{
public:
    // What a settings save writes.
    struct Snapshot {
        // The General page's "Startup"; empty once the autostart entry was written on the UI thread.
        std::optional<bool> startup;
        QPoint windowPos;
        QPoint expandedPos;
        int volume = 50;
        QString stationUrl;
        QString stationTitle;
        int equalizer = -1;
        bool expanded = false;
        bool onTop = false;
        QString language;
        QString searchText;
        QStringList searchHistory;
        QList<int> columnWidths;
        QPoint pictureArtCenter;
    };

    // The window's layout as the file keeps it.
    using Layout = WindowLayout;

    // What the settings are read into and taken from; the window owns all of it.
    struct Shared {
        CRadioManager& radio;
        CFavorites& favorites;
        CFavorites& history;
        CGeneralProperties& general;
        CSliderCtrlEx& volume;
        CFilterBox& filter;
        CStationsListCtrl& list;
        CPictureArtDlg& pictureArt;
    };

    // What the keeper asks of the window.
    struct Hooks {
        // The layout as last seen (a shown window stores where it is first).
        std::function<Layout()> layout;
        // The layout read at start-up, to be applied (the on-top flag included).
        std::function<void(const Layout&)> restoreLayout;
        // The "BufferSize" read at start-up, in milliseconds.
        std::function<void(int)> setBufferSizeMs;
        // Seconds since 1970: the clock of the deferred save.
        std::function<int64_t()> now;
    };

    CSettingsKeeper(Shared shared, Hooks hooks);
    ~CSettingsKeeper();
    CSettingsKeeper(const CSettingsKeeper&) = delete;
    CSettingsKeeper& operator=(const CSettingsKeeper&) = delete;

    // --- data folder ---
    // The user's data folder, $XDG_DATA_HOME/Kavrilune (~/.local/share/Kavrilune), created when asked.
    QString CreateUserFolder(bool create);
    // Where a data file lives: beside a portable copy, else in the user's data folder (seeded once from
    // the copy's own file). Says once when no folder keeps the data.
    QString GetDataFilePath(const QString& fileName);
    bool IsPortable() const { return m_portable; }

    // --- the settings file ---
    // Finds the settings file (a malformed one is set aside) and remembers it; returns its path.
    const QString& LocateSettingsFile();
    const QString& SettingsFilePath() const { return m_settingsPath; }
    // Reads the window's settings and gives the favourites and the history their storage.
    void LoadSettings();
    Snapshot TakeSettingsSnapshot();
    void SaveSettings(const Snapshot& snapshot);
    // Saves a fresh snapshot on a worker thread; a save still running finishes first.
    void StartSettingsSaveThread();
    void WaitForSettingsSave();

    // --- when to save ---
    // Something the settings keep has changed: saved once the change is more than ten seconds old.
    void MarkDirty();
    bool IsDirty() const { return m_dirty; }
    // Starts the deferred save once it is due.
    void SaveIfDue();
    // This start was never shown: it writes nothing at exit.
    void SkipSaveAtExit() { m_saveAtExit = false; }
    // The exit routine's save, unless this start writes nothing.
    void SaveAtExit();

private:
    void ReadWindowSettings();
    // Says once per run that no folder keeps the user's data.
    void WarnDataNotKept(const QString& folder);

    Shared m_shared;
    Hooks m_hooks;
    QString m_settingsPath;
    bool m_portable = false;
    bool m_dataWarningShown = false;
    bool m_dirty = false;
    int64_t m_dirtyTime = 0;
    bool m_saveAtExit = true;
    std::mutex m_saveLock; // serialises SaveSettings between the worker and the exit routine
    std::thread m_saveThread; // UI thread only; joined before the next save and at destruction
};
