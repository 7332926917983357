#include "ui/PropSkinsPage.h"

#include "core/Localization.h"
#include "core/ServerHosts.h"
#include "ui/HyperStatic.h"
#include "ui/ListImageCtrl.h"
#include "ui/PropSkins.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace
{

enum Text {
    kTextSkinLabel = 505,
    kTextTitle = 506,
};

} // namespace

CPropSkinsPage::CPropSkinsPage(CPropSkins& values, QWidget* parent)
    : CPropertyPage(parent)
    , m_values(values)
{
    m_comboLabel = new QLabel(this);
    m_combo = new QComboBox(this);
    m_combo->setMinimumContentsLength(18);
    m_comboLabel->setBuddy(m_combo);
    m_list = new CListImageCtrl(this);
    m_dropHint = new QLabel(QStringLiteral("Drop zipped skin package here and it will be installed."), this);
    m_dropHint->setWordWrap(true);
    m_dropHint->setForegroundRole(QPalette::PlaceholderText);
    m_moreSkins = new QLabel(this);
    m_moreSkins->setTextFormat(Qt::RichText);
    m_moreSkins->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);

    auto* comboRow = new QHBoxLayout;
    comboRow->setSpacing(10);
    comboRow->addWidget(m_comboLabel);
    comboRow->addWidget(m_combo);
    comboRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    layout->addLayout(comboRow);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_dropHint);
    layout->addWidget(m_moreSkins);

    connect(m_combo, &QComboBox::activated, this, &CPropSkinsPage::OnComboActivated);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CPropSkinsPage::OnSkinListItemChanged);
    connect(m_moreSkins, &QLabel::linkActivated, this, [](const QString& link) { OpenUrl(link); });
    m_values.SetPage(this);
}

CPropSkinsPage::~CPropSkinsPage()
{
    m_values.SetPage(nullptr);
}

QString CPropSkinsPage::PageTitle()
{
    return GetLangString(kTextTitle);
}

void CPropSkinsPage::OnInitDialog()
{
    m_list->InitImageList();
    m_comboLabel->setText(GetLangString(kTextSkinLabel));
    // Rich text takes link colours from the application unless told; the page has the sheet's by now.
    const QString address = GetWebHost() + QStringLiteral("/skins/");
    m_moreSkins->setText(QStringLiteral("More skins on the <a href=\"%1\" style=\"color: %2\">Kavrilune web site</a>")
                             .arg(address.toHtmlEscaped(), palette().color(QPalette::Link).name()));
    m_values.LoadSettings();
    FillSkinList();
}

void CPropSkinsPage::FillSkinList()
{
    const QSignalBlocker blockList(m_list);
    m_combo->clear();
    m_list->clear();
    QStringList names, previews;
    m_values.EnumerateSkins(names, previews);
    for (int i = 0; i < names.size(); ++i) {
        m_combo->addItem(names.at(i));
        m_list->AddImage(previews.at(i), names.at(i));
        if (names.at(i).compare(m_values.m_skin, Qt::CaseInsensitive) == 0) {
            m_combo->setCurrentIndex(i);
            if (QListWidgetItem* item = m_list->item(i))
                item->setSelected(true);
        }
    }
    if (!m_list->selectedItems().isEmpty())
        m_list->setCurrentItem(m_list->selectedItems().first(), QItemSelectionModel::NoUpdate);
}

void CPropSkinsPage::OnSkinListItemChanged()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    const int index = m_combo->findText(selected.first()->text(), Qt::MatchStartsWith);
    if (index >= 0)
        m_combo->setCurrentIndex(index);
    SetModified(true);
}

void CPropSkinsPage::OnComboActivated(int index)
{
    // The thumbnails show the choice too (the first 50 skins have one).
    {
        const QSignalBlocker blockList(m_list);
        m_list->clearSelection();
        if (QListWidgetItem* item = m_list->item(index)) {
            item->setSelected(true);
            m_list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
            m_list->scrollToItem(item);
        }
    }
    OnCheckChanged();
}

void CPropSkinsPage::OnOK()
{
    // Without a selection (no skin installed) the current skin stays.
    if (m_combo->currentIndex() >= 0)
        m_values.m_skin = m_combo->currentText();
    m_values.SaveSettings();
    m_values.PostLoadSkin();
}

bool CPropSkinsPage::OnApply()
{
    OnOK();
    FillSkinList();
    return true;
}
