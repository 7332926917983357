#include "stations/StationsListWorker.h"

#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "core/WorkerGroup.h"
#include "stations/StationCatalogue.h"

#include <pthread.h>

namespace
{

// How long the worker waits for the list's lock before it looks at its stop flag again.
constexpr std::chrono::milliseconds kLockRetry { 20 };

} // namespace

CStationsListWorker::CStationsListWorker(CStationCatalogue& catalogue, const QPointer<QObject>& owner, int done)
    : m_catalogue(catalogue)
    , m_owner(owner)
    , m_doneMessage(done)
{
    m_thread = std::thread(&CStationsListWorker::ThreadMain, this);
}

CStationsListWorker::~CStationsListWorker()
{
    Stop();
}

void CStationsListWorker::Restart()
{
    {
        std::lock_guard lock(m_wakeMutex);
        if (m_stopping)
            return;
        m_restart = true;
    }
    m_wake.notify_one();
}

void CStationsListWorker::Stop()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

CStationFilter CStationsListWorker::Filter() const
{
    std::lock_guard lock(m_filterMutex);
    return m_filter;
}

void CStationsListWorker::SetFilter(const CStationFilter& filter)
{
    std::lock_guard lock(m_filterMutex);
    m_filter = filter;
}

void CStationsListWorker::ThreadMain()
{
    pthread_setname_np(pthread_self(), kThreadName);
    InstallSeTranslator();
    for (;;) {
        {
            std::unique_lock lock(m_wakeMutex);
            m_wake.wait(lock, [this] { return m_restart || m_stopping; });
            if (m_stopping)
                return;
            m_working = true;
        }
        try {
            RunPasses();
        } catch (CSeException* e) {
            e->Log("StationsListCtrl.cpp", 613);
            e->Delete();
        } catch (const std::exception& e) {
            WriteErrorLog("StationsListCtrl.cpp", 613, QString::fromLocal8Bit(e.what()));
        }
        m_working = false;
    }
}

void CStationsListWorker::RunPasses()
{
    // The list's lock is only ever held briefly by the user interface; a request stays pending while
    // the worker waits for it.
    CStationCatalogue::Lock lock(m_catalogue.Mutex(), std::defer_lock);
    while (!lock.try_lock_for(kLockRetry)) {
        if (m_stopping)
            return;
    }
    do {
        m_restart = false;
        if (m_stopping || m_catalogue.IsClosing())
            return;
        RunPass();
    } while (m_restart && !m_stopping);
}

void CStationsListWorker::RunPass()
{
    if (m_active) {
        if (m_catalogue.ReloadRequested())
            m_catalogue.Load();
        // A new filter asked for during the load is read below; a hidden list or a newer catalogue
        // needs a pass of its own.
        if (!TakeFilterOnlyRestart())
            return;
        CStationFilter filter = Filter();
        if (!Scan(filter))
            return;
        filter.Sort(m_catalogue.Visible(), m_catalogue.Stations());
    } else {
        m_catalogue.ClearStations();
    }
    m_catalogue.PublishVisibleCount();
    ++m_passes;
    PostWindowMessageWhenAlive(m_owner, m_doneMessage);
}

bool CStationsListWorker::TakeFilterOnlyRestart()
{
    // Cleared before the state is read: a request made meanwhile sets it again.
    m_restart = false;
    if (m_active && !m_catalogue.ReloadRequested())
        return true;
    m_restart = true;
    return false;
}

bool CStationsListWorker::Scan(CStationFilter& filter)
{
    std::vector<unsigned>& visible = m_catalogue.Visible();
    const CStationStore& stations = m_catalogue.Stations();
    // The search keys are built only once a search or a column filter asks for them.
    const auto indexFor
        = [this](const CStationFilter& f) { return f.NeedsSearchIndex() ? &m_catalogue.SearchIndex() : nullptr; };
    const CStationSearchIndex* index = indexFor(filter);
    visible.clear();
    for (size_t i = 0; i < stations.Size(); ++i) {
        if (m_restart) {
            if (!TakeFilterOnlyRestart())
                return false;
            // The filter changed: start over with the new one.
            filter = Filter();
            index = indexFor(filter);
            visible.clear();
            i = size_t(-1);
            continue;
        }
        if (m_stopping)
            return false;
        if (filter.Matches(stations, index, i)) {
            if (visible.size() == visible.capacity())
                visible.reserve(visible.size() + 1000);
            visible.push_back(unsigned(i));
        }
    }
    return true;
}
