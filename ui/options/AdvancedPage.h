#pragma once

#include "ui/options/PropertyPage.h"

#include <QPointer>
#include <QStringList>

#include <functional>

class CPropExtra;
class QCheckBox;
class QComboBox;
class QLabel;

// The Advanced page: the audio device for new players, the window title and the song pictures. It
// edits the window's CPropExtra, which outlives it.
class CAdvancedPage : public CPropertyPage
{
    Q_OBJECT

public:
    // Names of the output devices 1, 2, ... in device order.
    using DeviceLister = std::function<void(QStringList& names)>;

    // mainWindow is told when the song pictures are switched on or off; lister gives the device names
    // (the audio library's when empty).
    CAdvancedPage(CPropExtra& values, QObject* mainWindow, DeviceLister lister = nullptr, QWidget* parent = nullptr);

    static QString PageTitle();

    void OnInitDialog() override;
    void OnOK() override;
    bool OnApply() override;
    // Lists the default device and the library's devices, selects the stored one and sets the boxes.
    void FillDeviceCombo();
    // A device was chosen: the page is modified only when it differs from the one it was filled with.
    void OnDeviceSelChange(int index);

    QComboBox* DeviceCombo() const { return m_devices; }
    QCheckBox* AlwaysShowTitleBox() const { return m_alwaysShowTitle; }
    QCheckBox* ShowPicturesBox() const { return m_showPictures; }

private:
    CPropExtra& m_values;
    QPointer<QObject> m_mainWindow;
    DeviceLister m_lister;
    int m_fillSelection = -1; // the selection FillDeviceCombo made

    QLabel* m_deviceLabel = nullptr;
    QComboBox* m_devices = nullptr;
    QLabel* m_deviceNote = nullptr;
    QCheckBox* m_alwaysShowTitle = nullptr;
    QCheckBox* m_showPictures = nullptr;
};
