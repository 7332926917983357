#pragma once

#include "core/XMLSettings.h"

#include <QPoint>
#include <QRect>

class QWidget;

// Keeps a window rectangle reachable: a rectangle at (0, 0) is centred on the primary screen, and one
// that lies (partly) off the desktop is shifted back until min(height - 1, 32) pixels of it remain on
// the desktop on every side. Sizes are kept.
void FitRectToScreen(RECT& rect);
// The same with the primary screen's and the whole desktop's geometry given.
void FitRectToScreen(RECT& rect, const QRect& primaryScreen, const QRect& desktop);

// Moves and sizes a top-level window to the fitted rectangle and leaves it hidden; its owner shows it
// again when it is dressed. Nothing for a null window.
void PlaceWindowRect(QWidget* window, const RECT& rect);

// The centre of the desktop.
void GetDesktopCenter(QPoint& point);

// The top-left corner of the window's normal (not minimised or maximised) placement; false for a null
// window.
bool GetWindowNormalPos(QWidget* window, QPoint& point);
