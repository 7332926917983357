#include "ui/options/GeneralProperties.h"

#include "core/Autostart.h"
#include "core/XMLSettings.h"

#include <mutex>

namespace
{

const QString kSection = QStringLiteral("General");
const QString kAutostartName = QStringLiteral("Kavrilune");

struct Key {
    const char* name;
    bool CGeneralProperties::*value;
};
const Key kKeys[] = { { "Crossfade", &CGeneralProperties::m_crossfade }, { "Startup", &CGeneralProperties::m_startup },
    { "Autoplay", &CGeneralProperties::m_autoplay }, { "Check_updates", &CGeneralProperties::m_checkUpdates },
    { "Normalization", &CGeneralProperties::m_normalization },
    { "GlobalHotkeys", &CGeneralProperties::m_globalHotkeys },
    { "MinimizeToTray", &CGeneralProperties::m_minimizeToTray } };

} // namespace

void CGeneralProperties::SetSettingsFile(const QString& path)
{
    m_settingsPath = path;
    LoadSettings();
}

void CGeneralProperties::LoadSettings()
{
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    for (const Key& key : kKeys)
        this->*key.value
            = settings.GetInt(kSection, QString::fromLatin1(key.name), this->*key.value ? 1 : 0, false) != 0;
}

void CGeneralProperties::SaveSettings()
{
    {
        std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
        CXMLSettings settings(m_settingsPath);
        for (const Key& key : kKeys)
            settings.SetInt(kSection, QString::fromLatin1(key.name), this->*key.value ? 1 : 0);
    }
    // At once: a session that ends before the next whole save must already start (or not) the program.
    ApplyAutostart(m_startup);
}

void CGeneralProperties::ApplyAutostart(bool startup)
{
    if (startup)
        SetAutostart(kAutostartName, QStringLiteral("/hidden"));
    else
        RemoveAutostart(kAutostartName);
}
