#include "audio/library/DspChain.h"

#include "audio/library/PeakEqualizer.h"

#include <algorithm>

void CDspChain::Add(Entry entry)
{
    std::lock_guard lock(m_mutex);
    entry.order = m_nextOrder++;
    const auto position
        = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.priority < entry.priority; });
    m_entries.insert(position, std::move(entry));
}

bool CDspChain::Remove(uint32_t handle)
{
    std::lock_guard lock(m_mutex);
    const auto it
        = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.handle == handle; });
    if (it == m_entries.end())
        return false;
    m_entries.erase(it);
    return true;
}

bool CDspChain::Contains(uint32_t handle) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.handle == handle; });
}

std::shared_ptr<CPeakEqualizer> CDspChain::FindEffect(uint32_t handle) const
{
    std::lock_guard lock(m_mutex);
    for (const Entry& entry : m_entries)
        if (entry.handle == handle)
            return entry.effect;
    return nullptr;
}

void CDspChain::Snapshot(std::vector<Entry>& out) const
{
    std::lock_guard lock(m_mutex);
    out.assign(m_entries.begin(), m_entries.end());
}

void CDspChain::Clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}
