// The main window's options sheet.

#include "ui/mainwindow/KavriluneDlg.h"

#include "core/Localization.h"
#include "core/SeException.h"
#include "ui/options/GeneralPropertiesPage.h"
#include "ui/options/OptionsSheet.h"
#include "ui/options/PropExtraPage.h"
#include "ui/options/PropHelp.h"
#include "ui/options/PropRecordingsPage.h"
#include "ui/options/PropSkinsPage.h"

namespace
{

constexpr int kTextOptions = 400;

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
        sheet.AddPage(
            CGeneralPropertiesPage::PageTitle(), [this] { return new CGeneralPropertiesPage(m_general, this); });
        sheet.AddPage(CPropSkinsPage::PageTitle(), [this] { return new CPropSkinsPage(m_skins); });
        sheet.AddPage(CPropRecordingsPage::PageTitle(), [this] { return new CPropRecordingsPage(m_recordings); });
        sheet.AddPage(CPropExtraPage::PageTitle(), [this] { return new CPropExtraPage(m_advanced, this); });
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
