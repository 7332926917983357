#include "core/Favorites.h"

#include "core/ErrorLog.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "core/Thread.h"
#include "core/XMLSettings.h"

namespace
{

enum : int {
    STRING_EMPTY_MENU = 703,
    STRING_SELECT_FIRST = 704,
};

QString SourceKey(int slot)
{
    return QStringLiteral("Source_%1").arg(slot);
}

QString TitleKey(int slot)
{
    return QStringLiteral("Title_%1").arg(slot);
}

} // namespace

void FavoritesLoadThreadProc(CFavorites* list)
{
    list->Load();
}

void FavoritesAddThreadProc(FavoritesAddParams* params)
{
    try {
        params->list->AddAndSave(params->title, params->source, params->value);
    } catch (CSeException* e) {
        e->Log("Favorites", 328);
        e->Delete();
    }
    delete params;
}

CFavorites::CFavorites() = default;

CFavorites::~CFavorites()
{
    {
        std::lock_guard lock(m_lock);
        m_closing = true;
    }
    // Reloads that have not started yet see the flag and return; adds still finish and save.
    WaitForThreads();
    std::lock_guard lock(m_lock);
    RemoveAll();
}

void CFavorites::SetPolicy(bool allowReplace, bool dropOldestWhenFull)
{
    std::lock_guard lock(m_lock);
    m_allowReplace = allowReplace;
    m_dropOldestWhenFull = dropOldestWhenFull;
}

void CFavorites::SetStorage(const QString& settingsPath, const QString& section, int32_t firstCommandId)
{
    {
        std::lock_guard lock(m_lock);
        m_settingsPath = settingsPath;
        m_section = section;
        m_firstCommandId = firstCommandId;
        m_loaded = false;
    }
    StartReload();
}

bool CFavorites::StartThread(std::function<void()> work, bool installTranslator)
{
    {
        std::lock_guard lock(m_threadsMutex);
        ++m_pendingThreads;
    }
    const bool started = BeginThread(
        [this, work = std::move(work)] {
            struct Finished {
                CFavorites* list;
                ~Finished() { list->ThreadFinished(); }
            } finished { this };
            work();
        },
        installTranslator);
    if (!started)
        ThreadFinished();
    return started;
}

void CFavorites::ThreadFinished()
{
    std::lock_guard lock(m_threadsMutex);
    --m_pendingThreads;
    m_threadsIdle.notify_all();
}

void CFavorites::WaitForThreads()
{
    std::unique_lock lock(m_threadsMutex);
    m_threadsIdle.wait(lock, [this] { return m_pendingThreads == 0; });
}

void CFavorites::StartReload()
{
    if (!StartThread([this] { FavoritesLoadThreadProc(this); }, false))
        WriteErrorLog("Favorites", 0, QStringLiteral("Cannot start the thread that reloads the list."));
}

void CFavorites::Load()
{
    std::lock_guard lock(m_lock);
    if (m_closing)
        return;
    LoadFromFile();
}

// The reload itself, under the list's lock and the file's lock.
void CFavorites::LoadFromFile()
{
    std::lock_guard lock(m_lock);
    if (m_settingsPath.isEmpty())
        return;
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    const bool wasEmpty = m_entries.isEmpty();
    {
        CXMLSettings settings(m_settingsPath);
        RemoveAll();
        for (int slot = MAX_ENTRIES; slot >= 1; --slot) {
            const QString source = settings.GetString(m_section, SourceKey(slot), QString(), false);
            const QString title = settings.GetString(m_section, TitleKey(slot), QString(), false);
            if (!source.isEmpty())
                AddFront(title, source, 0);
        }
    }
    if (wasEmpty)
        UpdateJumpList();
    m_loaded = true;
}

void CFavorites::Save()
{
    std::lock_guard lock(m_lock);
    if (!m_loaded)
        return;
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    for (int slot = 1; slot <= MAX_ENTRIES; ++slot) {
        const bool used = slot <= m_entries.size();
        const int sourceResult
            = settings.SetString(m_section, SourceKey(slot), used ? m_entries[slot - 1].source : QString());
        const int titleResult
            = settings.SetString(m_section, TitleKey(slot), used ? m_entries[slot - 1].title : QString());
        if (sourceResult != 0 || titleResult != 0) {
            // Half a list would pair titles with other entries' sources: keep the file as it was.
            settings.DiscardChanges();
            WriteErrorLog("Favorites", 0,
                QStringLiteral("Cannot store the list \"%1\" in %2 (%3).")
                    .arg(m_section, m_settingsPath)
                    .arg(sourceResult != 0 ? sourceResult : titleResult));
            return;
        }
    }
    UpdateJumpList();
    // The file is written when the settings object goes, still under the file's lock.
}

int CFavorites::AddAndSave(const QString& title, const QString& source, int32_t value)
{
    // Read, change and write under both locks, so that neither a reload nor another list on the same
    // file can slip in between and undo the change.
    std::lock_guard lock(m_lock);
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    LoadFromFile();
    const int result = AddFront(title, source, value);
    Save();
    return result;
}

void CFavorites::AddAsync(const QString& title, const QString& source, int32_t value)
{
    auto* params = new FavoritesAddParams { this, title, source, value };
    if (!StartThread([params] { FavoritesAddThreadProc(params); }, true)) {
        delete params;
        WriteErrorLog("Favorites", 0, QStringLiteral("Cannot start the thread that adds \"%1\".").arg(title));
    }
}

