#pragma once

#include "audio/library/AudioLibrary.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

// A channel's DSPs and effects in processing order: higher priority first, equal priorities in the
// order they were set. An effect is a set of peaking-equaliser bands.
class CDspChain
{
public:
    struct Entry {
        uint32_t handle = 0;
        int priority = 0;
        uint64_t order = 0;
        AudioDspProc proc = nullptr; // a DSP ...
        void* user = nullptr;
        bool effect = false; // ... or an effect
    };

    void Add(Entry entry);
    bool Remove(uint32_t handle);
    bool Contains(uint32_t handle) const;
    // Adds or changes a band of an effect (by its band number); false when there is no such effect.
    bool SetEffectBand(uint32_t handle, const AudioPeakEqParams& band);
    // The bands of every effect.
    std::vector<AudioPeakEqParams> EffectBands() const;
    // A copy of the chain, to run without holding the chain's lock.
    void Snapshot(std::vector<Entry>& out) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries; // guarded by m_mutex
    std::map<uint32_t, std::vector<AudioPeakEqParams>> m_bands; // guarded by m_mutex: by effect handle
    uint64_t m_nextOrder = 0; // guarded by m_mutex
};
