#include "ui/options/RecordingsPage.h"

#include "core/Localization.h"
#include "ui/controls/HyperStatic.h"
#include "ui/options/FolderBrowser.h"
#include "ui/options/PropRecordings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

enum Text {
    kTextTitle = 614,
    kTextBitrate = 615,
    kTextSplitByTracks = 616,
    kTextFolder = 617,
    kTextAutoBitrate = 618,
    kTextBrowseTitle = 619,
    kTextBrowseMessage = 620,
    kTextDontWriteExisting = 621,
    kTextOpenFolder = 623,
    kTextSplitBySize = 624,
    kTextPrebuffering = 626,
};

const char* const kBitrates[] = { "32", "64", "96", "128", "160", "192", "256" };

} // namespace

CRecordingsPage::CRecordingsPage(CPropRecordings& values, QWidget* parent)
    : CPropertyPage(parent)
    , m_values(values)
{
    m_folderLabel = new QLabel(this);
    m_folder = new QLineEdit(this);
    m_folderLabel->setBuddy(m_folder);
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setFixedWidth(m_browse->sizeHint().height() + 12);
    m_openFolder = new QPushButton(this);
    m_bitrateLabel = new QLabel(this);
    m_bitrate = new QComboBox(this);
    m_bitrate->setMinimumContentsLength(8);
    m_bitrateLabel->setBuddy(m_bitrate);
    m_splitByTracks = new QCheckBox(this);
    m_splitBySize = new QCheckBox(this);
    // Offered, but not yet something a recording can do.
    m_splitBySize->setEnabled(false);
    m_prebuffering = new QCheckBox(this);
    m_dontWriteExisting = new QCheckBox(this);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(6);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    folderRow->addWidget(m_openFolder);
    auto* bitrateRow = new QHBoxLayout;
    bitrateRow->setSpacing(10);
    bitrateRow->addWidget(m_bitrateLabel);
    bitrateRow->addWidget(m_bitrate);
    bitrateRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(6);
    layout->addWidget(m_folderLabel);
    layout->addLayout(folderRow);
    layout->addSpacing(14);
    layout->addLayout(bitrateRow);
    layout->addSpacing(14);
    for (QCheckBox* box : { m_splitByTracks, m_splitBySize, m_prebuffering, m_dontWriteExisting }) {
        layout->addWidget(box);
        layout->addSpacing(4);
    }
    layout->addStretch(1);

    // A folder typed into the edit does not count as a change; OK still takes it.
    connect(m_browse, &QPushButton::clicked, this, &CRecordingsPage::OnFolderChanged);
    connect(m_openFolder, &QPushButton::clicked, this, &CRecordingsPage::OnOpenFolder);
    connect(m_bitrate, &QComboBox::activated, this, &CPropertyPage::OnCheckChanged);
    for (QCheckBox* box : { m_splitByTracks, m_prebuffering, m_dontWriteExisting })
        connect(box, &QCheckBox::clicked, this, &CPropertyPage::OnCheckChanged);
}

QString CRecordingsPage::PageTitle()
{
    return GetLangString(kTextTitle);
}

void CRecordingsPage::OnInitDialog()
{
    m_folderLabel->setText(GetLangString(kTextFolder));
    m_bitrateLabel->setText(GetLangString(kTextBitrate));
    m_splitByTracks->setText(GetLangString(kTextSplitByTracks));
    m_prebuffering->setText(GetLangString(kTextPrebuffering));
    m_splitBySize->setText(GetLangString(kTextSplitBySize));
    m_dontWriteExisting->setText(GetLangString(kTextDontWriteExisting));
    m_openFolder->setText(GetLangString(kTextOpenFolder));
    m_bitrate->clear();
    m_bitrate->addItem(GetLangString(kTextAutoBitrate));
    for (const char* bitrate : kBitrates)
        m_bitrate->addItem(QString::fromLatin1(bitrate));
    m_values.LoadSettings();
    ValuesToControls();
}

void CRecordingsPage::ValuesToControls()
{
    m_splitByTracks->setChecked(m_values.m_splitByTracks);
    m_dontWriteExisting->setChecked(m_values.m_dontWriteExisting);
    m_prebuffering->setChecked(m_values.m_preBuffering);
    // The first entry that begins with the text; none found keeps the selection.
    const QString text
        = m_values.m_bitrate == 0 ? GetLangString(kTextAutoBitrate) : QString::number(m_values.m_bitrate);
    const int index = m_bitrate->findText(text, Qt::MatchStartsWith);
    if (index >= 0)
        m_bitrate->setCurrentIndex(index);
    m_folder->setText(m_values.m_folder);
}

void CRecordingsPage::OnOK()
{
    // " auto " and no selection read as 0.
    m_values.m_bitrate = m_bitrate->currentIndex() >= 0 ? m_bitrate->currentText().trimmed().toInt() : 0;
    m_values.m_folder = m_folder->text();
    m_values.m_splitByTracks = m_splitByTracks->isChecked();
    m_values.m_dontWriteExisting = m_dontWriteExisting->isChecked();
    m_values.m_preBuffering = m_prebuffering->isChecked();
    m_values.SaveSettings();
    ValuesToControls();
}

bool CRecordingsPage::OnApply()
{
    OnOK();
    ValuesToControls();
    return true;
}

void CRecordingsPage::OnFolderChanged()
{
    // The edit may hold a folder typed since the page was shown.
    const QString current = CPropRecordings::AbsoluteFolder(m_folder->text());
    QString chosen = current;
    if (!BrowseForFolder(this, current, 0, current.isEmpty() ? kSpecialFolderDesktop : kSpecialFolderNone,
            GetLangString(kTextBrowseTitle), GetLangString(kTextBrowseMessage), &chosen, false))
        return;
    m_folder->setText(m_values.FolderToStore(chosen));
    SetModified(true);
}

void CRecordingsPage::OnOpenFolder()
{
    OpenFolder(CPropRecordings::AbsoluteFolder(m_folder->text()));
}