int CFavorites::ReplaceAndSave(const QString& title, const QString& source, int32_t value)
{
    std::lock_guard lock(m_lock);
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    LoadFromFile();
    const int result = MoveUp(title, source, value);
    Save();
    return result;
}

void CFavorites::DeleteCurrent()
{
    bool removed = false;
    {
        std::lock_guard lock(m_lock);
        std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
        LoadFromFile();
        for (const tagCFavoriteStruct& entry : m_entries) {
            if (entry.isCurrent) {
                const QString title = entry.title;
                Remove(title);
                removed = true;
                break;
            }
        }
        Save();
    }
    // Shown without the locks: a modal box must not hold up the threads that read or write the file.
    if (!removed)
        MessageBox(GetLangString(STRING_SELECT_FIRST), QString(), MB_OK);
}

void CFavorites::SetCurrent(const QString& title)
{
    std::lock_guard lock(m_lock);
    m_currentTitle = CXMLSettings::StorableText(title);
    Renumber();
}

void CFavorites::GetByCommandId(int32_t commandId, QString& title, QString& source)
{
    std::lock_guard lock(m_lock);
    const tagCFavoriteStruct* entry = FindByCommandId(commandId);
    title = entry ? entry->title : QString();
    source = entry ? entry->source : QString();
}

bool CFavorites::Neighbour(int step, QString& title, QString& source)
{
    std::lock_guard lock(m_lock);
    title.clear();
    source.clear();
    qsizetype index = 0;
    while (index < m_entries.size() && !m_entries[index].isCurrent)
        ++index;
    const qsizetype target = index == m_entries.size() ? 0 : index + step;
    if (target < 0 || target >= m_entries.size())
        return false;
    title = m_entries[target].title;
    source = m_entries[target].source;
    return true;
}

bool CFavorites::GetPrevious(QString& title, QString& source)
{
    return Neighbour(-1, title, source);
}

bool CFavorites::GetNext(QString& title, QString& source)
{
    return Neighbour(+1, title, source);
}

QList<MenuEntry> CFavorites::BuildMenu()
{
    QList<MenuEntry> menu;
    {
        std::lock_guard lock(m_lock);
        if (m_entries.isEmpty()) {
            MenuEntry placeholder { GetLangString(STRING_EMPTY_MENU), 0 };
            placeholder.enabled = false;
            menu.append(placeholder);
        }
        for (const tagCFavoriteStruct& entry : m_entries)
            menu.append(MenuEntry { entry.title, unsigned(entry.commandId), entry.isCurrent });
    }
    StartReload();
    return menu;
}

bool CFavorites::UpdateJumpList()
{
    // Only the favourites would appear as taskbar tasks, and this desktop has no jump list to hold them.
    return true;
}

int CFavorites::IndexOfTitle(const QString& title) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].title == title)
            return i;
    return -1;
}

tagCFavoriteStruct* CFavorites::FindByCommandId(int32_t commandId)
{
    for (tagCFavoriteStruct& entry : m_entries)
        if (entry.commandId == commandId)
            return &entry;
    return nullptr;
}

void CFavorites::Remove(const QString& title)
{
    std::lock_guard lock(m_lock);
    const int index = IndexOfTitle(title);
    if (index < 0)
        return;
    m_entries.removeAt(index);
    Renumber();
}

void CFavorites::RemoveAll()
{
    std::lock_guard lock(m_lock);
    m_entries.clear();
    m_loaded = false;
}

int CFavorites::AddFront(const QString& givenTitle, const QString& givenSource, int32_t value)
{
    std::lock_guard lock(m_lock);
    // Entries hold what the settings file can keep, so that a reload gives back the same list.
    const QString title = CXMLSettings::StorableText(givenTitle);
    const QString source = CXMLSettings::StorableText(givenSource);
    if (title.isEmpty())
        return 0;
    if (IndexOfTitle(title) >= 0) {
        if (!m_allowReplace)
            return 0;
        Remove(title);
    }
    if (m_entries.size() >= MAX_ENTRIES) {
        if (!m_dropOldestWhenFull)
            return -1;
        Remove(m_entries.last().title);
    }
    m_entries.prepend(tagCFavoriteStruct { title, source, value });
    Renumber();
    return 1;
}

int CFavorites::MoveUp(const QString& givenTitle, const QString& givenSource, int32_t value)
{
    std::lock_guard lock(m_lock);
    const QString title = CXMLSettings::StorableText(givenTitle);
    const QString source = CXMLSettings::StorableText(givenSource);
    if (title.isEmpty())
        return 0;
    const int index = IndexOfTitle(title);
    if (index >= 0) {
        m_entries.removeAt(index);
        m_entries.insert(index > 0 ? index - 1 : 0, tagCFavoriteStruct { title, source, value });
    }
    Renumber();
    return 1;
}

void CFavorites::Renumber()
{
    std::lock_guard lock(m_lock);
    const int current = IndexOfTitle(m_currentTitle);
    for (int i = 0; i < m_entries.size(); ++i) {
        m_entries[i].commandId = m_firstCommandId + i;
        m_entries[i].isCurrent = i == current;
    }
}
