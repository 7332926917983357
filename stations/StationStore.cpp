#include "stations/StationStore.h"

#include <cstring>
#include <stdexcept>

namespace
{

// Texts are kept in blocks of this size; a longer station gets a block of its own.
constexpr int kOffsetBits = 18;
constexpr size_t kBlockSize = size_t(1) << kOffsetBits;
// Blocks a text position can name.
constexpr size_t kMaxBlocks = size_t(1) << (32 - kOffsetBits);
// The stations' array grows by this many at a time.
constexpr size_t kGrowStep = 1000;

// One packed text: a header of (length << 1 | wide) in 7-bit groups, then the characters, one byte
// each when every one is below 256 (wide clear), else two.
struct PackedText {
    const uint8_t* data = nullptr;
    qsizetype length = 0;
    bool wide = false;
};

class TextReader
{
public:
    explicit TextReader(const uint8_t* at)
        : m_at(at)
    {
    }

    PackedText Next()
    {
        uint64_t header = 0;
        int shift = 0;
        uint8_t byte = 0;
        do {
            byte = *m_at++;
            header |= uint64_t(byte & 0x7F) << shift;
            shift += 7;
        } while (byte & 0x80);
        PackedText text { m_at, qsizetype(header >> 1), (header & 1) != 0 };
        m_at += text.length * (text.wide ? 2 : 1);
        return text;
    }

private:
    const uint8_t* m_at;
};

void DecodeInto(const PackedText& text, QString& out)
{
    out.resize(text.length);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    if (text.wide) {
        std::memcpy(to, text.data, size_t(text.length) * 2);
    } else {
        for (qsizetype i = 0; i < text.length; ++i)
            to[i] = text.data[i];
    }
}

QString Decode(const PackedText& text)
{
    if (text.length == 0)
        return QString();
    if (!text.wide)
        return QString::fromLatin1(reinterpret_cast<const char*>(text.data), text.length);
    QString out;
    DecodeInto(text, out);
    return out;
}

void Encode(const QString& text, std::vector<uint8_t>& into)
{
    const char16_t* chars = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype length = text.size();
    bool wide = false;
    for (qsizetype i = 0; i < length && !wide; ++i)
        wide = chars[i] > 0xFF;
    uint64_t header = (uint64_t(length) << 1) | (wide ? 1 : 0);
    do {
        const uint8_t group = header & 0x7F;
        header >>= 7;
        into.push_back(header ? (group | 0x80) : group);
    } while (header);
    if (wide) {
        const size_t at = into.size();
        into.resize(at + size_t(length) * 2);
        std::memcpy(into.data() + at, chars, size_t(length) * 2);
    } else {
        for (qsizetype i = 0; i < length; ++i)
            into.push_back(uint8_t(chars[i]));
    }
}

const QString kUserMarker = QStringLiteral("<u>");

} // namespace

CStationStore::CStationStore()
{
    Clear();
}

void CStationStore::Clear()
{
    m_records.clear();
    m_records.shrink_to_fit();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_filling = 0;
    m_blockUsed = kBlockSize;
    m_sharedIds.clear();
    m_sharedIds.squeeze();
    m_sharedValues.clear();
    m_sharedValues.shrink_to_fit();
    m_sharedValues.emplace_back(); // number 0: the empty text
    m_fieldSets.clear();
    m_fieldSets.shrink_to_fit();
    m_fieldSetTable.clear();
    m_fieldSetTable.shrink_to_fit();
    m_packing.clear();
    m_packing.shrink_to_fit();
}

int CStationStore::SharedIndex(int slot)
{
    switch (slot) {
    case CStationItem::SlotCountry:
        return 0;
    case CStationItem::SlotGenre:
        return 1;
    case CStationItem::SlotLanguage:
        return 2;
    case CStationItem::SlotWebPage:
        return 3;
    default:
        return 4;
    }
}

uint32_t CStationStore::Intern(const QString& value)
{
    if (value.isEmpty())
        return 0;
    const auto found = m_sharedIds.constFind(value);
    if (found != m_sharedIds.constEnd())
        return found.value();
    const uint32_t id = uint32_t(m_sharedValues.size());
    m_sharedValues.push_back(value);
    m_sharedIds.insert(value, id);
    return id;
}

uint32_t CStationStore::InternFields(const FieldSet& fields)
{
    auto hash = [](const FieldSet& set) {
        uint64_t h = 0x9E3779B97F4A7C15ull;
        for (uint32_t id : set)
            h = (h ^ id) * 0xFF51AFD7ED558CCDull;
        return size_t(h ^ (h >> 29));
    };
    // Kept at most half full, so a free place is always found.
    if ((m_fieldSets.size() + 1) * 2 > m_fieldSetTable.size()) {
        std::vector<uint32_t> table(std::max<size_t>(64, m_fieldSetTable.size() * 2), 0);
        for (uint32_t id = 0; id < m_fieldSets.size(); ++id) {
            size_t at = hash(m_fieldSets[id]) & (table.size() - 1);
            while (table[at] != 0)
                at = (at + 1) & (table.size() - 1);
            table[at] = id + 1;
        }
        m_fieldSetTable.swap(table);
    }
    const size_t mask = m_fieldSetTable.size() - 1;
    for (size_t at = hash(fields) & mask;; at = (at + 1) & mask) {
        const uint32_t entry = m_fieldSetTable[at];
        if (entry == 0) {
            m_fieldSets.push_back(fields);
            m_fieldSetTable[at] = uint32_t(m_fieldSets.size());
            return uint32_t(m_fieldSets.size() - 1);
        }
        if (m_fieldSets[entry - 1] == fields)
            return entry - 1;
    }
}

