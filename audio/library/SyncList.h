#pragma once

#include "audio/library/AudioLibrary.h"

#include <mutex>
#include <vector>

// The syncs set on a channel.
class CSyncList
{
public:
    struct Entry {
        AudioSync handle;
        uint32_t type; // without AUDIO_SYNC_MIXTIME
        bool mixtime;
        AudioSyncProc proc;
        void* user;
    };

    void Add(const Entry& entry);
    bool Remove(AudioSync handle);
    bool Contains(AudioSync handle) const;
    // The syncs of a type, in the order they were set.
    void Collect(uint32_t type, std::vector<Entry>& out) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries; // guarded by m_mutex
};
