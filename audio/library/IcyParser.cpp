#include "audio/library/IcyParser.h"

#include <algorithm>

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
                if (!m_meta.empty() && onMetadata)
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
