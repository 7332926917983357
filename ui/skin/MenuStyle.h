#pragma once

#include <QPalette>
#include <QString>

// The look of every popup menu of the main window (its own menus and the station list's), in the
// colours the skin gave the window: a flat panel a shade off the list's background, the list's
// highlight for the chosen item.
QString MenuStyleSheet(const QPalette& colors);

class QObject;
class QWidget;

// Gives a menu that the window (or one of its controls or menus) owns the window's menu look; other
// objects are left alone. Called as the menu is polished, before it works out its size.
void StyleMenuOf(const QWidget& window, QObject* object);
