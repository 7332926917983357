#include "ui/options/SkinsPage.h"

#include "core/Localization.h"
#include "core/ServerHosts.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/ListImageCtrl.h"
#include "ui/desktop/DropTarget.h"
#include "ui/options/PropSkins.h"

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

CSkinsPage::CSkinsPage(CPropSkins& values, QWidget* parent)
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

    connect(m_combo, &QComboBox::activated, this, &CSkinsPage::OnComboActivated);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CSkinsPage::OnSkinListItemChanged);
    connect(m_moreSkins, &QLabel::linkActivated, this, [](const QString& link) { OpenUrl(link); });
    m_values.SetPage(this);
}

CSkinsPage::~CSkinsPage()
{
    m_values.SetPage(nullptr);
}

QString CSkinsPage::PageTitle()
{
    return GetLangString(kTextTitle);
}

void CSkinsPage::OnInitDialog()
{
    m_list->InitImageList();
    // A skin package dropped anywhere on the page is installed as one dropped on the main window.
    m_dropTarget.RegisterSkinPackageZone(this, m_values.MainWindow());
    m_comboLabel->setText(GetLangString(kTextSkinLabel));
    // Rich text takes link colours from the application unless told; the page has the sheet's by now.
    const QString address = GetWebHost() + QStringLiteral("/skins/");
    m_moreSkins->setText(QStringLiteral("More skins on the <a href=\"%1\" style=\"color: %2\">Kavrilune web site</a>")
                             .arg(address.toHtmlEscaped(), palette().color(QPalette::Link).name()));
    m_values.LoadSettings();
    FillSkinList();
}

void CSkinsPage::FillSkinList()
{
    const QSignalBlocker blockList(m_list);
    m_combo->clear();
    m_list->clear();
    QStringList names, previews;
    m_values.EnumerateSkins(names, previews);
    const int current = CPropSkins::IndexOfSkin(names, m_values.m_skin);
    for (int i = 0; i < names.size(); ++i) {
        m_combo->addItem(names.at(i));
        // The thumbnail knows its skin by position: names may differ only in case, or begin alike.
        if (QListWidgetItem* item = m_list->AddImage(previews.at(i), names.at(i)))
            item->setData(kSkinIndexRole, i);
    }
    m_combo->setCurrentIndex(current);
    if (QListWidgetItem* item = ThumbnailOf(current)) {
        item->setSelected(true);
        m_list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    }
}

QListWidgetItem* CSkinsPage::ThumbnailOf(int skin) const
{
    if (skin < 0)
        return nullptr;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->data(kSkinIndexRole).toInt() == skin)
            return item;
    }
    return nullptr;
}

void CSkinsPage::OnSkinListItemChanged()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    bool known = false;
    const int index = selected.first()->data(kSkinIndexRole).toInt(&known);
    if (known && index >= 0 && index < m_combo->count())
        m_combo->setCurrentIndex(index);
    SetModified(true);
}

void CSkinsPage::OnComboActivated(int index)
{
    // The thumbnails show the choice too (the first 50 skins have one).
    {
        const QSignalBlocker blockList(m_list);
        m_list->clearSelection();
        if (QListWidgetItem* item = ThumbnailOf(index)) {
            item->setSelected(true);
            m_list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
            m_list->scrollToItem(item);
        }
    }
    OnCheckChanged();
}

void CSkinsPage::OnOK()
{
    // Without a selection (no skin installed) the current skin stays.
    if (m_combo->currentIndex() >= 0)
        m_values.m_skin = m_combo->currentText();
    m_values.SaveSettings();
    m_values.PostLoadSkin();
}

bool CSkinsPage::OnApply()
{
    OnOK();
    FillSkinList();
    return true;
}
