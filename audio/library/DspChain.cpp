#include "audio/library/DspChain.h"

#include <algorithm>

void CDspChain::Add(Entry entry)
{
    std::lock_guard lock(m_mutex);
    entry.order = m_nextOrder++;
    if (entry.effect)
        m_bands[entry.handle];
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
    m_bands.erase(handle);
    return true;
}

bool CDspChain::Contains(uint32_t handle) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.handle == handle; });
}

bool CDspChain::SetEffectBand(uint32_t handle, const AudioPeakEqParams& band)
{
    std::lock_guard lock(m_mutex);
    const auto effect = m_bands.find(handle);
    if (effect == m_bands.end())
        return false;
    std::vector<AudioPeakEqParams>& bands = effect->second;
    const auto it
        = std::find_if(bands.begin(), bands.end(), [&](const AudioPeakEqParams& b) { return b.band == band.band; });
    if (it == bands.end())
        bands.push_back(band);
    else
        *it = band;
    return true;
}

std::vector<AudioPeakEqParams> CDspChain::EffectBands() const
{
    std::lock_guard lock(m_mutex);
    std::vector<AudioPeakEqParams> all;
    for (const auto& [handle, bands] : m_bands)
        all.insert(all.end(), bands.begin(), bands.end());
    return all;
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
    m_bands.clear();
}
