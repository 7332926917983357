#pragma once

#include "stations/StationFilter.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class CStationCatalogue;

// The station list's one worker thread. Each pass loads the catalogue when the list is active and a
// reload is due (or frees it when the list is inactive), picks the stations that match the filter,
// sorts them and posts the done message to the list's owner. A request made while a pass runs gives
// one more pass; one during the scan restarts the scan instead, unless the list was hidden or a new
// catalogue is to be loaded meanwhile: then the pass ends and the next one frees or loads.
class CStationsListWorker
{
public:
    // The worker thread's name, as debuggers and the process's task list show it.
    static constexpr const char* kThreadName = "station list";

    // done: the message posted to owner after every pass.
    CStationsListWorker(CStationCatalogue& catalogue, const QPointer<QObject>& owner, int done);
    ~CStationsListWorker();

    CStationsListWorker(const CStationsListWorker&) = delete;
    CStationsListWorker& operator=(const CStationsListWorker&) = delete;

    // Asks for a pass with the current filter; never waits. Ignored once stopped.
    void Restart();
    // Ends the thread at its next check and waits for it. Later restarts do nothing.
    void Stop();

    // What the next pass uses; changed on the UI thread, followed by Restart().
    CStationFilter Filter() const;
    void SetFilter(const CStationFilter& filter);
    void SetActive(bool active) { m_active = active; }
    bool IsActive() const { return m_active.load(); }

    // Passes run so far (for the curious: tests and benchmarks).
    int PassCount() const { return m_passes.load(); }
    // True while no pass runs and none is asked for.
    bool IsIdle() const { return !m_restart.load() && !m_working.load(); }

    // One pass on the calling thread, as the worker runs it; the caller holds the catalogue's lock.
    void RunPass();

private:
    void ThreadMain();
    void RunPasses();
    // Fills the visible indices; false when stopped or when another pass must follow.
    bool Scan(CStationFilter& filter);
    // Takes a pending request when a new filter is all it needs; otherwise (the list was hidden or
    // a new catalogue is to be loaded) leaves it pending for the next pass and returns false.
    bool TakeFilterOnlyRestart();

    CStationCatalogue& m_catalogue;
    const QPointer<QObject> m_owner; // set before the thread starts
    const int m_doneMessage;

    mutable std::mutex m_filterMutex;
    CStationFilter m_filter; // guarded by m_filterMutex

    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_restart { false }; // set under m_wakeMutex, cleared by the worker
    std::atomic<bool> m_stopping { false }; // set under m_wakeMutex
    std::atomic<bool> m_active { false };
    std::atomic<bool> m_working { false };
    std::atomic<int> m_passes { 0 };
    std::thread m_thread; // joined by Stop()
};
