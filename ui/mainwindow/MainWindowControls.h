#pragma once

#include <utility>
#include <vector>

class CFilterBox;
class CGdipButton;
class CHyperStatic;
class CPictureArtDlg;
class CSliderCtrlEx;
class CSpectrumButton;
class CStationsListCtrl;
class QProgressBar;
class QWidget;

// The main window's controls. The window makes them once, as its children, and they live as long as it;
// each part is handed the ones it works on.
struct MainWindowControls {
    // The image buttons in the order the skin dresses them, with their command ids.
    std::vector<std::pair<int, CGdipButton*>> buttons;
    CSpectrumButton* spectrum = nullptr;
    CStationsListCtrl* list = nullptr;
    CSliderCtrlEx* volume = nullptr;
    CFilterBox* filter = nullptr;
    QProgressBar* bufferIndicator = nullptr;
    CHyperStatic* songTitle = nullptr;
    CHyperStatic* status = nullptr;
    CHyperStatic* foundNumber = nullptr;
    CHyperStatic* rotatedInfo = nullptr;
    CHyperStatic* bufferInfo = nullptr;
    CPictureArtDlg* pictureArt = nullptr; // a window of its own

    // Makes every control as a child of the window (the station list posts to it), the buttons in the
    // order the skin dresses them.
    void Create(QWidget& window);

    // The image button of a command; null for a command without one.
    CGdipButton* Button(int commandId) const
    {
        for (const auto& [id, button] : buttons)
            if (id == commandId)
                return button;
        return nullptr;
    }
};
