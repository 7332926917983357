#pragma once

#include <QString>

// The Recordings options (section "Recordings"): where recordings go, the encoding bitrate, one file
// per song title, recording whole songs, and skipping songs recorded before. Reading creates no
// missing keys; an empty folder becomes the default folder.
class CPropRecordings
{
public:
    // Whether the program keeps its data beside itself; decides the default folder. Set before the path.
    void SetPortable(bool portable) { m_portable = portable; }
    void SetSettingsFile(const QString& path);
    void LoadSettings();
    void SaveSettings();

    // "Kavrilune Recordings" in the user's music folder (created when missing), or beside the program
    // when it runs portable.
    QString GetDefaultFolder() const;
    // A recordings folder as a full path: a relative one lies in the program folder.
    static QString AbsoluteFolder(const QString& folder);
    // How a folder the user chose is stored: relative to the program folder when the program runs
    // portable, so that it moves with it; as chosen otherwise.
    QString FolderToStore(const QString& chosen) const;
    bool IsPortable() const { return m_portable; }

    QString m_folder; // "Folder"
    int m_bitrate = 0; // "Bitrate", kbit/s; 0 automatic
    bool m_splitByTracks = true; // "SplitByTracks"
    bool m_dontWriteExisting = false; // "DontWriteExist"
    bool m_preBuffering = false; // "Prebuffering"

private:
    QString m_settingsPath;
    bool m_portable = false;
};
