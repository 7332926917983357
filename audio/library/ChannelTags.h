#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The tags of a channel. Tags change under the channel lock; a pointer handed out stays valid for
// a while after the tag changed (old versions are kept), for callers that read without the lock.
class CChannelTags
{
public:
    // The response headers: status line and header lines.
    void SetHeaders(const std::vector<std::string>& lines, bool icy);
    void SetMeta(const std::string& text);
    void SetOgg(const std::vector<std::string>& comments);
    // The tag as null-terminated strings ended by an empty one (META: one string), or null.
    const char* Get(unsigned kind) const;
    // The header block as the download callback receives it while connecting.
    const char* Headers() const;

private:
    using Block = std::unique_ptr<std::string>;
    void Replace(Block& slot, std::string value);
    static std::string Join(const std::vector<std::string>& items);

    mutable std::mutex m_mutex;
    Block m_http; // guarded by m_mutex
    Block m_icy; // guarded by m_mutex
    Block m_meta; // guarded by m_mutex
    Block m_ogg; // guarded by m_mutex
    std::deque<Block> m_retired; // guarded by m_mutex
};
