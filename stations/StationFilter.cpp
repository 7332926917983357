#include "stations/StationFilter.h"

#include "core/CharUpper.h"

#include <algorithm>

int CompareStationText(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

std::array<QString, CStationFilter::kSearchWords> CStationFilter::SplitSearchWords(const QString& text)
{
    std::array<QString, kSearchWords> result;
    int count = 0;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (count < kSearchWords) {
        while (pos < n && text.at(pos) == QLatin1Char(' '))
            ++pos;
        if (pos >= n)
            break;
        const qsizetype start = pos;
        while (pos < n && text.at(pos) != QLatin1Char(' '))
            ++pos;
        result[count++] = CharUpper(QStringView(text).mid(start, pos - start));
    }
    return result;
}

bool CStationFilter::NeedsSearchIndex() const
{
    return std::any_of(words.begin(), words.end(), [](const QString& word) { return !word.isEmpty(); })
        || std::any_of(kFilterableFields.begin(), kFilterableFields.end(),
            [this](int slot) { return !columnFilters[size_t(slot)].isEmpty(); });
}

bool CStationFilter::Matches(const CStationStore& stations, const CStationSearchIndex* index, size_t i) const
{
    if (ownStationsOnly && !stations.IsUserStation(i))
        return false;
    if (!index)
        return true;
    for (const QString& word : words) {
        if (!word.isEmpty() && !index->KeyContains(i, word))
            return false;
    }
    for (int slot : kFilterableFields) {
        const QString& filter = columnFilters[size_t(slot)];
        if (!filter.isEmpty() && !index->Field(i, slot).contains(filter))
            return false;
    }
    return true;
}

void CStationFilter::Sort(std::vector<unsigned>& indices, const CStationStore& stations) const
{
    if (sortColumn == CStationItem::SlotTitle) {
        if (!ascending)
            std::reverse(indices.begin(), indices.end());
        return;
    }
    // The other columns hold shared values: rank each value once, values equal without regard to case
    // alike, and sort the stations by the ranks of theirs.
    std::vector<uint32_t> byValue(stations.SharedCount());
    for (uint32_t id = 0; id < byValue.size(); ++id)
        byValue[id] = id;
    std::sort(byValue.begin(), byValue.end(), [&stations](uint32_t a, uint32_t b) {
        return CompareStationText(stations.SharedValue(a), stations.SharedValue(b)) < 0;
    });
    std::vector<uint32_t> rank(byValue.size());
    uint32_t current = 0;
    for (size_t n = 0; n < byValue.size(); ++n) {
        if (n > 0 && CompareStationText(stations.SharedValue(byValue[n - 1]), stations.SharedValue(byValue[n])) != 0)
            ++current;
        rank[byValue[n]] = current;
    }
    const int slot = sortColumn;
    auto key = [&stations, &rank, slot](unsigned index) { return rank[stations.SharedId(index, slot)]; };
    if (ascending)
        std::sort(indices.begin(), indices.end(), [&](unsigned a, unsigned b) { return key(a) < key(b); });
    else
        std::sort(indices.begin(), indices.end(), [&](unsigned a, unsigned b) { return key(b) < key(a); });
}
