#include "core/StationItem.h"

#include "core/CharUpper.h"
#include "core/StdioFileUTF8.h"

#include <QDir>
#include <QSaveFile>

#include <cerrno>

const QString STATION_FIELD_SEPARATOR = QStringLiteral("\t");
const QString STATIONS_FILE_HEADER = QStringLiteral("N \t title \t web \t Country \t genre \t Language \t Source \t");
const QString MY_STATIONS_FILE_NAME = QStringLiteral("mystations.kvd");

namespace
{

const QString kEmptySlot;
const QString kUserMarker = QStringLiteral("<u>");
const QString kEmptyField = QStringLiteral(" ");

// The set of characters glibc's iswspace accepts.
bool IsSpace(char16_t c)
{
    switch (c) {
    case 0x0009:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0020:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return (c >= 0x2000 && c <= 0x2006) || (c >= 0x2008 && c <= 0x200A);
    }
}

// Walks the fields of a line: runs of TABs separate, leading TABs are skipped.
class LineTokenizer
{
public:
    explicit LineTokenizer(const QString& line)
        : m_line(line)
    {
    }

    // The next field; `exhausted` is set when no characters were left for it.
    QString Next(bool& exhausted)
    {
        const qsizetype n = m_line.size();
        while (m_pos < n && m_line.at(m_pos) == QLatin1Char('\t'))
            ++m_pos;
        exhausted = m_pos >= n;
        if (exhausted)
            return QString();
        const qsizetype start = m_pos;
        while (m_pos < n && m_line.at(m_pos) != QLatin1Char('\t'))
            ++m_pos;
        return m_line.mid(start, m_pos - start);
    }

private:
    const QString& m_line;
    qsizetype m_pos = 0;
};

} // namespace

QString TrimStationField(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsSpace(text.at(begin).unicode()))
        ++begin;
    while (end > begin && IsSpace(text.at(end - 1).unicode()))
        --end;
    return (begin == 0 && end == text.size()) ? text : text.mid(begin, end - begin);
}

CStationItem::CStationItem()
{
    Reset();
}

CStationItem::CStationItem(const CStationItem& other)
    : m_slots(other.m_slots)
    , m_currentSource(0)
{
}

CStationItem& CStationItem::operator=(const CStationItem& other)
{
    m_slots = other.m_slots;
    return *this;
}

CStationItem::~CStationItem() = default;

void CStationItem::Reset()
{
    m_slots.clear();
    m_slots.resize(FixedSlots);
    m_currentSource = 0;
}

void CStationItem::SetAtGrow(int slot, const QString& text)
{
    if (slot < 0)
        return;
    if (slot >= m_slots.size())
        m_slots.resize(slot + 1);
    m_slots[slot] = text;
}

const QString& CStationItem::GetSource(int n) const
{
    const int slot = SlotFirstSource + n;
    if (n < 0 || slot >= m_slots.size())
        return kEmptySlot;
    return m_slots.at(slot);
}

void CStationItem::GetSources(QStringList& sources) const
{
    sources.clear();
    for (qsizetype i = SlotFirstSource; i < m_slots.size(); ++i)
        sources.append(m_slots.at(i));
}

int CStationItem::AddSource(const QString& url)
{
    for (int i = SlotFirstSource; i < MaxSlots; ++i) {
        if (i == m_slots.size()) {
            m_slots.append(url);
            return i;
        }
        if (m_slots.at(i) == url)
            return i;
        if (m_slots.at(i).size() < 2) {
            m_slots[i] = url;
            return i;
        }
    }
    return MaxSlots;
}

bool CStationItem::IsUserStation() const
{
    return m_slots.size() > SlotFlags && m_slots.at(SlotFlags).contains(kUserMarker);
}

void CStationItem::MarkAsUser()
{
    SetFlags(kUserMarker);
}

const QString& CStationItem::GetSearchKey()
{
    if (m_slots.size() <= SlotSearchKey)
        m_slots.resize(FixedSlots);
    if (m_slots.at(SlotSearchKey).isEmpty()) {
        const QString joined = m_slots.at(SlotTitle) + m_slots.at(SlotGenre) + m_slots.at(SlotCountry)
            + m_slots.at(SlotLanguage) + m_slots.at(SlotWebPage);
        m_slots[SlotSearchKey] = CharUpper(joined);
    }
    return m_slots.at(SlotSearchKey);
}

QString CStationItem::FormatLine() const
{
    auto field = [this](int slot) -> const QString& {
        const QString& text = slot < m_slots.size() ? m_slots.at(slot) : kEmptySlot;
        return text.isEmpty() ? kEmptyField : text;
    };
    QString line;
    line.reserve(128);
    for (int slot : { int(SlotTitle), int(SlotWebPage), int(SlotGenre), int(SlotCountry) })
        line += field(slot) + STATION_FIELD_SEPARATOR;
    line += kEmptyField + STATION_FIELD_SEPARATOR; // the language is not written
    for (qsizetype i = SlotFirstSource; i < m_slots.size(); ++i) {
        if (!m_slots.at(i).isEmpty())
            line += m_slots.at(i) + STATION_FIELD_SEPARATOR;
    }
    return line;
}

void CStationItem::ParseLine(const QString& line)
{
    Reset();
    LineTokenizer tokens(line);
    bool exhausted = false;

    const struct {
        int slot;
        bool trim;
    } leading[] = {
        { SlotTitle, true },
        { SlotWebPage, false },
        { SlotGenre, true },
        { SlotCountry, true },
        { SlotLanguage, true },
    };
    for (const auto& field : leading) {
        const QString token = tokens.Next(exhausted);
        if (exhausted)
            return;
        m_slots[field.slot] = field.trim ? TrimStationField(token) : token;
    }
    do {
        AddSource(TrimStationField(tokens.Next(exhausted)));
    } while (!exhausted);
}

std::vector<CStationItem> ReadStationsFile(const QString& path, bool markAsUser)
{
    std::vector<CStationItem> stations;
    CStdioFileUTF8 file(path, CStdioFileUTF8::modeRead);
    QString line;
    file.ReadString(line); // the header
    while (file.ReadString(line)) {
        stations.emplace_back();
        stations.back().ParseLine(line);
        if (markAsUser)
            stations.back().MarkAsUser();
    }
    return stations;
}

void WriteUserStationsFile(const QString& path, const std::vector<CStationItem>& stations)
{
    QString text = STATIONS_FILE_HEADER + QLatin1Char('\n');
    for (const CStationItem& station : stations) {
        if (station.IsUserStation())
            text += station.FormatLine() + QLatin1Char('\n');
    }
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const QByteArray bytes = text.toUtf8();

    // A temporary file beside the old one replaces it only once it is written whole, so a full disk or
    // a killed process never costs the user the stations they keep.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int error = errno;
        throw CFileException(
            error != 0 ? CFileException::CauseFromErrno(error) : CFileException::genericException, path);
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw CFileException(
            file.error() == QFileDevice::PermissionsError ? CFileException::accessDenied : CFileException::diskFull,
            path);
}

QString FindStationsDatabaseFile(const QString& appFolder)
{
    const QDir folder(appFolder + QStringLiteral("Stations"));
    const QStringList files = folder.entryList({ QStringLiteral("stations*.kvd") }, QDir::Files, QDir::Name);
    return files.isEmpty() ? QString() : folder.filePath(files.first());
}
