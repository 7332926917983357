#include "ui/options/PropExtra.h"

#include "core/XMLSettings.h"

#include <mutex>

namespace
{

const QString kAdvanced = QStringLiteral("Advanced");
const QString kGeneral = QStringLiteral("General");

} // namespace

void CPropExtra::SetSettingsFile(const QString& path)
{
    m_settingsPath = path;
    LoadSettings();
}

void CPropExtra::LoadSettings()
{
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    m_device = settings.GetInt(kAdvanced, QStringLiteral("Device"), m_device, false);
    m_alwaysShowTitle
        = settings.GetInt(kAdvanced, QStringLiteral("Always_show_title"), m_alwaysShowTitle ? 1 : 0, false) != 0;
    m_showPictures
        = settings.GetInt(kGeneral, QStringLiteral("PictureArt\\visible"), m_showPictures ? 1 : 0, false) != 0;
}

void CPropExtra::SaveSettings()
{
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    settings.SetInt(kAdvanced, QStringLiteral("Device"), m_device);
    settings.SetInt(kAdvanced, QStringLiteral("Always_show_title"), m_alwaysShowTitle ? 1 : 0);
    settings.SetInt(kGeneral, QStringLiteral("PictureArt\\visible"), m_showPictures ? 1 : 0);
}
