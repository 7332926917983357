#pragma once

#include "core/StationItem.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The catalogue's stations, packed. Each station's own texts (its title and its source slots) lie in
// blocks that all stations share, one byte a character where the text allows it; its country, genre,
// language, web page and marker are values that every station with the same value shares, and a
// station holds only the number of its set of them.
// A station taken out of the store is an ordinary record: the texts it was given, 11 fixed slots, its
// source slots, no cached search key and the first source current.
class CStationStore
{
public:
    // The shared fields, in the order of their numbers.
    static constexpr std::array<int, 5> kSharedSlots { CStationItem::SlotCountry, CStationItem::SlotGenre,
        CStationItem::SlotLanguage, CStationItem::SlotWebPage, CStationItem::SlotFlags };

    CStationStore();
    CStationStore(const CStationStore&) = delete;
    CStationStore& operator=(const CStationStore&) = delete;

    size_t Size() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }
    // Frees every station and every shared value.
    void Clear();

    // Stores the station's title, shared fields and source slots at position at.
    void Insert(size_t at, const CStationItem& station);
    void Replace(size_t i, const CStationItem& station);
    void Erase(size_t i);
    // Takes station i out and puts it back where place() says, a position among the others; returns it.
    template <typename Place> size_t Reposition(size_t i, Place place)
    {
        const Record record = m_records[i];
        m_records.erase(m_records.begin() + qsizetype(i));
        const size_t at = place();
        m_records.insert(m_records.begin() + qsizetype(at), record);
        return at;
    }

    // A copy of station i as a record.
    CStationItem Get(size_t i) const;
    QString Title(size_t i) const;
    // Slot `slot` of station i as its record holds it; an empty string for a slot it does not have.
    QString Field(size_t i, int slot) const;
    bool IsUserStation(size_t i) const;
    int SourceSlots(size_t i) const { return m_records[i].sources; }
    // The source number of station i's first source slot equal to url, or -1.
    int FindSource(size_t i, const QString& url, Qt::CaseSensitivity cs) const;
    // The number of characters in the title, genre, country, language and web page, which the search
    // key joins.
    qsizetype KeyLength(size_t i) const;
    // Those fields joined in the search key's order, into a buffer the caller keeps.
    void JoinKeyFields(size_t i, QString& out) const;

    // Shared values: slot is one of kSharedSlots. Number 0 is the empty text.
    uint32_t SharedId(size_t i, int slot) const { return m_fieldSets[m_records[i].fields][size_t(SharedIndex(slot))]; }
    const QString& Shared(size_t i, int slot) const { return m_sharedValues[SharedId(i, slot)]; }
    const QString& SharedValue(uint32_t id) const { return m_sharedValues[id]; }
    size_t SharedCount() const { return m_sharedValues.size(); }

private:
    using FieldSet = std::array<uint32_t, kSharedSlots.size()>;
    struct Record {
        uint32_t text = 0; // where the title and then every source slot are: block << kOffsetBits | offset
        uint32_t fields = 0; // the number of the station's set of shared values
        uint8_t sources = 0;
    };

    static int SharedIndex(int slot);
    Record Pack(const CStationItem& station);
    uint32_t Intern(const QString& value);
    uint32_t InternFields(const FieldSet& fields);
    uint32_t Keep(const std::vector<uint8_t>& bytes);
    const uint8_t* Text(size_t i) const;

    std::vector<Record> m_records;
    // The stations' texts; a block is never moved, so a record's position stays good until Clear.
    std::vector<std::unique_ptr<uint8_t[]>> m_blocks;
    uint32_t m_filling = 0; // the block new texts go to, when there is one
    size_t m_blockUsed = 0;
    std::vector<QString> m_sharedValues;
    QHash<QString, uint32_t> m_sharedIds;
    std::vector<FieldSet> m_fieldSets;
    // Open addressing over m_fieldSets: a set's number + 1 at the first free place from its hash; 0 free.
    std::vector<uint32_t> m_fieldSetTable;
    std::vector<uint8_t> m_packing; // Pack's buffer
};
