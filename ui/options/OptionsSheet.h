#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <QPalette>

#include <functional>
#include <optional>

class CPropertyPage;
class QDialogButtonBox;
class QPushButton;
class QTabWidget;

// The modal options sheet: a tab per page and OK, Cancel and Apply. Pages are created when their tab
// is first shown; OK and Apply reach only the pages that exist, Cancel none. OK stores each page's values
// and closes; Apply stores them and fills the pages again. Apply is enabled while a page is modified.
class COptionsSheet : public QDialog
{
    Q_OBJECT

public:
    using PageFactory = std::function<CPropertyPage*()>;

    COptionsSheet(QWidget* owner, const QString& title);

    // Adds a page under its title; factory makes it when its tab is first shown. The first page added
    // is made at once, as the sheet opens on it.
    void AddPage(const QString& title, PageFactory factory);
    int PageCount() const;
    // The page of a tab, or null while it was never shown.
    CPropertyPage* Page(int index) const;
    // Shows a page's tab, making the page when needed.
    void SetActivePage(int index);

    QTabWidget* Tabs() const { return m_tabs; }
    QPushButton* OkButton() const;
    QPushButton* CancelButton() const;
    QPushButton* ApplyButton() const;

    // The colours of the sheet: the owner's own scheme as a full palette, dark or light like it.
    static QPalette SheetPalette(const QPalette& owner);

private:
    struct PageSlot {
        QWidget* holder = nullptr;
        PageFactory factory;
        CPropertyPage* page = nullptr;
    };

    void CreatePage(int index);
    // Every existing page applies and shows its values again; false when one of them refuses.
    bool ApplyPages();
    void OnOk();
    void OnApplyNow();
    void UpdateApplyButton();

    QTabWidget* m_tabs = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QList<PageSlot> m_pages;
    std::optional<QPalette> m_pagePalette; // the sheet's colours, when it has its owner's
};
