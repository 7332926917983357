#include "core/Localization.h"

#include "core/ErrorLog.h"
#include "core/XMLSettings.h"

#include <QDir>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace
{

const LanguageRow LANGUAGE_TABLE[] = {
    { 1, "Radio", "Playing", "Playing" },
    { 2, "Radio", "Connecting", "Connecting..." },
    { 3, "Radio", "Stopping", "Stopping..." },
    { 4, "Radio", "Stopped", "Stopped." },
    { 5, "Radio", "Init", "Initialization..." },
    { 6, "Radio", "InitError", "Cannot initialize." },
    { 7, "Radio", "InitDone", "Initialization completed." },
    { 8, "Radio", "ConnectError", "Cannot connect." },
    { 9, "Radio", "Buffering", "Buffering..." },
    { 10, "Radio", "PlayingError", "Connection Error." },
    { 12, "Radio", "Buffer", "Buffer: %d%%" },
    { 100, "MainWindow", "Exit", "Exit" },
    { 101, "MainWindow", "Play", "Play" },
    { 102, "MainWindow", "Stop", "Stop" },
    { 103, "MainWindow", "Back", "Back" },
    { 112, "MainWindow", "Forward", "Forward" },
    { 104, "MainWindow", "Mute", "Mute" },
    { 110, "MainWindow", "Unmute", "Unmute" },
    { 105, "MainWindow", "Recording", "Rec" },
    { 111, "MainWindow", "StopRecording", "Stop Rec" },
    { 106, "MainWindow", "StationsNumber", "Stations found: %d" },
    { 107, "MainWindow", "About", "About" },
    { 108, "MainWindow", "Language", "Language" },
    { 109, "MainWindow", "Clipboard", "Copy URL to Clipboard" },
    { 113, "MainWindow", "Expand", "Expand/Collapse" },
    { 114, "MainWindow", "OnTop", "Always on top" },
    { 115, "MainWindow", "Hide", "Hide" },
    { 116, "MainWindow", "WindowMenu", "Window" },
    { 117, "MainWindow", "ClipboardMenu", "Clipboard" },
    { 118, "MainWindow", "PlayFromClipboard", "Play URL from Clipboard" },
    { 200, "StationDlg", "CreateNewTitle", "Create new station" },
    { 222, "StationDlg", "StationDetailsTitle", "Station details" },
    { 201, "StationDlg", "Title", "* Title:" },
    { 202, "StationDlg", "WebPage", "Web page:" },
    { 223, "StationDlg", "Description", "Description:" },
    { 203, "StationDlg", "Genre", "Genre:" },
    { 204, "StationDlg", "County", "Country:" },
    { 218, "StationDlg", "SourceURL", "Source URL:" },
    { 205, "StationDlg", "Details", "Details" },
    { 206, "StationDlg", "AddNewStation", "Add New Station" },
    { 207, "StationDlg", "DeleteStation", "Delete the station" },
    { 208, "StationDlg", "ShouldSelect", "Please select a radio station." },
    { 209, "StationDlg", "CannotChange", "You cannot change predefined stations." },
    { 210, "StationDlg", "QuestionDelete", "Are you really sure you want to delete the station \"%s\"?" },
    { 211, "StationDlg", "CannotDelete", "You cannot delete predefined stations." },
    { 212, "StationDlg", "RemoveFilter", "Remove Filter" },
    { 213, "StationDlg", "ShowOnlyMyStations", "Show only my own stations" },
    { 219, "StationDlg", "SameName", "There is another station with the same name. Please choose another name." },
    { 220, "StationDlg", "SaveError", "A problem appeared while creating new station. Do you want to try again?" },
    { 221, "StationDlg", "ChooseSource", "Select a source" },
    { 214, "StationDlg", "ColumnTitle", "Title" },
    { 215, "StationDlg", "ColumnCountry", "Country" },
    { 216, "StationDlg", "ColumnGenre", "Genre" },
    { 217, "StationDlg", "ColumnLanguage", "Language" },
    { 700, "Favorites", "Title", "Favorites" },
    { 701, "Favorites", "Add", "Add to favorites" },
    { 707, "Favorites", "MoveUp", "Move selected favorite up" },
    { 702, "Favorites", "Remove", "Remove from favorites" },
    { 703, "Favorites", "Empty", "No stations selected yet" },
    { 704, "Favorites", "ShouldSelect", "Please select a radio station first." },
    { 705, "Favorites", "TooMany", "Please remove some item first." },
    { 706, "Favorites", "AlreadyExist", "It's already there!" },
    { 300, "Message", "StopRecording", "Recording is in progress. Do you want to stop recording?" },
    { 301, "Message", "CannotStartRecording",
        "Cannot start recording. Probably not enough space or problem with dedicated folder or problems with "
        "encoder." },
    { 302, "Message", "Version", "%s, version %s %s" },
    { 303, "Message", "NewVersion", "There is new version %s available!" },
    { 304, "Message", "NewVersionLoad", "Click here to download and install new version." },
    { 306, "Message", "LatestVersion", "You have the latest version!" },
    { 307, "Message", "CheckingVersion", "Checking new version..." },
    { 308, "Message", "SkinCreatedBy", "Skin created by" },
    { 309, "Message", "TranslatedBy", "Translated by unknown author" },
    { 310, "Message", "InstallSkin", "Do you want to install the skin?" },
    { 311, "Message", "InstallSkinOverwrite", "Some files of the skin already exist. Do you want to overwrite?" },
    { 312, "Message", "InstallSkinEroor", "Wasn't able to install the skin. Some problems to write to skins folder." },
    { 400, "Properties", "Title", "Options" },
    { 401, "Properties\\General", "Title", "General" },
    { 402, "Properties\\General", "AutoStart", "Start with the desktop session" },
    { 403, "Properties\\General", "AutoPlay", "Automatically start playing after startup" },
    { 404, "Properties\\General", "Crossfade", "Crossfade between stations" },
    { 405, "Properties\\General", "CheckUpdate", "Check for new version" },
    { 406, "Properties\\General", "Normalization", "Volume level normalization" },
    { 407, "Properties\\General", "ClearSearch", "Clear Search History" },
    { 408, "Properties\\General", "SearchCleared", "Search History successfuly cleared." },
    { 622, "Properties\\General", "GlobalHotkeys", "Enable Global Hotkeys" },
    { 625, "Properties\\General", "MinimizeToTray", "Minimize window to system tray" },
    { 500, "Properties\\Advanced", "Title", "Advanced" },
    { 501, "Properties\\Advanced", "Device", "Audio device" },
    { 502, "Properties\\Advanced", "DefaultDevice", "Standard audio device" },
    { 503, "Properties\\Advanced", "DeviceChange", "Changes will be applied to the next station change" },
    { 504, "Properties\\Advanced", "AlwaysShowtitle", "Always show station name in the window title" },
    { 505, "Properties\\Advanced", "SelectSkin", "Skin:" },
    { 506, "Properties\\Advanced", "SkinPage", "Skins" },
    { 507, "Properties\\Advanced", "PictureArt", "Show pictures related to songs" },
    { 614, "Properties\\Rec", "Title", "Recording" },
    { 617, "Properties\\Rec", "Folder", "Folder for recordings:" },
    { 619, "Properties\\Rec", "FolderTitle", "Folder for recordings" },
    { 620, "Properties\\Rec", "FolderMessage", "Please select a folder where all your recordings will be stored." },
    { 615, "Properties\\Rec", "Bitrate", "Bitrate" },
    { 616, "Properties\\Rec", "SplitByTracks", "Split recordings by tracks" },
    { 626, "Properties\\Rec", "Prebuffering", "Record full songs from the begining (higher CPU usage)" },
    { 618, "Properties\\Rec", "AutoBitrate", " auto " },
    { 621, "Properties\\Rec", "DontWriteExist", "Dont record a track if the same track is alredy exist" },
    { 623, "Properties\\Rec", "OpenFolder", "Open Folder" },
    { 624, "Properties\\Rec", "SplitBySize", "Split recordings by size" },
    { 800, "EQUALIZER", "Title", "Equalizer" },
    { 801, "EQUALIZER", "Off", "Off" },
    { 802, "EQUALIZER", "Jazz", "Jazz" },
    { 803, "EQUALIZER", "Pop", "Pop" },
    { 804, "EQUALIZER", "Rock", "Rock" },
    { 805, "EQUALIZER", "Classic", "Classic" },
    { 850, "PictureArt", "Open", "Open" },
    { 851, "PictureArt", "Close", "Close" },
    { 852, "PictureArt", "Disable", "Disable" },
};

const QString DEFAULT_LANGUAGE_FILE = QStringLiteral("English.lng");

// Guards the instance pointer against two first users creating it at once. The texts themselves are
// replaced only by reloads on the UI thread.
std::recursive_mutex instanceMutex;
std::unique_ptr<CLocalization> instance; // guarded by instanceMutex

CLocalization& LoadedInstance()
{
    std::lock_guard lock(instanceMutex);
    if (!instance)
        LoadLanguage(DEFAULT_LANGUAGE_FILE);
    return *instance;
}

// "English.lng" shows as "English"; leading dots are skipped.
QString MenuText(const QString& fileName)
{
    qsizetype begin = 0;
    while (begin < fileName.size() && fileName[begin] == u'.')
        ++begin;
    const qsizetype dot = fileName.indexOf(u'.', begin);
    return fileName.mid(begin, dot < 0 ? -1 : dot - begin);
}

} // namespace

