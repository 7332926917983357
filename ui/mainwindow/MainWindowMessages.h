#pragma once

#include "core/WindowMessage.h"
#include "ui/desktop/DropTarget.h"

// The messages the main window handles or posts; the named ones are registered when the program starts.
namespace main_window_messages
{

inline const int kUpdaterNewVersion = RegisterWindowMessage("WM_KAVRILUNE_UPDATER_NEW_VERSION_");
inline const int kUpdaterNoNewVersion = RegisterWindowMessage("WM_KAVRILUNE_UPDATER_NO_NEW_VERSION_");
inline const int kLoadSkin = RegisterWindowMessage("WM_KAVRILUNE_LOAD_SKIN");
inline const int kTrayNotification = RegisterWindowMessage("WM_KAVRILUNE_TRAY_NOTIFICATION");
inline const int kTrayCommand = RegisterWindowMessage("WM_KAVRILUNE_TRAY_COMMAND");
inline const int kTrayBalloonClick = RegisterWindowMessage("WM_KAVRILUNE_TRAY_BALLOON_CLICK");
inline const int kUpdateStatus = RegisterWindowMessage("WM_KAVRILUNE_UPDATE_STATUS_");
inline const int kSpectrumUpdate = RegisterWindowMessage("WM_KAVRILUNE_SPECTRUM_UPDATE");
inline const int kStationsDownloaded = RegisterWindowMessage("WM_KAVRILUNE_STATIONS_UPDATER_DOWNLOADED_");
inline const int kStationsNoUpdates = RegisterWindowMessage("WM_KAVRILUNE_STATIONS_UPDATER_NO_UPDATES_");
inline const int kClearSearch = RegisterWindowMessage("WM_KAVRILUNE_CLEAR_SEARCH");
inline const int kPictureArtIsVisible = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_IS_VISIBLE");
inline const int kPictureArtDisable = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_DISABLE");
inline const int kPictureArtShow = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_SHOW");
inline const int kInitialize = RegisterWindowMessage("WM_KAVRILUNE_INITIALIZE");
inline const int kTerminate = RegisterWindowMessage("WM_KAVRILUNE_TERMINATE");
inline const int kCmdLine = RegisterWindowMessage("WM_KAVRILUNE_CMD_LINE");
inline const int kTaskbarCreated = RegisterWindowMessage("TaskbarCreated");

// Messages whose lParam points into this process's memory: the drop target's (see CDropTarget).
constexpr int kDropText = CDropTarget::kDropText; // lParam: const QString* of the dropped text
constexpr int kDropFile = CDropTarget::kDropFile; // lParam: const QString* of the dropped file's path

} // namespace main_window_messages
