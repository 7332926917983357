#include "ui/options/PropSkins.h"

#include "core/ErrorLog.h"
#include "core/WindowMessage.h"
#include "core/XMLSettings.h"
#include "ui/options/SkinsPage.h"

#include <QDir>
#include <QFileInfo>
#include <mutex>

namespace
{

const int kLoadSkinMessage = RegisterWindowMessage("WM_KAVRILUNE_LOAD_SKIN");
const QString kSection = QStringLiteral("Advanced");

} // namespace

void CPropSkins::SetSettingsFile(const QString& path)
{
    m_settingsPath = path;
    LoadSettings();
}

void CPropSkins::LoadSettings()
{
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    m_skin = settings.GetString(kSection, QStringLiteral("Skin"), QStringLiteral("Standard"), false);
}

void CPropSkins::SaveSettings()
{
    std::lock_guard fileLock(SettingsFileMutex(m_settingsPath));
    CXMLSettings settings(m_settingsPath);
    settings.SetString(kSection, QStringLiteral("Skin"), m_skin);
}

void CPropSkins::EnumerateSkins(QStringList& names, QStringList& previews) const
{
    names.clear();
    previews.clear();
    const QString program = GetAppFolder();
    const QString skins = program + QStringLiteral("skins/");
    // Skins load by their exact folder name, so "X.KVN" is no skin; name order keeps the list stable.
    const QStringList folders = QDir(skins).entryList(
        { QStringLiteral("*.kvn") }, QDir::Dirs | QDir::NoDotAndDotDot | QDir::CaseSensitive, QDir::Name);
    for (const QString& folder : folders) {
        names.append(folder.section(u'.', 0, 0));
        const QString preview = skins + folder + QStringLiteral("/SkinPreview.png");
        previews.append(QFileInfo::exists(preview) ? preview : program + QStringLiteral("Kavrilune.png"));
    }
}

int CPropSkins::IndexOfSkin(const QStringList& names, const QString& skin)
{
    const int exact = int(names.indexOf(skin));
    if (exact >= 0)
        return exact;
    for (int i = int(names.size()) - 1; i >= 0; --i)
        if (names.at(i).compare(skin, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void CPropSkins::ApplySkinSelection()
{
    QStringList names, previews;
    EnumerateSkins(names, previews);
    if (names.isEmpty())
        return;
    int next = IndexOfSkin(names, m_skin) + 1;
    if (next >= names.size())
        next = 0;
    m_skin = names.at(next);
    SaveSettings();
    PostLoadSkin();
}

void CPropSkins::PostLoadSkin()
{
    PostWindowMessage(m_mainWindow.data(), kLoadSkinMessage);
}

void CPropSkins::FillSkinList()
{
    if (m_page)
        m_page->FillSkinList();
}
