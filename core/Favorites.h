#pragma once

#include "core/MenuEntry.h"

#include <QList>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// One station of a favourites or history list.
struct tagCFavoriteStruct {
    QString title; // the key of the entry, compared exactly
    QString source; // stream address to play
    int32_t value = 0; // carried for the caller, never stored
    int32_t commandId = 0;
    bool isCurrent = false;
};

// A short list of stations, front first, kept in one section of the settings file as "Source_<n>" and
// "Title_<n>" (n from 1, the front entry) and offered as a menu. Every change reads the file first and
// writes the list back at once, so that other lists on the same file (and other instances, at their
// next reload) see it; a reload also runs in the background whenever a menu is built.
//
// Called from the UI thread; reload threads and add threads run beside it. The destructor waits for
// them.
class CFavorites
{
public:
    static constexpr int MAX_ENTRIES = 30;

    CFavorites();
    ~CFavorites();

    CFavorites(const CFavorites&) = delete;
    CFavorites& operator=(const CFavorites&) = delete;

    // Set by the owner right after construction: adding an existing title moves it to the front
    // instead of refusing; adding to a full list drops the last entry instead of refusing.
    void SetPolicy(bool allowReplace, bool dropOldestWhenFull);
    // Where the list lives; starts a reload.
    void SetStorage(const QString& settingsPath, const QString& section, int32_t firstCommandId);

    // 1 added at the front; 0 empty title, or the title is there and replacing is not allowed; -1 the
    // list is full and dropping is not allowed.
    int AddAndSave(const QString& title, const QString& source, int32_t value);
    // AddAndSave on a worker thread; the result is dropped.
    void AddAsync(const QString& title, const QString& source, int32_t value);
    // Moves the entry with this title one place up with the new source; 0 for an empty title, else 1.
    int ReplaceAndSave(const QString& title, const QString& source, int32_t value);
    // Removes the current entry and saves; with none current, tells the user to select a station.
    void DeleteCurrent();

    void SetCurrent(const QString& title);
    // Both outputs empty when no entry has the id.
    void GetByCommandId(int32_t commandId, QString& title, QString& source);
    // The entry before (after) the current one, or the front entry when none is current; false at the
    // front (end) of the list and for an empty list. No wrap-around.
    bool GetPrevious(QString& title, QString& source);
    bool GetNext(QString& title, QString& source);

    // Entries front first, the current one checked; a disabled placeholder when the list is empty.
    // Starts a reload afterwards.
    QList<MenuEntry> BuildMenu();
    // This desktop has no taskbar jump list; reports success.
    bool UpdateJumpList();

    // Reads the list from the settings file (the reload thread's work); does nothing once closing.
    void Load();
    // Writes the list to the settings file; does nothing until a reload has finished.
    void Save();

    // Waits until every reload and add thread started so far has finished.
    void WaitForThreads();

private:
    void StartReload();
    bool StartThread(std::function<void()> work, bool installTranslator);
    void ThreadFinished();
    void LoadFromFile();

    int IndexOfTitle(const QString& title) const;
    tagCFavoriteStruct* FindByCommandId(int32_t commandId);
    void Remove(const QString& title);
    void RemoveAll();
    int AddFront(const QString& title, const QString& source, int32_t value);
    int MoveUp(const QString& title, const QString& source, int32_t value);
    void Renumber();
    bool Neighbour(int step, QString& title, QString& source);

    mutable std::recursive_mutex m_lock; // the list's critical section
    bool m_allowReplace = false; // m_lock
    bool m_dropOldestWhenFull = false; // m_lock
    bool m_closing = false; // m_lock
    QString m_currentTitle; // m_lock
    QString m_section = QStringLiteral("Favorites"); // m_lock
    QList<tagCFavoriteStruct> m_entries; // m_lock; front first
    int32_t m_firstCommandId = 0; // m_lock
    QString m_settingsPath; // m_lock
    bool m_loaded = false; // m_lock; saving needs a finished reload

    std::mutex m_threadsMutex;
    std::condition_variable m_threadsIdle;
    int m_pendingThreads = 0; // m_threadsMutex
};

// Parameters of one add thread; the thread frees them.
struct FavoritesAddParams {
    CFavorites* list;
    QString title;
    QString source;
    int32_t value;
};

void FavoritesLoadThreadProc(CFavorites* list);
void FavoritesAddThreadProc(FavoritesAddParams* params);