std::span<const LanguageRow> BuiltInLanguageTable()
{
    return LANGUAGE_TABLE;
}

CLocalization::CLocalization()
    : m_languageFolder(GetAppFolder() + QStringLiteral("lang/"))
    , m_fallback(QStringLiteral("???"))
{
}

void CLocalization::LoadStrings()
{
    m_texts.clear();
    // The folder is made on the first run, so that the active file can be written there; an installed
    // copy's data folder stays as it was installed.
    if (!IsInstalledCopy())
        QDir().mkpath(m_languageFolder);
    CXMLSettings settings(m_languageFolder + m_fileName);
    for (const LanguageRow& row : LANGUAGE_TABLE) {
        const QString text = settings.GetString(
            QString::fromUtf8(row.section), QString::fromUtf8(row.key), QString::fromUtf8(row.english), true);
        if (m_texts.size() <= row.id)
            m_texts.resize(row.id + 1);
        m_texts[row.id] = text;
    }
}

void LoadLanguage(const QString& fileName)
{
    std::lock_guard lock(instanceMutex);
    if (!instance)
        instance = std::make_unique<CLocalization>();
    instance->m_fileName = fileName;
    instance->LoadStrings();
}

const QString& GetLangString(int id)
{
    if (id < 0)
        throw std::invalid_argument("negative language string id");
    const CLocalization& strings = LoadedInstance();
    return id < strings.m_texts.size() ? strings.m_texts[id] : strings.m_fallback;
}

