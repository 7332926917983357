#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class CSkinsPage;

// The skin choice ("Advanced\Skin", default "Standard") and the installed skins: every folder
// "skins/<name>.kvn" of the program folder. Making a skin current posts WM_KAVRILUNE_LOAD_SKIN to the
// main window, which applies it.
class CPropSkins
{
public:
    void SetMainWindow(QObject* window) { m_mainWindow = window; }
    QObject* MainWindow() const { return m_mainWindow.data(); }
    void SetSettingsFile(const QString& path);
    void LoadSettings();
    void SaveSettings();

    // The installed skins' names (folder name up to its first ".") and preview images, in listing order.
    void EnumerateSkins(QStringList& names, QStringList& previews) const;
    // Where a skin name is in the list of installed skins: the skin of exactly that name, else the last
    // one whose name differs only in case; -1 when none matches.
    static int IndexOfSkin(const QStringList& names, const QString& skin);
    // Makes the next installed skin current (after the current one, wrapping), saves and asks the
    // main window to apply it; nothing when no skin is installed.
    void ApplySkinSelection();
    // Asks the main window to apply the current skin.
    void PostLoadSkin();

    // The options page that shows the skins, while it exists.
    void SetPage(CSkinsPage* page) { m_page = page; }
    // Lists the installed skins again on the page, when it is shown (after a skin was installed).
    void FillSkinList();

    QString m_skin = QStringLiteral("Standard");

private:
    QString m_settingsPath;
    QPointer<QObject> m_mainWindow;
    CSkinsPage* m_page = nullptr; // set and cleared by the page itself
};
