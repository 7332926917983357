#pragma once

#include "audio/library/AudioLibrary.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CPeakEqualizer;

// A channel's DSPs and effects in processing order: higher priority first, equal priorities in the
// order they were set.
class CDspChain
{
public:
    struct Entry {
        uint32_t handle = 0;
        int priority = 0;
        uint64_t order = 0;
        AudioDspProc proc = nullptr; // a DSP ...
        void* user = nullptr;
        std::shared_ptr<CPeakEqualizer> effect; // ... or an effect
    };

    void Add(Entry entry);
    bool Remove(uint32_t handle);
    bool Contains(uint32_t handle) const;
    std::shared_ptr<CPeakEqualizer> FindEffect(uint32_t handle) const;
    // A copy of the chain, to run without holding the chain's lock.
    void Snapshot(std::vector<Entry>& out) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries; // guarded by m_mutex
    uint64_t m_nextOrder = 0; // guarded by m_mutex
};
