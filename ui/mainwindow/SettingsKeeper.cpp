#include "ui/mainwindow/SettingsKeeper.h"

#include "audio/RadioManager.h"
#include "core/ErrorLog.h"
#include "core/Favorites.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "core/XMLSettings.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/options/GeneralProperties.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QDir>
#include <QFile>
#include <QSignalBlocker>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace
{

const QString kGeneral = QStringLiteral("General");
const QString kColumnsSection = QStringLiteral("General\\StationList");
const QString kDefaultStationUrl = QStringLiteral("http://ice3.somafm.com/groovesalad-128-mp3");
const QString kDefaultStationTitle = QStringLiteral("SomaFM Groove Salad");
constexpr int kFavoritesFirstId = 1326;
constexpr int kHistoryFirstId = 1374;
constexpr int64_t kSaveDelaySeconds = 10;

// Only "no such file" counts as missing; a file that exists but cannot be read still counts as there.
bool IsMissing(const QString& path)
{
    return access(QFile::encodeName(path).constData(), R_OK) != 0 && errno == ENOENT;
}

} // namespace

CSettingsKeeper::CSettingsKeeper(Shared shared, Hooks hooks)
    : m_shared(shared)
    , m_hooks(std::move(hooks))
{
}

CSettingsKeeper::~CSettingsKeeper()
{
    WaitForSettingsSave();
}

// --- data folder ---

QString CSettingsKeeper::CreateUserFolder(bool create)
{
    QString folder;
    try {
        folder = UserBaseFolder("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QStringLiteral("/Kavrilune");
        if (create)
            QDir().mkpath(folder);
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 630);
        e->Delete();
    }
    return folder;
}

QString CSettingsKeeper::GetDataFilePath(const QString& fileName)
{
    QString path;
    try {
        const QString program = GetAppFolder();
        const bool uninstaller = !IsMissing(program + QStringLiteral("Uninstall.exe"));
        // An installed copy, and one that cannot write beside itself, keep what the user changes in the
        // user's own folder.
        if (!uninstaller && !IsInstalledCopy() && IsWritableFolder(program)) {
            m_portable = true;
            path = program + fileName;
            // An installed user's data comes along into a portable copy once; nothing is overwritten.
            if (IsMissing(path)) {
                const QString userFolder = CreateUserFolder(false);
                if (!userFolder.isEmpty())
                    QFile::copy(userFolder + u'/' + fileName, path);
            }
        } else {
            m_portable = false;
            const QString userFolder = CreateUserFolder(true);
            path = (userFolder.isEmpty() ? program : userFolder + u'/') + fileName;
            // The files a read-only copy was handed out with are where its users start from, once.
            if (!uninstaller && !userFolder.isEmpty() && IsMissing(path))
                QFile::copy(program + fileName, path);
            if (!IsWritableFolder(userFolder))
                WarnDataNotKept(userFolder.isEmpty() ? program : userFolder);
        }
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 666);
        e->Delete();
    }
    return path;
}

void CSettingsKeeper::WarnDataNotKept(const QString& folder)
{
    if (m_dataWarningShown)
        return;
    m_dataWarningShown = true;
    const QString text = QStringLiteral("Neither the program folder nor \"%1\" can be written: settings, favourites "
                                        "and own stations will not be kept after the program ends.")
                             .arg(QDir::toNativeSeparators(folder));
    WriteErrorLog("KavriluneDlg", 666, text);
    MessageBox(text, QString(), MB_OK | MB_ICONWARNING);
}

// --- the settings file ---

const QString& CSettingsKeeper::LocateSettingsFile()
{
    m_settingsPath = GetDataFilePath(QStringLiteral("Kavrilune.xml"));
    SetAsideMalformedSettingsFile(m_settingsPath);
    return m_settingsPath;
}

void CSettingsKeeper::LoadSettings()
{
    ReadWindowSettings();
    // Outside the file's lock: the lists take their own lock first, then the file's.
    try {
        m_shared.favorites.SetStorage(m_settingsPath, QStringLiteral("Favorites"), kFavoritesFirstId);
        m_shared.history.SetStorage(m_settingsPath, QStringLiteral("History"), kHistoryFirstId);
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 704);
        e->Delete();
    }
}

void CSettingsKeeper::ReadWindowSettings()
{
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    try {
        {
            const QSignalBlocker quiet(&m_shared.volume);
            m_shared.volume.setValue(settings.GetInt(kGeneral, QStringLiteral("Volume"), 50, false));
        }
        m_hooks.setBufferSizeMs(settings.GetInt(kGeneral, QStringLiteral("BufferSize"), 4, true) * 1000);
        m_shared.radio.SetEqualizerPreset(settings.GetInt(kGeneral, QStringLiteral("Equalizer"), -1, false));
        Layout layout;
        layout.expanded = settings.GetInt(kGeneral, QStringLiteral("Expanded"), 0, false) != 0;
        layout.onTop = settings.GetInt(kGeneral, QStringLiteral("OnTop"), 0, false) != 0;
        layout.windowPos = QPoint(settings.GetInt(kGeneral, QStringLiteral("Window_x"), 0, false),
            settings.GetInt(kGeneral, QStringLiteral("Window_y"), 0, false));
        layout.expandedPos = QPoint(settings.GetInt(kGeneral, QStringLiteral("WindowExpanded_x"), 0, false),
            settings.GetInt(kGeneral, QStringLiteral("WindowExpanded_y"), 0, false));
        m_hooks.restoreLayout(layout);

        const QString url = settings.GetString(kGeneral, QStringLiteral("Station_URL"), kDefaultStationUrl, false);
        const QString title
            = settings.GetString(kGeneral, QStringLiteral("Station_Title"), kDefaultStationTitle, false);
        CStationItem station;
        m_shared.list.FindOrAddStation(station, title, url);
        m_shared.radio.SetCurrentStation(station);

        const QString language
            = settings.GetString(kGeneral, QStringLiteral("Language"), QStringLiteral("English.lng"), false);
        m_shared.pictureArt.MoveCenterTo(QPoint(settings.GetInt(kGeneral, QStringLiteral("PictureArt\\x"), 0, false),
            settings.GetInt(kGeneral, QStringLiteral("PictureArt\\y"), 0, false)));
        ReloadLanguage(language);
        m_shared.filter.LoadHistory(settings);
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 677);
        e->Delete();
    }
    try {
        m_shared.list.LoadColumnWidths(settings, kColumnsSection);
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 704);
        e->Delete();
    }
}

