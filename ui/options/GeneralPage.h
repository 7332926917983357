#pragma once

#include "ui/options/PropertyPage.h"

#include <QPointer>
#include <array>

class CGeneralProperties;
class QCheckBox;
class QPushButton;

// The General page: seven on/off options and the button that clears the search history. It edits
// the window's CGeneralProperties, which outlives it.
class CGeneralPage : public CPropertyPage
{
    Q_OBJECT

public:
    // The boxes in the order the page shows them.
    enum Box { kStartup, kCrossfade, kAutoplay, kCheckUpdates, kNormalization, kGlobalHotkeys, kMinimizeToTray };
    static constexpr int kBoxCount = 7;

    // mainWindow answers the request to clear the search history.
    CGeneralPage(CGeneralProperties& values, QObject* mainWindow, QWidget* parent = nullptr);

    static QString PageTitle();

    void OnInitDialog() override;
    void OnOK() override;
    bool OnApply() override;
    // Asks the main window to empty the search history and says how it went.
    void OnClearSearchHistory();

    QCheckBox* CheckBox(Box box) const { return m_boxes.at(size_t(box)); }
    QPushButton* ClearButton() const { return m_clear; }

private:
    void ValuesToControls();

    CGeneralProperties& m_values;
    QPointer<QObject> m_mainWindow;
    std::array<QCheckBox*, kBoxCount> m_boxes {};
    QPushButton* m_clear = nullptr;
};