uint32_t CStationStore::Keep(const std::vector<uint8_t>& bytes)
{
    const bool ownBlock = bytes.size() > kBlockSize;
    if (ownBlock || m_blockUsed + bytes.size() > kBlockSize) {
        if (m_blocks.size() >= kMaxBlocks)
            throw std::length_error("too many station texts");
        m_blocks.push_back(std::make_unique_for_overwrite<uint8_t[]>(ownBlock ? bytes.size() : kBlockSize));
        if (ownBlock) {
            std::memcpy(m_blocks.back().get(), bytes.data(), bytes.size());
            return uint32_t(m_blocks.size() - 1) << kOffsetBits;
        }
        m_filling = uint32_t(m_blocks.size() - 1);
        m_blockUsed = 0;
    }
    std::memcpy(m_blocks[m_filling].get() + m_blockUsed, bytes.data(), bytes.size());
    const uint32_t position = (m_filling << kOffsetBits) | uint32_t(m_blockUsed);
    m_blockUsed += bytes.size();
    return position;
}

const uint8_t* CStationStore::Text(size_t i) const
{
    const uint32_t position = m_records[i].text;
    return m_blocks[position >> kOffsetBits].get() + (position & (kBlockSize - 1));
}

CStationStore::Record CStationStore::Pack(const CStationItem& station)
{
    Record record;
    m_packing.clear();
    Encode(station.GetSize() > 0 ? station.GetAt(CStationItem::SlotTitle) : QString(), m_packing);
    FieldSet fields {};
    for (size_t n = 0; n < kSharedSlots.size(); ++n) {
        const int slot = kSharedSlots[n];
        fields[n] = slot < station.GetSize() ? Intern(station.GetAt(slot)) : 0;
    }
    record.fields = InternFields(fields);
    for (int slot = CStationItem::SlotFirstSource; slot < station.GetSize() && slot < CStationItem::MaxSlots; ++slot)
        Encode(station.GetAt(slot), m_packing);
    record.sources = uint8_t(std::clamp(station.GetSize() - int(CStationItem::SlotFirstSource), 0,
        int(CStationItem::MaxSlots - CStationItem::SlotFirstSource)));
    record.text = Keep(m_packing);
    return record;
}

void CStationStore::Insert(size_t at, const CStationItem& station)
{
    const Record record = Pack(station);
    if (m_records.size() == m_records.capacity())
        m_records.reserve(m_records.size() + kGrowStep);
    m_records.insert(m_records.begin() + qsizetype(at), record);
}

void CStationStore::Replace(size_t i, const CStationItem& station)
{
    // The old texts stay in their block until the store is cleared; edits are few.
    m_records[i] = Pack(station);
}

void CStationStore::Erase(size_t i)
{
    m_records.erase(m_records.begin() + qsizetype(i));
}

CStationItem CStationStore::Get(size_t i) const
{
    const Record& record = m_records[i];
    CStationItem station;
    TextReader texts(Text(i));
    station.SetTitle(Decode(texts.Next()));
    for (size_t n = 0; n < kSharedSlots.size(); ++n)
        station.SetAtGrow(kSharedSlots[n], m_sharedValues[m_fieldSets[record.fields][n]]);
    for (int n = 0; n < record.sources; ++n)
        station.SetAtGrow(CStationItem::SlotFirstSource + n, Decode(texts.Next()));
    return station;
}

QString CStationStore::Title(size_t i) const
{
    return Decode(TextReader(Text(i)).Next());
}

QString CStationStore::Field(size_t i, int slot) const
{
    if (slot == CStationItem::SlotTitle)
        return Title(i);
    for (int shared : kSharedSlots) {
        if (slot == shared)
            return Shared(i, slot);
    }
    const int source = slot - CStationItem::SlotFirstSource;
    if (source < 0 || source >= m_records[i].sources)
        return QString();
    TextReader texts(Text(i));
    texts.Next(); // the title
    for (int n = 0; n < source; ++n)
        texts.Next();
    return Decode(texts.Next());
}

bool CStationStore::IsUserStation(size_t i) const
{
    return Shared(i, CStationItem::SlotFlags).contains(kUserMarker);
}

int CStationStore::FindSource(size_t i, const QString& url, Qt::CaseSensitivity cs) const
{
    const Record& record = m_records[i];
    TextReader texts(Text(i));
    texts.Next(); // the title
    QString source;
    for (int n = 0; n < record.sources; ++n) {
        const PackedText text = texts.Next();
        // Equal texts have equal lengths, with or without regard to case: case folding keeps lengths.
        if (text.length != url.size())
            continue;
        DecodeInto(text, source);
        if (QString::compare(source, url, cs) == 0)
            return n;
    }
    return -1;
}

qsizetype CStationStore::KeyLength(size_t i) const
{
    qsizetype length = TextReader(Text(i)).Next().length;
    for (int slot :
        { CStationItem::SlotGenre, CStationItem::SlotCountry, CStationItem::SlotLanguage, CStationItem::SlotWebPage })
        length += Shared(i, slot).size();
    return length;
}

void CStationStore::JoinKeyFields(size_t i, QString& out) const
{
    DecodeInto(TextReader(Text(i)).Next(), out);
    for (int slot :
        { CStationItem::SlotGenre, CStationItem::SlotCountry, CStationItem::SlotLanguage, CStationItem::SlotWebPage })
        out += Shared(i, slot);
}
