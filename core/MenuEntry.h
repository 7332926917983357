#pragma once

#include <QString>

// One entry of a popup menu that core code builds and the user interface shows.
struct MenuEntry {
    QString text;
    unsigned commandId = 0;
    bool checked = false;
    // A disabled entry cannot be chosen; it is drawn greyed only when grayed is set as well.
    bool enabled = true;
    bool grayed = false;
};
