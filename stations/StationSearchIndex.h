#pragma once

#include "stations/StationStore.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

// The catalogue's search keys back to back, so that a search reads memory in order instead of
// visiting every station, and the upper-cased shared values for the column filters. A key whose
// characters are all below 256 is kept one byte a character. Built from the stations as they are;
// the catalogue drops it whenever its stations change.
class CStationSearchIndex
{
public:
    // Indexes every station of the store, which must outlive the index or its next Clear.
    void Build(const CStationStore& stations);
    void Clear();
    bool IsBuilt() const { return m_stations != nullptr; }
    size_t Size() const { return m_keys.size(); }

    // Whether the upper-cased search key of station i holds word.
    bool KeyContains(size_t i, QStringView word) const;
    // The upper-cased country, genre or language of station i.
    QStringView Field(size_t i, int slot) const { return m_upperShared[m_stations->SharedId(i, slot)]; }
    bool IsUserStation(size_t i) const { return m_stations->IsUserStation(i); }

private:
    struct KeyRef {
        uint32_t start = 0; // in m_narrow, or in m_wide when wide
        uint32_t length : 31 = 0;
        uint32_t wide : 1 = 0;
    };

    const CStationStore* m_stations = nullptr;
    QByteArray m_narrow; // keys one byte a character
    QString m_wide; // the others
    std::vector<KeyRef> m_keys;
    std::vector<QString> m_upperShared; // by the store's number of the value
};
