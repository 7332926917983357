#include "ui/StationSearchIndex.h"

#include "core/CharUpper.h"

CStationSearchIndex::Span CStationSearchIndex::Append(QStringView text)
{
    const Span span { uint32_t(m_text.size()), uint32_t(text.size()) };
    m_text.append(text);
    return span;
}

void CStationSearchIndex::Build(std::vector<std::unique_ptr<CStationItem>>& stations)
{
    Clear();
    qsizetype total = 0;
    for (auto& station : stations)
        total += station->GetSearchKey().size();
    m_text.reserve(total);
    m_entries.reserve(stations.size());

    QString upper;
    for (auto& station : stations) {
        Entry entry;
        const QString& key = station->GetSearchKey();
        entry.key = Append(key);
        entry.own = station->IsUserStation();
        // The key joins title, genre, country, language and web page, each upper-cased in place, so
        // the fields are found inside it; a key that does not add up gets the fields of its own.
        const qsizetype title = station->GetTitle().size();
        const qsizetype genre = station->GetGenre().size();
        const qsizetype country = station->GetCountry().size();
        const qsizetype language = station->GetLanguage().size();
        if (title + genre + country + language + station->GetWebPage().size() == key.size()) {
            const uint32_t start = entry.key.start;
            entry.fields[0] = { uint32_t(start + title + genre), uint32_t(country) };
            entry.fields[1] = { uint32_t(start + title), uint32_t(genre) };
            entry.fields[2] = { uint32_t(start + title + genre + country), uint32_t(language) };
        } else {
            for (int slot = CStationItem::SlotCountry; slot <= CStationItem::SlotLanguage; ++slot) {
                CharUpperInto(station->GetAt(slot), upper);
                entry.fields[size_t(slot - 1)] = Append(upper);
            }
        }
        m_entries.push_back(entry);
    }
    m_built = true;
}

void CStationSearchIndex::Clear()
{
    m_text.clear();
    m_text.squeeze();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_built = false;
}
