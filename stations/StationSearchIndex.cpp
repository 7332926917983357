#include "stations/StationSearchIndex.h"

#include "core/CharUpper.h"

#include <cstring>

namespace
{

bool IsNarrow(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Whether word occurs in a text of one byte a character: the text as if each byte were the
// character of that number.
bool NarrowContains(const uint8_t* text, qsizetype length, QStringView word)
{
    const qsizetype size = word.size();
    if (size == 0)
        return true;
    if (size > length || word.front().unicode() > 0xFF)
        return false;
    const char16_t* chars = word.utf16();
    const uint8_t* last = text + (length - size);
    for (const uint8_t* at = text; at <= last; ++at) {
        at = static_cast<const uint8_t*>(std::memchr(at, chars[0], size_t(last - at) + 1));
        if (!at)
            return false;
        qsizetype n = 1;
        while (n < size && at[n] == chars[n])
            ++n;
        if (n == size)
            return true;
    }
    return false;
}

} // namespace

void CStationSearchIndex::Build(const CStationStore& stations)
{
    Clear();
    const size_t count = stations.Size();
    m_keys.resize(count);

    // A key is the joined fields upper-cased as one text, as a station record builds its own. The
    // keys' sizes are counted first, so that each block is allocated once.
    QString joined;
    QString upper;
    qsizetype narrow = 0;
    qsizetype wide = 0;
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            m_narrow.reserve(narrow);
            m_wide.reserve(wide);
        }
        for (size_t i = 0; i < count; ++i) {
            stations.JoinKeyFields(i, joined);
            CharUpperInto(joined, upper);
            const bool isNarrow = IsNarrow(upper);
            if (round == 0) {
                (isNarrow ? narrow : wide) += upper.size();
                continue;
            }
            KeyRef& key = m_keys[i];
            key.length = uint32_t(upper.size());
            key.wide = isNarrow ? 0 : 1;
            if (isNarrow) {
                key.start = uint32_t(m_narrow.size());
                m_narrow.append(upper.toLatin1());
            } else {
                key.start = uint32_t(m_wide.size());
                m_wide.append(upper);
            }
        }
    }

    m_upperShared.reserve(stations.SharedCount());
    for (uint32_t id = 0; id < stations.SharedCount(); ++id)
        m_upperShared.push_back(CharUpper(stations.SharedValue(id)));
    m_stations = &stations;
}

void CStationSearchIndex::Clear()
{
    m_stations = nullptr;
    m_narrow.clear();
    m_narrow.squeeze();
    m_wide.clear();
    m_wide.squeeze();
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_upperShared.clear();
    m_upperShared.shrink_to_fit();
}

bool CStationSearchIndex::KeyContains(size_t i, QStringView word) const
{
    const KeyRef& key = m_keys[i];
    if (key.wide)
        return QStringView(m_wide.constData() + key.start, key.length).contains(word);
    return NarrowContains(reinterpret_cast<const uint8_t*>(m_narrow.constData()) + key.start, key.length, word);
}
