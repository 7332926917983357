#include "audio/library/SyncList.h"

#include <algorithm>

void CSyncList::Add(const Entry& entry)
{
    std::lock_guard lock(m_mutex);
    m_entries.push_back(entry);
}

bool CSyncList::Remove(AudioSync handle)
{
    std::lock_guard lock(m_mutex);
    const auto it
        = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.handle == handle; });
    if (it == m_entries.end())
        return false;
    m_entries.erase(it);
    return true;
}

bool CSyncList::Contains(AudioSync handle) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.handle == handle; });
}

void CSyncList::Collect(uint32_t type, std::vector<Entry>& out) const
{
    std::lock_guard lock(m_mutex);
    for (const Entry& entry : m_entries)
        if (entry.type == type)
            out.push_back(entry);
}

void CSyncList::Clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}
