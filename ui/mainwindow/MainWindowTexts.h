#pragma once

// Ids of the language table's texts that the main window and its parts show.
namespace main_window_texts
{

enum Text : int {
    kTextPlaying = 1,
    kTextConnecting = 2,
    kTextStopping = 3,
    kTextStopped = 4,
    kTextInit = 5,
    kTextInitError = 6,
    kTextInitDone = 7,
    kTextConnectError = 8,
    kTextBuffering = 9,
    kTextConnectionError = 10,
    kTextBuffer = 12,
    kTextExit = 100,
    kTextPlay = 101,
    kTextStop = 102,
    kTextBack = 103,
    kTextMute = 104,
    kTextRec = 105,
    kTextStationsFound = 106,
    kTextAbout = 107,
    kTextLanguage = 108,
    kTextCopyUrl = 109,
    kTextUnmute = 110,
    kTextStopRec = 111,
    kTextForward = 112,
    kTextExpand = 113,
    kTextOnTop = 114,
    kTextHide = 115,
    kTextWindow = 116,
    kTextClipboard = 117,
    kTextPasteUrl = 118,
    kTextDetails = 205,
    kTextAddStation = 206,
    kTextCannotRecord = 301,
    kTextNewVersion = 303,
    kTextInstallSkin = 310,
    kTextCannotInstallSkin = 312,
    kTextOptions = 400,
    kTextFavorites = 700,
    kTextAddFavorite = 701,
    kTextRemoveFavorite = 702,
    kTextListFull = 705,
    kTextAlreadyThere = 706,
    kTextMoveFavoriteUp = 707,
    kTextEqualizer = 800,
    kTextFirstPreset = 801, // "Off", then Jazz, Pop, Rock, Classic
};

} // namespace main_window_texts
