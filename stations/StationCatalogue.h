#pragma once

#include "core/StationItem.h"
#include "stations/StationSearchIndex.h"
#include "stations/StationStore.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Every known station, owned and kept in title order (case ignored), with the indices of the stations
// the list shows. One re-entrant lock guards both; the loader, the lookups and the own-stations edits
// take it, the list's worker and its text requests only try it.
class CStationCatalogue
{
public:
    // The list's lock: re-entrant for the thread that holds it. A timed wait polls; waits are rare
    // and short, and a plain mutex is what every thread checker follows.
    class ListMutex
    {
    public:
        void lock() { m_mutex.lock(); }
        void unlock() { m_mutex.unlock(); }
        bool try_lock() { return m_mutex.try_lock(); }
        template <typename Rep, typename Period> bool try_lock_for(const std::chrono::duration<Rep, Period>& wait)
        {
            const auto deadline = std::chrono::steady_clock::now() + wait;
            while (!m_mutex.try_lock()) {
                if (std::chrono::steady_clock::now() >= deadline)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return true;
        }

    private:
        std::recursive_mutex m_mutex;
    };
    using Lock = std::unique_lock<ListMutex>;
    static constexpr std::chrono::milliseconds kLookupWait { 200 };

    CStationCatalogue() = default;
    CStationCatalogue(const CStationCatalogue&) = delete;
    CStationCatalogue& operator=(const CStationCatalogue&) = delete;

    // Where the stations come from: the database's name pattern ("<folder>/stations*.kvd") and the
    // user's own stations file. Set before anything is loaded.
    void SetFiles(const QString& databasePattern, const QString& userFilePath);
    const QString& UserFilePath() const { return m_userFilePath; }

    // The lock in its three kinds of wait: unbounded, the lookups' 200 ms, or a try.
    Lock LockUnbounded() { return Lock(m_mutex); }
    Lock LockForLookup() { return Lock(m_mutex, kLookupWait); }
    Lock TryLock() { return Lock(m_mutex, std::try_to_lock); }
    ListMutex& Mutex() { return m_mutex; }

    // Empties the catalogue and reads both files afresh; requests made meanwhile stay requested.
    void Load();
    // Load, unless the catalogue already holds the files' stations.
    void EnsureLoaded();
    // Reads one stations file into the catalogue; a file that is missing or cannot be read adds
    // nothing more and shows no message.
    void LoadStationsFile(const QString& pattern, bool markUser);
    void LoadUserStations() { LoadStationsFile(m_userFilePath, true); }
    // Inserts a copy in title order; a title equal to another one goes right after it. False only
    // while closing.
    bool MergeStation(const CStationItem& item);
    // Frees every station and the visible indices; the next load reads the files again.
    void ClearStations();
    // Rewrites the user's file from the catalogue's own stations, in catalogue order.
    bool SaveUserStations();

    // Catalogue index of a station with that title (case ignored), or -1. Caller holds the lock.
    int FindTitleIndex(const QString& title) const;
    // Index of the user's station whose fields equal the copy's (found among the equal titles), or -1.
    // Caller holds the lock.
    int FindUserStation(const CStationItem& copy) const;
    // Lookups that wait at most 200 ms for the lock; on time-out nothing is found. out is emptied first.
    bool FindStationByTitle(CStationItem& out, const QString& title);
    bool FindStationBySource(CStationItem& out, const QString& url);
    // The station with that source, else the one with that title, else a record of just the title and
    // the source. The catalogue is not changed.
    void FindOrAddStation(CStationItem& out, const QString& title, const QString& url);

    // Caller holds the lock for all of these.
    const CStationStore& Stations() const { return m_stations; }
    std::vector<unsigned>& Visible() { return m_visible; }
    // The search index of the stations as they are now, built on first use after a change.
    const CStationSearchIndex& SearchIndex();
    // The catalogue index of the station on a visible row, or -1.
    int VisibleIndex(int row) const;
    // Writes a changed station over the catalogue's own record of it.
    void Replace(int index, const CStationItem& station);
    // Takes a station out and inserts it again at its place in title order (after its title changed).
    // The visible indices follow the stations they named.
    void Reposition(int index);
    // Deletes a station; the visible indices follow.
    void RemoveAt(int index);

    // The number of visible stations at the end of the last pass; read without the lock.
    int PublishedVisibleCount() const { return m_publishedCount.load(); }
    void PublishVisibleCount() { m_publishedCount = int(m_visible.size()); }

    void RequestReload() { m_reloadRequested = true; }
    bool ReloadRequested() const { return m_reloadRequested.load(); }
    void SetClosing() { m_closing = true; }
    bool IsClosing() const { return m_closing.load(); }

private:
    // Where a station with that title goes: the position the binary search lands on.
    size_t InsertPosition(const QString& title) const;
    void Insert(const CStationItem& station);

    ListMutex m_mutex;
    CStationStore m_stations; // guarded by m_mutex
    std::vector<unsigned> m_visible; // guarded by m_mutex
    CStationSearchIndex m_index; // guarded by m_mutex
    bool m_loaded = false; // guarded by m_mutex: the stations of both files are in
    std::atomic<int> m_publishedCount { 0 };
    std::atomic<bool> m_reloadRequested { true };
    std::atomic<bool> m_closing { false };
    QString m_databasePattern; // set before the worker starts
    QString m_userFilePath; // set before the worker starts
};
