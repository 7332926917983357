// The main window's options sheet.

#include "ui/mainwindow/KavriluneDlg.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "core/Localization.h"
#include "core/SeException.h"
#include "ui/options/AdvancedPage.h"
#include "ui/options/GeneralPage.h"
#include "ui/options/OptionsSheet.h"
#include "ui/options/PropHelp.h"
#include "ui/options/RecordingsPage.h"
#include "ui/options/SkinsPage.h"

namespace
{

using namespace main_window_texts;

// One sheet at a time in the whole process. UI thread only.
bool optionsSheetOpen = false;

} // namespace

void CKavriluneDlg::OnOptions()
{
    if (optionsSheetOpen)
        return;
    optionsSheetOpen = true;
    try {
        COptionsSheet sheet(this, GetLangString(kTextOptions));
        sheet.AddPage(CGeneralPage::PageTitle(), [this] { return new CGeneralPage(m_general, this); });
        sheet.AddPage(CSkinsPage::PageTitle(), [this] { return new CSkinsPage(m_skins); });
        sheet.AddPage(CRecordingsPage::PageTitle(), [this] { return new CRecordingsPage(m_recordings); });
        sheet.AddPage(CAdvancedPage::PageTitle(), [this] { return new CAdvancedPage(m_advanced, this); });
        sheet.AddPage(CPropHelp::PageTitle(), [] { return new CPropHelp; });
        sheet.exec();
        // The sheet may have switched the global hot keys on or off.
        RegisterHotKeys();
    } catch (CSeException* e) {
        e->Log("KavriluneDlg", 1562);
        e->Delete();
    }
    optionsSheetOpen = false;
}
