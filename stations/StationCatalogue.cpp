#include "stations/StationCatalogue.h"

#include "core/SeException.h"
#include "core/StdioFileUTF8.h"
#include "stations/StationFilter.h"

#include <QDir>
#include <QFileInfo>

#include <malloc.h>

namespace
{

// The file a pattern names: its folder followed by the first name the folder's listing yields for the
// pattern; the folder alone when nothing matches (opening that fails).
QString ResolvePattern(const QString& pattern)
{
    const qsizetype slash = pattern.lastIndexOf(QLatin1Char('/'));
    const QString folder = pattern.left(slash + 1);
    const QString name = pattern.mid(slash + 1);
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')))
        return pattern;
    const QStringList files
        = QDir(folder.isEmpty() ? QStringLiteral(".") : folder).entryList({ name }, QDir::Files, QDir::Name);
    return folder + files.value(0);
}

// Hands the pages of freed memory back to the system. Loading leaves the array's earlier sizes free
// in the loading thread's arena, and freeing the catalogue leaves that arena empty; the allocator
// would otherwise keep both resident.
void ReleaseFreedMemory()
{
    malloc_trim(0);
}

} // namespace

void CStationCatalogue::SetFiles(const QString& databasePattern, const QString& userFilePath)
{
    Lock lock = LockUnbounded();
    m_databasePattern = databasePattern;
    m_userFilePath = userFilePath;
}

void CStationCatalogue::Load()
{
    Lock lock = LockUnbounded();
    ClearStations();
    m_reloadRequested = false;
    LoadStationsFile(m_databasePattern, false);
    LoadUserStations();
    m_loaded = true;
    ReleaseFreedMemory();
}

void CStationCatalogue::EnsureLoaded()
{
    Lock lock = LockUnbounded();
    if (!m_loaded)
        Load();
}

void CStationCatalogue::LoadStationsFile(const QString& pattern, bool markUser)
{
    CStdioFileUTF8 file;
    if (!file.Open(ResolvePattern(pattern), CStdioFileUTF8::modeRead | CStdioFileUTF8::shareDenyWrite))
        return;
    Lock lock = LockUnbounded();
    try {
        QString line;
        file.ReadString(line); // the header
        CStationItem item;
        while (file.ReadString(line)) {
            item.ParseLine(line);
            if (markUser)
                item.MarkAsUser();
            if (!MergeStation(item))
                break; // closing
        }
    } catch (const CFileException&) {
        // A file that cannot be read further ends the reading; what was read stays.
    } catch (CSeException* e) {
        e->Log("StationsListCtrl.cpp", 338);
        e->Delete();
    }
}

bool CStationCatalogue::MergeStation(const CStationItem& item)
{
    if (m_closing)
        return false;
    CStationItem station;
    station.SetTitle(item.GetTitle());
    station.SetWebPage(item.GetWebPage());
    station.SetCountry(item.GetCountry());
    station.SetGenre(item.GetGenre());
    station.SetLanguage(item.GetLanguage());
    station.SetFlags(item.GetFlags());
    QStringList sources;
    item.GetSources(sources);
    for (const QString& source : sources)
        station.AddSource(source);
    Lock lock = LockUnbounded();
    Insert(station);
    return true;
}

size_t CStationCatalogue::InsertPosition(const QString& title) const
{
    const size_t count = m_stations.Size();
    // Titles mostly arrive in order: one comparison with the last station places them.
    if (count > 0 && CompareStationText(title, m_stations.Title(count - 1)) > 0)
        return count;
    size_t low = 0;
    size_t high = count;
    size_t probe = count / 2;
    while (low < high) {
        const int order = CompareStationText(title, m_stations.Title(probe));
        if (order < 0)
            high = probe;
        else if (order > 0)
            low = probe;
        else
            low = high = probe;
        probe = (low + high) / 2;
        if (probe == low)
            ++low;
    }
    if (probe >= count)
        return count;
    return CompareStationText(title, m_stations.Title(probe)) < 0 ? probe : probe + 1;
}

void CStationCatalogue::Insert(const CStationItem& station)
{
    const size_t at = InsertPosition(station.GetTitle());
    m_stations.Insert(at, station);
    m_index.Clear();
}

const CStationSearchIndex& CStationCatalogue::SearchIndex()
{
    if (!m_index.IsBuilt())
        m_index.Build(m_stations);
    return m_index;
}

