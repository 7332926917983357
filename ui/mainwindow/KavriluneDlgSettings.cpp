// Where the data files live, and the window's own settings: the settings keeper reads them at start-up
// and writes them for the exit routine and, from a snapshot, in the background.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/skin/WindowPlacement.h"

void CKavriluneDlg::CreateSettingsKeeper()
{
    CSettingsKeeper::Hooks hooks;
    hooks.layout = [this] {
        // A hidden or minimised window keeps the position it was last seen at.
        if (IsShown())
            StoreWindowPosition();
        return CSettingsKeeper::Layout { m_windowPos, m_expandedPos, m_expanded, m_onTop };
    };
    hooks.restoreLayout = [this](const CSettingsKeeper::Layout& layout) {
        m_expanded = layout.expanded;
        m_onTop = !layout.onTop;
        OnToggleOnTop();
        m_windowPos = layout.windowPos;
        m_expandedPos = layout.expandedPos;
    };
    hooks.setBufferSizeMs = [this](int ms) { m_bufferSize = ms; };
    hooks.now = [this] { return Now(); };
    m_settings = std::make_unique<CSettingsKeeper>(CSettingsKeeper::Shared { m_radio, m_favorites, m_history, m_general,
                                                       *m_volume, *m_filter, *m_list, *m_pictureArt },
        std::move(hooks));
}

QString CKavriluneDlg::CreateUserFolder(bool create)
{
    return m_settings->CreateUserFolder(create);
}

QString CKavriluneDlg::GetDataFilePath(const QString& fileName)
{
    return m_settings->GetDataFilePath(fileName);
}

void CKavriluneDlg::LoadSettings()
{
    m_settings->LoadSettings();
}

void CKavriluneDlg::StoreWindowPosition()
{
    QPoint position;
    if (!GetWindowNormalPos(this, position))
        return;
    (m_expanded ? m_expandedPos : m_windowPos) = position;
}

CKavriluneDlg::SettingsSnapshot CKavriluneDlg::TakeSettingsSnapshot()
{
    return m_settings->TakeSettingsSnapshot();
}

void CKavriluneDlg::SaveSettings(const SettingsSnapshot& snapshot)
{
    m_settings->SaveSettings(snapshot);
}

void CKavriluneDlg::StartSettingsSaveThread()
{
    m_settings->StartSettingsSaveThread();
}

void CKavriluneDlg::WaitForSettingsSave()
{
    m_settings->WaitForSettingsSave();
}