QString FormatLangText(const QString& format, const QStringList& values)
{
    QString result;
    result.reserve(format.size() + 16);
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'%' && i + 1 < format.size()) {
            const QChar kind = format.at(i + 1);
            if (kind == u'%') {
                result += u'%';
                ++i;
                continue;
            }
            if ((kind == u'd' || kind == u's') && next < values.size()) {
                result += values.at(next++);
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

const QString& GetLanguageFileName()
{
    return LoadedInstance().m_fileName;
}

void ReloadLanguage(const QString& fileName)
{
    std::lock_guard lock(instanceMutex);
    instance.reset();
    LoadLanguage(fileName);
}

QList<MenuEntry> BuildLanguageMenu(unsigned firstCommandId)
{
    CLocalization& strings = LoadedInstance();
    strings.m_menuFiles.clear();
    strings.m_menuIds.clear();
    QList<MenuEntry> menu;
    const QStringList files = QDir(strings.m_languageFolder)
                                  .entryList({ QStringLiteral("*.lng") }, QDir::Files, QDir::Name | QDir::IgnoreCase);
    unsigned commandId = firstCommandId;
    for (const QString& file : files) {
        strings.m_menuFiles.append(file);
        strings.m_menuIds.append(commandId);
        menu.append(MenuEntry { MenuText(file), commandId, file == strings.m_fileName });
        ++commandId;
    }
    return menu;
}

void SelectLanguageByMenuId(unsigned commandId)
{
    std::lock_guard lock(instanceMutex);
    if (!instance)
        return;
    const qsizetype index = instance->m_menuIds.indexOf(commandId);
    if (index < 0)
        return;
    const QString fileName = instance->m_menuFiles.at(index);
    ReloadLanguage(fileName);
}

void ReleaseSharedObjectAtExit()
{
    std::lock_guard lock(instanceMutex);
    instance.reset();
}
