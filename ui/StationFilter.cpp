#include "ui/StationFilter.h"

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

bool CStationFilter::Matches(const CStationSearchIndex& index, size_t i) const
{
    if (ownStationsOnly && !index.IsUserStation(i))
        return false;
    const QStringView key = index.Key(i);
    for (const QString& word : words) {
        if (!word.isEmpty() && !key.contains(word))
            return false;
    }
    for (int slot : kFilterableFields) {
        const QString& filter = columnFilters[size_t(slot)];
        if (!filter.isEmpty() && !index.Field(i, slot).contains(filter))
            return false;
    }
    return true;
}

void CStationFilter::Sort(
    std::vector<unsigned>& indices, const std::vector<std::unique_ptr<CStationItem>>& stations) const
{
    if (sortColumn == CStationItem::SlotTitle) {
        if (!ascending)
            std::reverse(indices.begin(), indices.end());
        return;
    }
    const int slot = sortColumn;
    auto field = [&stations, slot](unsigned index) -> const QString& { return stations[index]->GetAt(slot); };
    if (ascending)
        std::sort(indices.begin(), indices.end(),
            [&](unsigned a, unsigned b) { return CompareStationText(field(a), field(b)) < 0; });
    else
        std::sort(indices.begin(), indices.end(),
            [&](unsigned a, unsigned b) { return CompareStationText(field(b), field(a)) < 0; });
}
