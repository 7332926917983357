#include "ui/options/PropRecordings.h"

#include "core/ErrorLog.h"
#include "core/XMLSettings.h"

#include <QDir>
#include <QStandardPaths>
#include <mutex>

namespace
{

const QString kSection = QStringLiteral("Recordings");
const QString kFolderName = QStringLiteral("Kavrilune Recordings");

} // namespace

void CPropRecordings::SetSettingsFile(const QString& path)
{
    m_settingsPath = path;
    LoadSettings();
}

void CPropRecordings::LoadSettings()
{
    {
        std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
        CXMLSettings settings(m_settingsPath);
        m_folder = settings.GetString(kSection, QStringLiteral("Folder"), m_folder, false);
        m_bitrate = settings.GetInt(kSection, QStringLiteral("Bitrate"), m_bitrate, false);
        m_splitByTracks
            = settings.GetInt(kSection, QStringLiteral("SplitByTracks"), m_splitByTracks ? 1 : 0, false) != 0;
        m_dontWriteExisting
            = settings.GetInt(kSection, QStringLiteral("DontWriteExist"), m_dontWriteExisting ? 1 : 0, false) != 0;
        m_preBuffering = settings.GetInt(kSection, QStringLiteral("Prebuffering"), m_preBuffering ? 1 : 0, false) != 0;
    }
    if (m_folder.isEmpty())
        m_folder = GetDefaultFolder();
}

void CPropRecordings::SaveSettings()
{
    if (m_folder.isEmpty())
        m_folder = GetDefaultFolder();
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    settings.SetInt(kSection, QStringLiteral("SplitByTracks"), m_splitByTracks ? 1 : 0);
    settings.SetInt(kSection, QStringLiteral("Bitrate"), m_bitrate);
    settings.SetString(kSection, QStringLiteral("Folder"), m_folder);
    settings.SetInt(kSection, QStringLiteral("DontWriteExist"), m_dontWriteExisting ? 1 : 0);
    settings.SetInt(kSection, QStringLiteral("Prebuffering"), m_preBuffering ? 1 : 0);
}

QString CPropRecordings::GetDefaultFolder() const
{
    if (m_portable)
        return QStringLiteral("./") + kFolderName;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        return QStringLiteral("./") + kFolderName;
    QDir().mkpath(music);
    return QDir(music).filePath(kFolderName);
}

QString CPropRecordings::AbsoluteFolder(const QString& folder)
{
    if (folder.isEmpty() || QDir::isAbsolutePath(folder))
        return folder;
    return QDir::cleanPath(GetAppFolder() + folder);
}

QString CPropRecordings::FolderToStore(const QString& chosen) const
{
    if (!m_portable)
        return chosen;
    const QString relative = QDir(GetAppFolder()).relativeFilePath(chosen);
    // The program folder itself: never an empty text, which would mean the default folder.
    return relative.isEmpty() ? QStringLiteral(".") : relative;
}
