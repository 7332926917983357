#include "ui/options/AdvancedPage.h"

#include "audio/RadioPlayer.h"
#include "core/Localization.h"
#include "core/WindowMessage.h"
#include "ui/options/PropExtra.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

namespace
{

const int kPictureArtShowMessage = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_SHOW");

enum Text {
    kTextTitle = 500,
    kTextDevice = 501,
    kTextDefaultDevice = 502,
    kTextDeviceChange = 503,
    kTextAlwaysShowTitle = 504,
    kTextPictureArt = 507,
};

} // namespace

CAdvancedPage::CAdvancedPage(CPropExtra& values, QObject* mainWindow, DeviceLister lister, QWidget* parent)
    : CPropertyPage(parent)
    , m_values(values)
    , m_mainWindow(mainWindow)
    , m_lister(lister ? std::move(lister) : DeviceLister(&EnumerateAudioDevices))
{
    m_deviceLabel = new QLabel(this);
    m_devices = new QComboBox(this);
    m_devices->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_deviceLabel->setBuddy(m_devices);
    m_deviceNote = new QLabel(this);
    m_deviceNote->setWordWrap(true);
    m_deviceNote->setForegroundRole(QPalette::PlaceholderText);
    m_alwaysShowTitle = new QCheckBox(this);
    m_showPictures = new QCheckBox(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(6);
    layout->addWidget(m_deviceLabel);
    layout->addWidget(m_devices);
    layout->addWidget(m_deviceNote);
    layout->addSpacing(18);
    layout->addWidget(m_alwaysShowTitle);
    layout->addSpacing(4);
    layout->addWidget(m_showPictures);
    layout->addStretch(1);

    connect(m_devices, &QComboBox::activated, this, &CAdvancedPage::OnDeviceSelChange);
    connect(m_alwaysShowTitle, &QCheckBox::clicked, this, &CPropertyPage::OnCheckChanged);
    connect(m_showPictures, &QCheckBox::clicked, this, &CPropertyPage::OnCheckChanged);
}

QString CAdvancedPage::PageTitle()
{
    return GetLangString(kTextTitle);
}

void CAdvancedPage::OnInitDialog()
{
    m_deviceLabel->setText(GetLangString(kTextDevice));
    m_deviceNote->setText(GetLangString(kTextDeviceChange));
    m_alwaysShowTitle->setText(GetLangString(kTextAlwaysShowTitle));
    m_showPictures->setText(GetLangString(kTextPictureArt));
    m_values.LoadSettings();
    FillDeviceCombo();
}

void CAdvancedPage::FillDeviceCombo()
{
    m_devices->clear();
    m_devices->addItem(GetLangString(kTextDefaultDevice));
    QStringList names;
    m_lister(names);
    m_devices->addItems(names);
    // A stored device the list does not reach leaves the list without a selection.
    m_fillSelection = m_values.m_device >= 0 && m_values.m_device < m_devices->count() ? m_values.m_device : -1;
    m_devices->setCurrentIndex(m_fillSelection);
    m_alwaysShowTitle->setChecked(m_values.m_alwaysShowTitle);
    m_showPictures->setChecked(m_values.m_showPictures);
}

void CAdvancedPage::OnDeviceSelChange(int index)
{
    if (index != m_fillSelection)
        SetModified(true);
}

void CAdvancedPage::OnOK()
{
    const bool showedPictures = m_values.m_showPictures;
    m_values.m_alwaysShowTitle = m_alwaysShowTitle->isChecked();
    m_values.m_showPictures = m_showPictures->isChecked();
    // Without a selection the stored device stays; it may be back the next time the list is made.
    if (m_devices->currentIndex() >= 0)
        m_values.m_device = m_devices->currentIndex();
    m_values.SaveSettings();
    if (m_values.m_showPictures != showedPictures)
        SendWindowMessage(m_mainWindow.data(), kPictureArtShowMessage);
}

bool CAdvancedPage::OnApply()
{
    OnOK();
    FillDeviceCombo();
    return true;
}
