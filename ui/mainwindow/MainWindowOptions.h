#pragma once

#include "ui/options/GeneralProperties.h"
#include "ui/options/PropExtra.h"
#include "ui/options/PropRecordings.h"
#include "ui/options/PropSkins.h"

// The option values the main window's parts read, one object per page of the options sheet. The window
// owns them; the sheet's pages edit them and store them in the settings file.
struct MainWindowOptions {
    CGeneralProperties general;
    CPropExtra advanced;
    CPropSkins skins;
    CPropRecordings recordings;
};
