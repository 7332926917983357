#include "ui/mainwindow/MainWindowControls.h"

#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QProgressBar>

namespace
{

using namespace main_window_commands;

// The image buttons in the order the skin dresses them, with their command ids.
constexpr int kButtonIds[]
    = { kCommandExit, kCommandOptions, kCommandMute, kCommandFavorites, kCommandRec, kCommandNext, kCommandBack,
          kCommandPlay, kCommandSources, kCommandFilterLabel, kCommandMinimize, kCommandExpand, kCommandOnTop };

} // namespace

void MainWindowControls::Create(QWidget& window)
{
    for (const int id : kButtonIds)
        buttons.emplace_back(id, new CGdipButton(&window));
    spectrum = new CSpectrumButton(&window);
    list = new CStationsListCtrl(&window, &window);
    volume = new CSliderCtrlEx(&window);
    filter = new CFilterBox(&window);
    bufferIndicator = new QProgressBar(&window);
    bufferIndicator->setTextVisible(false);
    bufferIndicator->setRange(0, 100);
    bufferIndicator->setValue(0);
    songTitle = new CHyperStatic(&window);
    status = new CHyperStatic(&window);
    foundNumber = new CHyperStatic(&window);
    rotatedInfo = new CHyperStatic(&window);
    bufferInfo = new CHyperStatic(&window);
    pictureArt = new CPictureArtDlg(&window);
}
