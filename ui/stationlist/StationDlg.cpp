#include "ui/stationlist/StationDlg.h"

#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/StationItem.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

// Texts of the language table.
constexpr int kCaptionNew = 200;
constexpr int kCaptionDetails = 222;
constexpr int kLabelTitle = 201;
constexpr int kLabelWebPage = 223;
constexpr int kLabelGenre = 203;
constexpr int kLabelCountry = 204;
constexpr int kLabelSource = 218;

const QString& SlotText(const CStationItem& item, int slot)
{
    static const QString empty;
    return slot < item.GetSize() ? item.GetAt(slot) : empty;
}

// A stations file holds one station a line with tab-separated fields.
QString OneLine(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

CStationDlg::CStationDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("New radio station"));

    auto* form = new QFormLayout;
    auto addRow = [this, form](QLineEdit*& edit, int labelIndex) {
        edit = new QLineEdit(this);
        m_labels[size_t(labelIndex)] = new QLabel(this);
        form->addRow(m_labels[size_t(labelIndex)], edit);
    };
    addRow(m_title, 0);
    addRow(m_webPage, 1);
    addRow(m_genre, 2);
    addRow(m_country, 3);
    for (int n = 0; n < kSources; ++n)
        addRow(m_sourceEdits[size_t(n)], 4 + n);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(530);
}

void CStationDlg::SetItem(const CStationItem& item)
{
    m_titleText = SlotText(item, CStationItem::SlotTitle);
    m_webPageText = SlotText(item, CStationItem::SlotWebPage);
    m_genreText = SlotText(item, CStationItem::SlotGenre);
    m_countryText = SlotText(item, CStationItem::SlotCountry);
    for (int n = 0; n < kSources; ++n)
        m_sourceTexts[size_t(n)] = SlotText(item, CStationItem::SlotFirstSource + n);
    m_marker = SlotText(item, CStationItem::SlotFlags);
}

int CStationDlg::DoModal()
{
    InitTexts();
    ExchangeData(false);
    m_title->setFocus();
    if (exec() != QDialog::Accepted)
        return IDCANCEL;
    ExchangeData(true);
    return IDOK;
}

void CStationDlg::InitTexts()
{
    setWindowTitle(GetLangString(m_titleText.isEmpty() ? kCaptionNew : kCaptionDetails));
    const int labels[] = { kLabelTitle, kLabelWebPage, kLabelGenre, kLabelCountry };
    for (int i = 0; i < 4; ++i)
        m_labels[size_t(i)]->setText(GetLangString(labels[i]));
    for (int n = 0; n < kSources; ++n)
        m_labels[size_t(4 + n)]->setText(GetLangString(kLabelSource));
}

void CStationDlg::ExchangeData(bool fromEdits)
{
    auto exchange = [fromEdits](QLineEdit* edit, QString& text) {
        if (fromEdits)
            text = edit->text();
        else
            edit->setText(text);
    };
    exchange(m_title, m_titleText);
    exchange(m_webPage, m_webPageText);
    exchange(m_genre, m_genreText);
    exchange(m_country, m_countryText);
    for (int n = 0; n < kSources; ++n)
        exchange(m_sourceEdits[size_t(n)], m_sourceTexts[size_t(n)]);
}

void CStationDlg::GetItem(CStationItem& item) const
{
    item.Reset();
    item.SetTitle(OneLine(m_titleText));
    item.SetWebPage(OneLine(m_webPageText));
    item.SetCountry(OneLine(m_countryText));
    item.SetGenre(OneLine(m_genreText));
    item.SetLanguage(QString());
    item.SetFlags(m_marker);
    for (const QString& source : m_sourceTexts)
        item.AddSource(OneLine(source));
}
