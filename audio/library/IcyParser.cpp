#include "audio/library/IcyParser.h"

#include <algorithm>

namespace
{

bool IsKeyCharacter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// True when text at position starts with a key and "='".
bool StartsItem(const std::string& text, size_t position)
{
    size_t end = position;
    while (end < text.size() && IsKeyCharacter(static_cast<unsigned char>(text[end])))
        ++end;
    return end > position && text.compare(end, 2, "='") == 0;
}

// A block is text of items key='value'; one after another (a value may hold quotes). Anything else
// means that the stream is out of step with its metadata interval: the block holds sound bytes.
bool IsMetadataText(const std::string& text)
{
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F)
            return false;
    }
    const size_t end = text.find_last_not_of(' ') + 1; // trailing blanks pad some blocks
    size_t position = 0;
    while (position < end) {
        if (!StartsItem(text, position))
            return false;
        size_t close = text.find("='", position) + 2;
        for (;;) {
            close = text.find("';", close);
            if (close == std::string::npos || close + 2 > end)
                return false;
            if (close + 2 == end || StartsItem(text, close + 2))
                break;
            ++close;
        }
        position = close + 2;
    }
    return end > 0;
}

} // namespace

CIcyParser::CIcyParser(uint32_t interval)
    : m_interval(interval)
    , m_audioLeft(interval)
{
}

void CIcyParser::Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& audio,
    const std::function<void(const std::string&)>& onMetadata)
{
    if (m_interval == 0) {
        audio.insert(audio.end(), data, data + size);
        return;
    }
    size_t i = 0;
    while (i < size) {
        if (m_inMeta) {
            const size_t n = std::min(m_metaLeft, size - i);
            m_meta.append(reinterpret_cast<const char*>(data + i), n);
            i += n;
            m_metaLeft -= n;
            if (m_metaLeft == 0) {
                m_inMeta = false;
                m_audioLeft = m_interval;
                const size_t end = m_meta.find('\0');
                if (end != std::string::npos)
                    m_meta.resize(end);
                if (onMetadata && IsMetadataText(m_meta))
                    onMetadata(m_meta);
                m_meta.clear();
            }
        } else if (m_audioLeft == 0) {
            m_metaLeft = size_t(data[i++]) * 16;
            if (m_metaLeft == 0)
                m_audioLeft = m_interval;
            else
                m_inMeta = true;
        } else {
            const size_t n = std::min<size_t>(m_audioLeft, size - i);
            audio.insert(audio.end(), data + i, data + i + n);
            i += n;
            m_audioLeft -= uint32_t(n);
        }
    }
}
