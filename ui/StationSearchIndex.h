#pragma once

#include "ui/StationStore.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

// The catalogue's search keys back to back in one block, so that a search reads memory in order
// instead of visiting every station, and the upper-cased shared values for the column filters. Built
// from the stations as they are; the catalogue drops it whenever its stations change.
class CStationSearchIndex
{
public:
    // Indexes every station of the store, which must outlive the index or its next Clear.
    void Build(const CStationStore& stations);
    void Clear();
    bool IsBuilt() const { return m_stations != nullptr; }
    size_t Size() const { return m_keyStarts.empty() ? 0 : m_keyStarts.size() - 1; }

    // The upper-cased search key of station i.
    QStringView Key(size_t i) const
    {
        return QStringView(m_keys.constData() + m_keyStarts[i], qsizetype(m_keyStarts[i + 1] - m_keyStarts[i]));
    }
    // The upper-cased country, genre or language of station i.
    QStringView Field(size_t i, int slot) const { return m_upperShared[m_stations->SharedId(i, slot)]; }
    bool IsUserStation(size_t i) const { return m_stations->IsUserStation(i); }

private:
    const CStationStore* m_stations = nullptr;
    QString m_keys;
    std::vector<uint32_t> m_keyStarts; // one more than there are stations: the end of the last key
    std::vector<QString> m_upperShared; // by the store's number of the value
};
