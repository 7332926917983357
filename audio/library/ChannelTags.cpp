#include "audio/library/ChannelTags.h"

#include "audio/library/AudioLibrary.h"

namespace
{

constexpr size_t kRetiredVersions = 32;

} // namespace

std::string CChannelTags::Join(const std::vector<std::string>& items)
{
    std::string block;
    for (const std::string& item : items) {
        if (item.empty())
            continue;
        block.append(item.c_str()); // an item ends at its first zero byte
        block.push_back('\0');
    }
    return block; // c_str() adds the final empty string
}

void CChannelTags::Replace(Block& slot, std::string value)
{
    if (slot) {
        m_retired.push_back(std::move(slot));
        if (m_retired.size() > kRetiredVersions)
            m_retired.pop_front();
    }
    slot = std::make_unique<std::string>(std::move(value));
}

void CChannelTags::SetHeaders(const std::vector<std::string>& lines, bool icy)
{
    std::lock_guard lock(m_mutex);
    if (lines.empty())
        return;
    Replace(icy ? m_icy : m_http, Join(lines));
}

void CChannelTags::SetMeta(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    Replace(m_meta, text.substr(0, text.find('\0')));
}

void CChannelTags::SetOgg(const std::vector<std::string>& comments)
{
    std::lock_guard lock(m_mutex);
    Replace(m_ogg, Join(comments));
}

const char* CChannelTags::Get(unsigned kind) const
{
    std::lock_guard lock(m_mutex);
    const Block* slot = nullptr;
    switch (kind) {
    case AUDIO_TAG_HTTP:
        slot = &m_http;
        break;
    case AUDIO_TAG_ICY:
        slot = &m_icy;
        break;
    case AUDIO_TAG_META:
        slot = &m_meta;
        break;
    case AUDIO_TAG_OGG:
        slot = &m_ogg;
        break;
    default:
        return nullptr;
    }
    return *slot ? (*slot)->c_str() : nullptr;
}

const char* CChannelTags::Headers() const
{
    std::lock_guard lock(m_mutex);
    if (m_icy)
        return m_icy->c_str();
    return m_http ? m_http->c_str() : nullptr;
}