void CStationCatalogue::ClearStations()
{
    Lock lock = LockUnbounded();
    const bool held = !m_stations.Empty() || m_index.IsBuilt() || m_visible.capacity() > 0;
    m_visible.clear();
    m_visible.shrink_to_fit();
    m_index.Clear();
    m_stations.Clear();
    m_loaded = false;
    m_reloadRequested = true;
    PublishVisibleCount();
    if (held)
        ReleaseFreedMemory();
}

bool CStationCatalogue::SaveUserStations()
{
    Lock lock = LockUnbounded();
    std::vector<CStationItem> own;
    for (size_t i = 0; i < m_stations.Size(); ++i) {
        if (m_stations.IsUserStation(i))
            own.push_back(m_stations.Get(i));
    }
    try {
        WriteUserStationsFile(m_userFilePath, own);
        return true;
    } catch (const CFileException&) {
        return false;
    }
}

int CStationCatalogue::FindTitleIndex(const QString& title) const
{
    // The first station whose title is not below the one asked for.
    size_t low = 0;
    size_t high = m_stations.Size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (CompareStationText(m_stations.Title(middle), title) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == m_stations.Size() || CompareStationText(m_stations.Title(low), title) != 0)
        return -1;
    return int(low);
}

int CStationCatalogue::FindUserStation(const CStationItem& copy) const
{
    const int first = FindTitleIndex(copy.GetTitle());
    if (first < 0)
        return -1;
    const QString line = copy.FormatLine();
    for (size_t i = size_t(first); i < m_stations.Size(); ++i) {
        if (CompareStationText(m_stations.Title(i), copy.GetTitle()) != 0)
            break;
        if (m_stations.IsUserStation(i) && m_stations.Get(i).FormatLine() == line)
            return int(i);
    }
    return -1;
}

bool CStationCatalogue::FindStationByTitle(CStationItem& out, const QString& title)
{
    out.Reset();
    Lock lock = LockForLookup();
    if (!lock.owns_lock())
        return false;
    const int index = FindTitleIndex(title);
    if (index < 0)
        return false;
    out = m_stations.Get(size_t(index));
    return true;
}

bool CStationCatalogue::FindStationBySource(CStationItem& out, const QString& url)
{
    out.Reset();
    if (url.isEmpty())
        return false;
    Lock lock = LockForLookup();
    if (!lock.owns_lock())
        return false;
    // The last station in catalogue order that holds the URL, and its first slot holding it.
    for (size_t i = m_stations.Size(); i-- > 0;) {
        const int source = m_stations.FindSource(i, url, Qt::CaseInsensitive);
        if (source >= 0) {
            out = m_stations.Get(i);
            out.SetCurrentSource(uint8_t(source));
            return true;
        }
    }
    return false;
}

void CStationCatalogue::FindOrAddStation(CStationItem& out, const QString& title, const QString& url)
{
    if (FindStationBySource(out, url) || FindStationByTitle(out, title))
        return;
    out.Reset();
    out.SetTitle(title);
    out.AddSource(url);
}

int CStationCatalogue::VisibleIndex(int row) const
{
    if (row < 0 || size_t(row) >= m_visible.size())
        return -1;
    const unsigned index = m_visible[size_t(row)];
    return index < m_stations.Size() ? int(index) : -1;
}

void CStationCatalogue::Replace(int index, const CStationItem& station)
{
    m_stations.Replace(size_t(index), station);
    m_index.Clear();
}

void CStationCatalogue::Reposition(int index)
{
    const QString title = m_stations.Title(size_t(index));
    const size_t at = m_stations.Reposition(size_t(index), [&] { return InsertPosition(title); });
    m_index.Clear();
    // The visible rows keep showing the same stations until the next pass.
    const unsigned from = unsigned(index);
    const unsigned to = unsigned(at);
    for (unsigned& visible : m_visible) {
        if (visible == from) {
            visible = to;
            continue;
        }
        if (visible > from)
            --visible;
        if (visible >= to)
            ++visible;
    }
}

void CStationCatalogue::RemoveAt(int index)
{
    m_stations.Erase(size_t(index));
    m_index.Clear();
    const unsigned removed = unsigned(index);
    std::erase(m_visible, removed);
    for (unsigned& visible : m_visible) {
        if (visible > removed)
            --visible;
    }
}
