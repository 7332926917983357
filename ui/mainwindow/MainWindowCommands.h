#pragma once

// Command ids of the main window's buttons and menus.
namespace main_window_commands
{

enum Command : int {
    kCommandExit = 1,
    kCommandAbout = 16,
    kCommandPlay = 1000,
    kCommandStop = 1008,
    kCommandSpectrum = 1017,
    kCommandFavorites = 1024,
    kCommandMute = 1027,
    kCommandCopyUrl = 1030,
    kCommandDetails = 1031,
    kCommandAddStation = 1034,
    kCommandBack = 1038,
    kCommandNext = 1039,
    kCommandOptions = 1041,
    kCommandSources = 1046,
    kCommandRec = 1051,
    kCommandMenuMute = 1052,
    kCommandMenuRec = 1070,
    kCommandFilterLabel = 1069,
    kCommandMinimize = 1075,
    kCommandExpand = 1076,
    kCommandOnTop = 1077,
    kCommandPasteUrl = 1079,
    kCommandFirstFavorite = 1326,
    kCommandLastFavorite = 1356,
    kCommandFirstHistory = 1374,
    kCommandLastHistory = 1404,
};

} // namespace main_window_commands
