#include "ui/StationSearchIndex.h"

#include "core/CharUpper.h"

void CStationSearchIndex::Build(const CStationStore& stations)
{
    Clear();
    const size_t count = stations.Size();
    qsizetype total = 0;
    for (size_t i = 0; i < count; ++i)
        total += stations.KeyLength(i);
    m_keys.reserve(total);
    m_keyStarts.reserve(count + 1);

    // A key is the joined fields upper-cased as one text, as a station record builds its own.
    QString joined;
    QString upper;
    for (size_t i = 0; i < count; ++i) {
        m_keyStarts.push_back(uint32_t(m_keys.size()));
        stations.JoinKeyFields(i, joined);
        CharUpperInto(joined, upper);
        m_keys.append(upper);
    }
    m_keyStarts.push_back(uint32_t(m_keys.size()));

    m_upperShared.reserve(stations.SharedCount());
    for (uint32_t id = 0; id < stations.SharedCount(); ++id)
        m_upperShared.push_back(CharUpper(stations.SharedValue(id)));
    m_stations = &stations;
}

void CStationSearchIndex::Clear()
{
    m_stations = nullptr;
    m_keys.clear();
    m_keys.squeeze();
    m_keyStarts.clear();
    m_keyStarts.shrink_to_fit();
    m_upperShared.clear();
    m_upperShared.shrink_to_fit();
}
