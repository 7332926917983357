#pragma once

#include <QPoint>

// Which of the main window's two layouts shows, whether it stays on top, and where each layout's
// window was seen last ((-1, -1): never; the skin's place then). The settings file keeps all of it.
struct WindowLayout {
    QPoint windowPos { -1, -1 };
    QPoint expandedPos { -1, -1 };
    bool expanded = false;
    bool onTop = false;
};
