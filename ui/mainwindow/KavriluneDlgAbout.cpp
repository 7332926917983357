// The About box, opened from the window's menu.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/windows/AboutDlg.h"

namespace
{

// One About box at a time in the whole program; UI thread only.
bool aboutShown = false;

} // namespace

void CKavriluneDlg::OnAbout()
{
    if (aboutShown)
        return;
    aboutShown = true;
    struct Reset {
        ~Reset() { aboutShown = false; }
    } reset;
    CAboutDlg dialog(&m_updater, this);
    dialog.SetSkinAuthor(AuthorName());
    dialog.exec();
}
