#pragma once

#include "core/XMLSettings.h"

#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QString>

class CGdipButton;
class CHyperStatic;
class QWidget;

// One application of a skin: the skin folder "skins/<name>.kvn/" below the program folder holds
// "skin.kvn" (the normal layout) and may hold "skin2.kvn" (the expanded layout), the images, and
// "SkinPreview.png". The object opens the chosen layout file, shapes the window from section "Window"
// and dresses the plain controls; destroying it writes back the keys its reads created.
class CSkin
{
public:
    CSkin();
    ~CSkin();

    CSkin(const CSkin&) = delete;
    CSkin& operator=(const CSkin&) = delete;

    // baseFolder ends with a separator. With expanded set, "skin2.kvn" is taken when it can be read;
    // otherwise expanded is cleared and "skin.kvn" taken. Returns whether the chosen file can be read.
    bool SetSkinPath(const QString& baseFolder, const QString& skinName, bool& expanded);

    // Frame (1: a decorated window, 0: frameless with rounded corners), the client size, and the
    // position: the window is moved to position (kept on the desktop) and left hidden. Returns 1.
    int ApplyWindowFrame(QWidget* window, const QPoint& position);
    void ApplyButtonSkin(
        CGdipButton& button, const QString& section, int x, int y, int width, int height, bool hasAlternate);
    void ApplyLabelSkin(CHyperStatic& label, const QString& section, int x, int y, int width, int height);
    // Places a plain control beneath its siblings and shows or hides it; nothing for null.
    void PlaceControl(QWidget* control, const QString& section, int x, int y, int width, int height);
    // Repaints a framed window at once; a frameless one repaints with its own showing.
    void Redraw(QWidget* window) const;

    CXMLSettings& Settings() { return m_settings; }
    QString SkinFolder() const { return m_skinFolder; }
    QString SettingsPath() const { return m_settingsPath; }
    int Frame() const { return m_frame; }

private:
    QString m_skinFolder; // ends with a separator
    QString m_settingsPath;
    int m_frame = 0;
    CXMLSettings m_settings;
};

// The outline of a frameless window: the rectangle with corners rounded by ellipses rounded pixels wide
// and high (a radius of rounded / 2), as whole-pixel strips.
QRegion RoundedWindowRegion(const QSize& size, int rounded);
