#pragma once

#include "core/StationItem.h"
#include "stations/StationSearchIndex.h"

#include <QString>
#include <array>
#include <vector>

// What decides which catalogue stations the list shows and in which order: the search words, the
// column filters, the own-stations mode and the sort column.
struct CStationFilter {
    static constexpr int kSearchWords = 4;
    // The fields a column filter can be set on: country, genre and language.
    static constexpr std::array<int, 3> kFilterableFields { CStationItem::SlotCountry, CStationItem::SlotGenre,
        CStationItem::SlotLanguage };

    // Up to four words of the text, split at runs of blanks and upper-cased; the rest stay empty.
    static std::array<QString, kSearchWords> SplitSearchWords(const QString& text);

    // Whether a search word or a column filter is set: only then does matching need the search index.
    bool NeedsSearchIndex() const;
    // Every condition must hold for station i: the user's own station in own-stations mode, every
    // search word inside its search key, and every set filter inside its upper-cased field. index,
    // built from stations, may be null where NeedsSearchIndex() is false.
    bool Matches(const CStationStore& stations, const CStationSearchIndex* index, size_t i) const;
    // Sorts catalogue indices by the sort column without regard to case. The catalogue is kept in title
    // order with the same comparison, so indices taken in catalogue order are already sorted by title.
    void Sort(std::vector<unsigned>& indices, const CStationStore& stations) const;

    bool HasFilter(int slot) const { return !columnFilters.at(slot).isEmpty(); }

    std::array<QString, kSearchWords> words; // upper-cased; empty where the text has fewer words
    std::array<QString, CStationItem::MaxSlots> columnFilters; // by slot, upper-cased; empty = no filter
    bool ownStationsOnly = false;
    int sortColumn = CStationItem::SlotTitle; // a slot from 0 to 3
    bool ascending = true;
};

// The one comparison of station texts: case is ignored (titles in the catalogue, sort keys in the list).
int CompareStationText(const QString& a, const QString& b);
