// The window's skin layout: what it is given, and switching between the two layouts.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/controls/GdipButton.h"

void CKavriluneDlg::CreateSkinLayout()
{
    const CSkinLayout::Controls controls { *this, Button(kCommandExit), Button(kCommandOptions), Button(kCommandMute),
        Button(kCommandFavorites), Button(kCommandRec), Button(kCommandNext), Button(kCommandBack),
        Button(kCommandPlay), Button(kCommandSources), Button(kCommandFilterLabel), Button(kCommandMinimize),
        Button(kCommandExpand), Button(kCommandOnTop), *m_spectrum, *m_list, *m_volume, *m_filter, *m_bufferIndicator,
        *m_songTitle, *m_status, *m_foundNumber, *m_rotatedInfo, *m_bufferInfo };
    m_skinLayout = std::make_unique<CSkinLayout>(
        controls, m_skins, CSkinLayout::Layout { m_expanded, m_windowPos, m_expandedPos },
        [this] { return m_appFolder; },
        [this] {
            UpdateTitleText(false);
            UpdateStreamFormatText();
            // At start-up the keys are grabbed once the window is up.
            if (m_startUpFinished)
                RegisterHotKeys();
        });
}

void CKavriluneDlg::OnExpand()
{
    if (IsShown())
        StoreWindowPosition();
    m_expanded = !m_expanded;
    ApplySkin(50, true);
}
