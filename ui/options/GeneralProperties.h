#pragma once

#include <QString>

// The General options (section "General" of the settings file): the values the main window reads
// wherever it needs them. Reading creates no missing keys; the values keep their defaults then.
class CGeneralProperties
{
public:
    // Stores the settings file's path and reads the values from it.
    void SetSettingsFile(const QString& path);
    void LoadSettings();
    // Writes the values, and the autostart entry as "Startup" says.
    void SaveSettings();
    // Writes the desktop session's autostart entry for a hidden start, or removes it. UI thread only.
    static void ApplyAutostart(bool startup);

    bool m_crossfade = true; // "Crossfade"
    bool m_startup = false; // "Startup": start with the desktop session, hidden
    bool m_autoplay = true; // "Autoplay"
    bool m_checkUpdates = true; // "Check_updates": update checks and the play report
    bool m_normalization = true; // "Normalization"
    bool m_globalHotkeys = false; // "GlobalHotkeys"
    bool m_minimizeToTray = false; // "MinimizeToTray"

private:
    QString m_settingsPath;
};
