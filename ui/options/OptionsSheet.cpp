#include "ui/options/OptionsSheet.h"

#include "ui/options/PropertyPage.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace
{

// The sheet's size when it opens: room for the largest page, so that it never grows while tabs change.
constexpr int kSheetWidth = 560;
constexpr int kSheetHeight = 470;

QColor Mix(const QColor& from, const QColor& to, qreal amount)
{
    const auto channel = [amount](int a, int b) { return std::clamp(int(a + (b - a) * amount + 0.5), 0, 255); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()), channel(from.blue(), to.blue()));
}

} // namespace

COptionsSheet::COptionsSheet(QWidget* owner, const QString& title)
    : QDialog(owner)
{
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(false);
    if (owner) {
        const QPalette colors = SheetPalette(owner->palette());
        setPalette(colors);
        // The style paints the tab pane and the current tab in the button colour: a calmer one for them
        // than for the buttons on the pages, which take the sheet's colours again (AddPage).
        QPalette pane = colors;
        const bool dark = colors.color(QPalette::Window).lightnessF() < 0.5;
        // (The style lightens dark button colours by about a quarter before it paints them.)
        pane.setColor(QPalette::Button,
            dark ? Mix(colors.color(QPalette::Window), colors.color(QPalette::Base), 0.6)
                 : Mix(colors.color(QPalette::Window), colors.color(QPalette::Text), -0.03));
        m_tabs->setPalette(pane);
        // The style draws the outlines of boxes and fields a shade darker than the window colour; on a
        // dark pane they need a lighter one to show.
        QPalette page = colors;
        if (dark)
            page.setColor(QPalette::Window, Mix(colors.color(QPalette::Window), colors.color(QPalette::Text), 0.22));
        m_pagePalette = page;
    }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    for (QAbstractButton* button : m_buttons->buttons()) {
        button->setIcon(QIcon());
        button->setMinimumWidth(88);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_buttons);
    resize(kSheetWidth, kSheetHeight);

    connect(OkButton(), &QPushButton::clicked, this, &COptionsSheet::OnOk);
    connect(CancelButton(), &QPushButton::clicked, this, &QDialog::reject);
    connect(ApplyButton(), &QPushButton::clicked, this, &COptionsSheet::OnApplyNow);
    connect(m_tabs, &QTabWidget::currentChanged, this, &COptionsSheet::CreatePage);
    ApplyButton()->setEnabled(false);
}

void COptionsSheet::AddPage(const QString& title, PageFactory factory)
{
    auto* holder = new QWidget;
    if (m_pagePalette)
        holder->setPalette(*m_pagePalette);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pages.append({ holder, std::move(factory), nullptr });
    // The first tab added becomes the current one, which makes its page.
    m_tabs->addTab(holder, title);
}

int COptionsSheet::PageCount() const
{
    return int(m_pages.size());
}

CPropertyPage* COptionsSheet::Page(int index) const
{
    return index >= 0 && index < m_pages.size() ? m_pages.at(index).page : nullptr;
}

void COptionsSheet::SetActivePage(int index)
{
    m_tabs->setCurrentIndex(index);
}

QPushButton* COptionsSheet::OkButton() const
{
    return m_buttons->button(QDialogButtonBox::Ok);
}

QPushButton* COptionsSheet::CancelButton() const
{
    return m_buttons->button(QDialogButtonBox::Cancel);
}

QPushButton* COptionsSheet::ApplyButton() const
{
    return m_buttons->button(QDialogButtonBox::Apply);
}

void COptionsSheet::CreatePage(int index)
{
    if (index < 0 || index >= m_pages.size() || m_pages.at(index).page || !m_pages.at(index).factory)
        return;
    PageSlot& slot = m_pages[index];
    CPropertyPage* page = slot.factory();
    if (!page)
        return;
    slot.page = page;
    slot.holder->layout()->addWidget(page);
    connect(page, &CPropertyPage::modifiedChanged, this, &COptionsSheet::UpdateApplyButton);
    page->OnInitDialog();
    // The style's buttons hug their texts; the pages' buttons get some air around theirs.
    for (QPushButton* button : page->findChildren<QPushButton*>()) {
        if (button->minimumWidth() != button->maximumWidth())
            button->setMinimumWidth(button->sizeHint().width() + 20);
    }
    UpdateApplyButton();
}

bool COptionsSheet::ApplyPages()
{
    for (const PageSlot& slot : m_pages) {
        if (slot.page && !slot.page->OnApply())
            return false;
    }
    for (const PageSlot& slot : m_pages) {
        if (slot.page)
            slot.page->SetModified(false);
    }
    return true;
}

void COptionsSheet::OnOk()
{
    // The pages close: each stores its values, and none is filled again (which could mean asking the
    // sound system for its devices or decoding every preview once more).
    for (const PageSlot& slot : m_pages) {
        if (slot.page)
            slot.page->OnOK();
    }
    accept();
}

void COptionsSheet::OnApplyNow()
{
    ApplyPages();
}

void COptionsSheet::UpdateApplyButton()
{
    bool modified = false;
    for (const PageSlot& slot : m_pages)
        modified = modified || (slot.page && slot.page->IsModified());
    ApplyButton()->setEnabled(modified);
}

QPalette COptionsSheet::SheetPalette(const QPalette& owner)
{
    const QColor base = owner.color(QPalette::Base);
    const QColor text = owner.color(QPalette::Text);
    QColor accent = owner.color(QPalette::Highlight);
    accent.setAlpha(255);
    const bool dark = base.lightnessF() < 0.5;

    QPalette colors = owner;
    const QColor window = Mix(base, text, dark ? 0.045 : 0.035);
    const QColor muted = Mix(window, text, 0.45);
    colors.setColor(QPalette::Window, window);
    colors.setColor(QPalette::Base, dark ? base : Mix(base, QColor(Qt::white), 0.7));
    colors.setColor(QPalette::AlternateBase, Mix(base, text, 0.03));
    colors.setColor(QPalette::Button, Mix(base, text, dark ? 0.13 : 0.06));
    colors.setColor(QPalette::Light, Mix(base, text, dark ? 0.22 : -1.0));
    colors.setColor(QPalette::Midlight, Mix(base, text, dark ? 0.17 : 0.03));
    colors.setColor(QPalette::Mid, Mix(base, text, dark ? 0.09 : 0.2));
    colors.setColor(QPalette::Dark, Mix(base, QColor(Qt::black), dark ? 0.35 : 0.0).darker(dark ? 100 : 130));
    colors.setColor(QPalette::Shadow, QColor(Qt::black));
    for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        colors.setColor(role, text);
    colors.setColor(QPalette::BrightText, dark ? QColor(Qt::white) : QColor(Qt::black));
    colors.setColor(QPalette::Highlight, accent);
    colors.setColor(QPalette::HighlightedText, accent.lightnessF() < 0.6 ? QColor(Qt::white) : QColor(Qt::black));
    colors.setColor(QPalette::Link, dark ? Mix(accent, QColor(Qt::white), 0.35) : accent.darker(125));
    colors.setColor(QPalette::LinkVisited, colors.color(QPalette::Link));
    colors.setColor(QPalette::PlaceholderText, muted);
    colors.setColor(QPalette::ToolTipBase, window);
    colors.setColor(QPalette::ToolTipText, text);
    for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        colors.setColor(QPalette::Disabled, role, muted);
    colors.setColor(QPalette::Disabled, QPalette::Button, window);
    colors.setColor(QPalette::Disabled, QPalette::Highlight, Mix(window, accent, 0.4));
    return colors;
}
