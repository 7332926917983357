#include "ui/options/GeneralPage.h"

#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/WindowMessage.h"
#include "ui/options/GeneralProperties.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

const int kClearSearchMessage = RegisterWindowMessage("WM_KAVRILUNE_CLEAR_SEARCH");

enum Text {
    kTextTitle = 401,
    kTextStartup = 402,
    kTextAutoplay = 403,
    kTextCrossfade = 404,
    kTextCheckUpdates = 405,
    kTextNormalization = 406,
    kTextClearSearch = 407,
    kTextSearchCleared = 408,
    kTextGlobalHotkeys = 622,
    kTextMinimizeToTray = 625,
};

struct BoxInfo {
    int text;
    bool CGeneralProperties::*value;
};
// In the order of CGeneralPage::Box.
const BoxInfo kBoxes[CGeneralPage::kBoxCount] = {
    { kTextStartup, &CGeneralProperties::m_startup },
    { kTextCrossfade, &CGeneralProperties::m_crossfade },
    { kTextAutoplay, &CGeneralProperties::m_autoplay },
    { kTextCheckUpdates, &CGeneralProperties::m_checkUpdates },
    { kTextNormalization, &CGeneralProperties::m_normalization },
    { kTextGlobalHotkeys, &CGeneralProperties::m_globalHotkeys },
    { kTextMinimizeToTray, &CGeneralProperties::m_minimizeToTray },
};

} // namespace

CGeneralPage::CGeneralPage(CGeneralProperties& values, QObject* mainWindow, QWidget* parent)
    : CPropertyPage(parent)
    , m_values(values)
    , m_mainWindow(mainWindow)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        m_boxes[i] = new QCheckBox(this);
        layout->addWidget(m_boxes[i]);
        // Clicks only: setting a box from the values must not count as a change.
        connect(m_boxes[i], &QCheckBox::clicked, this, &CPropertyPage::OnCheckChanged);
    }
    layout->addStretch(1);
    m_clear = new QPushButton(this);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_clear);
    layout->addLayout(buttonRow);
    connect(m_clear, &QPushButton::clicked, this, &CGeneralPage::OnClearSearchHistory);
}

QString CGeneralPage::PageTitle()
{
    return GetLangString(kTextTitle);
}

void CGeneralPage::OnInitDialog()
{
    for (size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setText(GetLangString(kBoxes[i].text));
    m_clear->setText(GetLangString(kTextClearSearch));
    // The file is read again each time the page is shown.
    m_values.LoadSettings();
    ValuesToControls();
}

void CGeneralPage::OnOK()
{
    for (size_t i = 0; i < m_boxes.size(); ++i)
        m_values.*kBoxes[i].value = m_boxes[i]->isChecked();
    m_values.SaveSettings();
}

bool CGeneralPage::OnApply()
{
    OnOK();
    ValuesToControls();
    return true;
}

void CGeneralPage::ValuesToControls()
{
    for (size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setChecked(m_values.*kBoxes[i].value);
}

void CGeneralPage::OnClearSearchHistory()
{
    if (SendWindowMessage(m_mainWindow.data(), kClearSearchMessage) != 0)
        MessageBox(GetLangString(kTextSearchCleared), QString(), MB_OK | MB_ICONINFORMATION);
    else
        MessageBox(QStringLiteral("Error."));
}
