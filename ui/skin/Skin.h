#pragma once

#include "core/XMLSettings.h"
#include "ui/skin/SkinImage.h"

#include <QColor>
#include <QPixmap>

#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QString>

class CGdipButton;
class CHyperStatic;
class QWidget;

// The folder of the skin named name: "skins/<name>.kvn/" directly inside baseFolder (which ends with a
// separator), ending with a separator. Empty for a name that is empty or holds "/", "\\" or "..", and
// for a folder that is missing or, followed through links, lies anywhere else.
QString SkinFolderPath(const QString& baseFolder, const QString& name);

// The window background painted from a skin image, and the station list's colour taken from it.
struct SkinBackground {
    QPixmap picture;
    QColor listColor; // invalid without an image
};

// One application of a skin: the skin folder "skins/<name>.kvn/" below the program folder holds
// "skin.kvn" (the normal layout) and may hold "skin2.kvn" (the expanded layout), the images, and
// "SkinPreview.png". The object opens the chosen layout file, shapes the window from section "Window"
// and dresses the plain controls; destroying it writes back the keys its reads created. Its images are
// decoded once each, at the size they are drawn, within what the window can show (CSkinImages).
class CSkin
{
public:
    CSkin();
    ~CSkin();

    CSkin(const CSkin&) = delete;
    CSkin& operator=(const CSkin&) = delete;

    // baseFolder ends with a separator. With expanded set, "skin2.kvn" is taken when it can be read;
    // otherwise expanded is cleared and "skin.kvn" taken. Returns whether the chosen file can be read;
    // a name that is no skin folder (SkinFolderPath) opens nothing.
    bool SetSkinPath(const QString& baseFolder, const QString& skinName, bool& expanded);

    // Frame (1: a decorated window, 0: frameless with rounded corners), the client size, and the
    // position: the window is moved to position (kept on the desktop) and left hidden. The client size
    // is kept within the available screen. Returns 1.
    int ApplyWindowFrame(QWidget* window, const QPoint& position);
    void ApplyButtonSkin(
        CGdipButton& button, const QString& section, int x, int y, int width, int height, bool hasAlternate);
    void ApplyLabelSkin(CHyperStatic& label, const QString& section, int x, int y, int width, int height);
    // Places a plain control beneath its siblings, within its parent, and shows or hides it; nothing for
    // null.
    void PlaceControl(QWidget* control, const QString& section, int x, int y, int width, int height);
    // Repaints a framed window at once; a frameless one repaints with its own showing.
    void Redraw(QWidget* window) const;
    // The skin's image fileName drawn over a client area of clientSize at scale on the fill colour.
    SkinBackground PaintBackground(const QString& fileName, const QSize& clientSize, qreal scale, const QColor& fill);

    CXMLSettings& Settings() { return m_settings; }
    QString SkinFolder() const { return m_skinFolder; }
    QString SettingsPath() const { return m_settingsPath; }
    int Frame() const { return m_frame; }
    CSkinImages& Images() { return m_images; }

private:
    QString m_skinFolder; // ends with a separator
    QString m_settingsPath;
    int m_frame = 0;
    CXMLSettings m_settings;
    CSkinImages m_images;
};

// The outline of a frameless window: the rectangle with corners rounded by ellipses rounded pixels wide
// and high (a radius of rounded / 2), as whole-pixel strips.
QRegion RoundedWindowRegion(const QSize& size, int rounded);
