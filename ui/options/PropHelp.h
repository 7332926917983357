#pragma once

#include "ui/options/PropertyPage.h"

#include <QStringList>

class QLabel;

// The Info page: the global hot keys and the command-line switches. It stores nothing.
class CPropHelp : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CPropHelp(QWidget* parent = nullptr);

    static QString PageTitle();
    // The page's text, line by line.
    static QStringList Lines();

    void OnInitDialog() override { }
    void OnOK() override { }

    // The labels, one per line, in order.
    const QList<QLabel*>& LineLabels() const { return m_lines; }

private:
    QList<QLabel*> m_lines;
};
