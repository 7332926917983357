#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// The separator of the fields of a stations-file line.
extern const QString STATION_FIELD_SEPARATOR;
// The first line of every stations file; the reader skips it without looking.
extern const QString STATIONS_FILE_HEADER;
// The user's own stations, in the data folder.
extern const QString MY_STATIONS_FILE_NAME;

// One radio station: fixed slots of text followed by up to 19 source URLs,
// and the index of the source being played.
class CStationItem
{
public:
    enum Slot {
        SlotTitle = 0,
        SlotCountry = 1,
        SlotGenre = 2,
        SlotLanguage = 3,
        SlotWebPage = 8,
        SlotFlags = 9,
        SlotSearchKey = 10,
        SlotFirstSource = 11,
        FixedSlots = 11,
        MaxSlots = 30,
    };

    CStationItem();
    // A copy takes every slot, the search key included, but starts at source 0.
    CStationItem(const CStationItem& other);
    // Assignment takes every slot and keeps this record's current-source index.
    CStationItem& operator=(const CStationItem& other);
    virtual ~CStationItem();

    void Reset();

    void SetTitle(const QString& text) { SetAtGrow(SlotTitle, text); }
    void SetCountry(const QString& text) { SetAtGrow(SlotCountry, text); }
    void SetGenre(const QString& text) { SetAtGrow(SlotGenre, text); }
    void SetLanguage(const QString& text) { SetAtGrow(SlotLanguage, text); }
    void SetWebPage(const QString& text) { SetAtGrow(SlotWebPage, text); }
    void SetFlags(const QString& text) { SetAtGrow(SlotFlags, text); }

    const QString& GetTitle() const { return m_slots.at(SlotTitle); }
    const QString& GetCountry() const { return m_slots.at(SlotCountry); }
    const QString& GetGenre() const { return m_slots.at(SlotGenre); }
    const QString& GetLanguage() const { return m_slots.at(SlotLanguage); }
    const QString& GetWebPage() const { return m_slots.at(SlotWebPage); }
    const QString& GetFlags() const { return m_slots.at(SlotFlags); }

    void SetCurrentSource(uint8_t index) { m_currentSource = index; }
    uint8_t GetCurrentSource() const { return m_currentSource; }

    // Source n (slot 11 + n); an empty string when there is no such slot.
    const QString& GetSource(int n) const;
    const QString& GetCurrentSourceUrl() const { return GetSource(m_currentSource); }
    // Every slot from 11 to the end, empty ones included.
    void GetSources(QStringList& sources) const;
    // Stores url in the first free source slot unless it is there already; returns the slot,
    // or 30 when all 19 source slots are taken (url is dropped).
    int AddSource(const QString& url);

    bool IsUserStation() const;
    void MarkAsUser();

    // Title, genre, country, language and web page joined and upper-cased; cached in slot 10.
    const QString& GetSearchKey();

    // One stations-file line without its line end.
    QString FormatLine() const;
    // Replaces the whole record by the fields of one stations-file line.
    void ParseLine(const QString& line);

    // The string-array side of the record.
    int GetSize() const { return int(m_slots.size()); }
    const QString& GetAt(int slot) const { return m_slots.at(slot); }
    void SetAtGrow(int slot, const QString& text);

private:
    QStringList m_slots;
    uint8_t m_currentSource = 0;
};

// Removes white space at both ends, as the C library's iswspace classifies it.
QString TrimStationField(const QString& text);

// Reads a stations file: skips the header line, then reads one station a line until the first
// empty line or the end of the file. Stations are marked as the user's own when markAsUser is set.
// Throws CFileException when the file cannot be opened or read.
std::vector<CStationItem> ReadStationsFile(const QString& path, bool markAsUser);
// Writes the header and then every station that IsUserStation reports, in the given order. The new
// file replaces the old one only once it is complete; throws CFileException, with the old file left as
// it was, when it cannot be written.
void WriteUserStationsFile(const QString& path, const std::vector<CStationItem>& stations);
// The stations database: the first "stations*.kvd" in the "Stations" folder of the program folder,
// or an empty string when there is none.
QString FindStationsDatabaseFile(const QString& appFolder);