CSettingsKeeper::Snapshot CSettingsKeeper::TakeSettingsSnapshot()
{
    const Layout layout = m_hooks.layout();
    Snapshot snapshot;
    snapshot.startup = m_shared.general.m_startup;
    snapshot.windowPos = layout.windowPos;
    snapshot.expandedPos = layout.expandedPos;
    snapshot.volume = m_shared.volume.value();
    snapshot.stationUrl = m_shared.radio.GetStationUrl();
    snapshot.stationTitle = m_shared.radio.GetStationName();
    snapshot.equalizer = m_shared.radio.GetEqualizerPreset();
    snapshot.expanded = layout.expanded;
    snapshot.onTop = layout.onTop;
    snapshot.language = GetLanguageFileName();
    snapshot.searchText = m_shared.filter.currentText();
    snapshot.searchHistory = m_shared.filter.History();
    snapshot.columnWidths = m_shared.list.ColumnWidths();
    snapshot.pictureArtCenter = m_shared.pictureArt.GetScreenCenter();
    return snapshot;
}

void CSettingsKeeper::SaveSettings(const Snapshot& snapshot)
{
    InstallSeTranslator();
    std::lock_guard saveLock(m_saveLock);
    try {
        std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
        CXMLSettings settings(m_settingsPath);
        if (snapshot.startup)
            CGeneralProperties::ApplyAutostart(*snapshot.startup);
        settings.SetInt(kGeneral, QStringLiteral("Window_x"), snapshot.windowPos.x());
        settings.SetInt(kGeneral, QStringLiteral("Window_y"), snapshot.windowPos.y());
        settings.SetInt(kGeneral, QStringLiteral("WindowExpanded_x"), snapshot.expandedPos.x());
        settings.SetInt(kGeneral, QStringLiteral("WindowExpanded_y"), snapshot.expandedPos.y());
        settings.SetInt(kGeneral, QStringLiteral("Volume"), snapshot.volume);
        settings.SetString(kGeneral, QStringLiteral("Station_URL"), CXMLSettings::StorableText(snapshot.stationUrl));
        settings.SetString(
            kGeneral, QStringLiteral("Station_Title"), CXMLSettings::StorableText(snapshot.stationTitle));
        settings.SetInt(kGeneral, QStringLiteral("Equalizer"), snapshot.equalizer);
        settings.SetInt(kGeneral, QStringLiteral("Expanded"), snapshot.expanded ? 1 : 0);
        settings.SetInt(kGeneral, QStringLiteral("OnTop"), snapshot.onTop ? 1 : 0);
        settings.SetString(kGeneral, QStringLiteral("Language"), snapshot.language);
        CFilterBox::SaveHistory(settings, snapshot.searchText, snapshot.searchHistory);
        CStationsListCtrl::SaveColumnWidths(settings, kColumnsSection, snapshot.columnWidths);
        settings.SetInt(kGeneral, QStringLiteral("PictureArt\\x"), snapshot.pictureArtCenter.x());
        settings.SetInt(kGeneral, QStringLiteral("PictureArt\\y"), snapshot.pictureArtCenter.y());
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 836);
        e->Delete();
    }
}

void CSettingsKeeper::StartSettingsSaveThread()
{
    WaitForSettingsSave();
    Snapshot snapshot = TakeSettingsSnapshot();
    // The entry is written here, in the order of the General page's own writes; the worker leaves it.
    CGeneralProperties::ApplyAutostart(*snapshot.startup);
    snapshot.startup.reset();
    try {
        m_saveThread = std::thread([this, snapshot] {
            InstallSeTranslator();
            try {
                SaveSettings(snapshot);
            } catch (CSeException* e) {
                e->Log("KavriluneDlg", 789);
                e->Delete();
            }
        });
    } catch (const std::system_error&) {
        SaveSettings(snapshot);
    }
}

void CSettingsKeeper::WaitForSettingsSave()
{
    if (m_saveThread.joinable())
        m_saveThread.join();
}

// --- when to save ---

void CSettingsKeeper::MarkDirty()
{
    m_dirty = true;
    m_dirtyTime = m_hooks.now();
}

void CSettingsKeeper::SaveIfDue()
{
    if (m_dirty && std::llabs(m_hooks.now() - m_dirtyTime) > kSaveDelaySeconds) {
        StartSettingsSaveThread();
        m_dirty = false;
    }
}

void CSettingsKeeper::SaveAtExit()
{
    if (m_saveAtExit)
        SaveSettings(TakeSettingsSnapshot());
}
