// The main window's modal dialogs: the options sheet and the About box.

#include "ui/mainwindow/KavriluneDlg.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "core/Localization.h"
#include "core/SeException.h"
#include "ui/mainwindow/SkinLayout.h"
#include "ui/mainwindow/UpdateChecks.h"
#include "ui/mainwindow/WindowInput.h"
#include "ui/options/AdvancedPage.h"
#include "ui/options/GeneralPage.h"
#include "ui/options/OptionsSheet.h"
#include "ui/options/PropHelp.h"
#include "ui/options/RecordingsPage.h"
#include "ui/options/SkinsPage.h"
#include "ui/windows/AboutDlg.h"

namespace
{

using namespace main_window_texts;

// One sheet at a time in the whole process. UI thread only.
bool optionsSheetOpen = false;
// One About box at a time in the whole program; UI thread only.
bool aboutShown = false;

} // namespace

void CKavriluneDlg::OnOptions()
{
    if (optionsSheetOpen)
        return;
    optionsSheetOpen = true;
    try {
        COptionsSheet sheet(this, GetLangString(kTextOptions));
        sheet.AddPage(CGeneralPage::PageTitle(), [this] { return new CGeneralPage(m_options.general, this); });
        sheet.AddPage(CSkinsPage::PageTitle(), [this] { return new CSkinsPage(m_options.skins); });
        sheet.AddPage(CRecordingsPage::PageTitle(), [this] { return new CRecordingsPage(m_options.recordings); });
        sheet.AddPage(CAdvancedPage::PageTitle(), [this] { return new CAdvancedPage(m_options.advanced, this); });
        sheet.AddPage(CPropHelp::PageTitle(), [] { return new CPropHelp; });
        sheet.exec();
        // The sheet may have switched the global hot keys on or off.
        m_input->RegisterHotKeys();
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1562);
        e->Delete();
    }
    optionsSheetOpen = false;
}

void CKavriluneDlg::OnAbout()
{
    if (aboutShown)
        return;
    aboutShown = true;
    struct Reset {
        ~Reset() { aboutShown = false; }
    } reset;
    CAboutDlg dialog(&m_updates->Updater(), this);
    dialog.SetSkinAuthor(m_skinLayout->AuthorName());
    dialog.exec();
}
