#pragma once

#include "core/StationItem.h"

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The catalogue's search keys back to back in one block, so that a search reads memory in order
// instead of visiting every station's own strings. Built from the stations' cached keys; the
// catalogue drops it whenever its stations change.
class CStationSearchIndex
{
public:
    // Indexes every station, building the search keys they do not have yet.
    void Build(std::vector<std::unique_ptr<CStationItem>>& stations);
    void Clear();
    bool IsBuilt() const { return m_built; }
    size_t Size() const { return m_entries.size(); }

    // The upper-cased search key of station i.
    QStringView Key(size_t i) const { return Range(m_entries[i].key); }
    // The upper-cased country, genre or language of station i.
    QStringView Field(size_t i, int slot) const { return Range(m_entries[i].fields[size_t(slot - 1)]); }
    bool IsUserStation(size_t i) const { return m_entries[i].own; }

private:
    struct Span {
        uint32_t start = 0;
        uint32_t size = 0;
    };
    struct Entry {
        Span key;
        std::array<Span, 3> fields; // country, genre, language
        bool own = false;
    };

    QStringView Range(Span span) const { return QStringView(m_text.constData() + span.start, span.size); }
    Span Append(QStringView text);

    QString m_text;
    std::vector<Entry> m_entries;
    bool m_built = false;
};
