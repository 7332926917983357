#pragma once

#include <QString>

// The Advanced options: the audio device for new players, whether the caption always names the
// station, and whether pictures for songs are shown. Reading creates no missing keys.
class CPropExtra
{
public:
    void SetSettingsFile(const QString& path);
    void LoadSettings();
    void SaveSettings();

    int m_device = 0; // "Advanced\Device": 0 the default device, n the audio library's device n
    bool m_alwaysShowTitle = false; // "Advanced\Always_show_title"
    bool m_showPictures = true; // "General\PictureArt\visible"

private:
    QString m_settingsPath;
};
