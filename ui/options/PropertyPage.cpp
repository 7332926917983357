#include "ui/options/PropertyPage.h"

CPropertyPage::CPropertyPage(QWidget* parent)
    : QWidget(parent)
{
}

bool CPropertyPage::OnApply()
{
    OnOK();
    return true;
}

void CPropertyPage::SetModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}
