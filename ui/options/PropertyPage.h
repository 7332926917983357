#pragma once

#include <QWidget>

// One page of the options sheet. The sheet creates a page only when it is first shown, and only pages
// that exist take part in OK and Apply. Showing runs OnInitDialog (load, values to controls); OK runs
// OnOK (controls to values, save), Apply runs OnApply (that, then the values back to the controls);
// Cancel saves nothing. A page marks itself modified to
// enable the sheet's Apply button.
class CPropertyPage : public QWidget
{
    Q_OBJECT

public:
    explicit CPropertyPage(QWidget* parent = nullptr);

    // Runs once, when the sheet first shows the page.
    virtual void OnInitDialog() = 0;
    // Takes the controls' values and saves them.
    virtual void OnOK() = 0;
    // OK, then the saved values back to the controls; false keeps the sheet from going on.
    virtual bool OnApply();

    void SetModified(bool modified = true);
    bool IsModified() const { return m_modified; }

    // The handler every check box and drop-down list of the pages shares: the page is modified.
    void OnCheckChanged() { SetModified(true); }

signals:
    void modifiedChanged(bool modified);

private:
    bool m_modified = false;
};
