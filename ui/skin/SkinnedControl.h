#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>

class CXMLSettings;
class QEvent;
class QImage;
class QPainter;
class QWidget;

// The device pixels a rectangle of logical pixels covers at a scale: each edge rounded to the nearest
// device pixel, as a widget is clipped when it is painted. Under a fractional scale this is not the
// rectangle's size times the scale rounded.
QRect DevicePixelRect(const QRect& logical, qreal scale);

// What every skinned control of the main window shares: it is placed by its skin section, and it draws
// over a copy of the window background under itself, so that it blends into the skin. The window paints
// its background once per skin into one pixmap and hands that pixmap to each control; the control keeps
// its own crop, at the pixmap's device pixel ratio, until the next one.
class CSkinnedControl
{
public:
    explicit CSkinnedControl(QWidget* widget);
    virtual ~CSkinnedControl() = default;

    CSkinnedControl(const CSkinnedControl&) = delete;
    CSkinnedControl& operator=(const CSkinnedControl&) = delete;

    // parentBackground is the parent's whole client area as painted; the control keeps the part under
    // its own geometry.
    void CopyParentBackground(const QPixmap& parentBackground);

    bool HasBackground() const { return m_hasBackground; }
    const QPixmap& Background() const { return m_background; }
    // The device pixel ratio the control draws at: the background's, or the widget's before it has one.
    qreal PaintScale() const;
    // The size of the device pixels the control covers in its parent at PaintScale().
    QSize DeviceSize() const;

protected:
    // Reads the section's rectangle and moves the control there, within its parent's client area.
    QRect PlaceFromSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);
    // Reads "visible" (default 1) and shows or hides the control.
    bool ApplyVisibleKey(CXMLSettings& skin, const QString& section);

    // Draws the background copy over the whole control; before the first copy, the palette's window
    // colour, like a plain control.
    void DrawBackground(QPainter& painter) const;
    // A fresh picture of the control's size at PaintScale() holding the background.
    QPixmap BackgroundPicture() const;
    // Draws a picture of DeviceSize() pixel for pixel onto the device pixels the control covers. Drawn
    // over rect() instead, under a fractional scale it would leave a seam along the edges, where the
    // control's rectangle ends inside a device pixel that is still the control's to paint.
    void DrawDevicePicture(QPainter& painter, const QPixmap& picture) const;
    void DrawDevicePicture(QPainter& painter, const QImage& picture) const;

    // Called after the background copy changed.
    virtual void OnBackgroundChanged() { }

    // A control that paints all of its pixels says so, so that the window under it is not painted with
    // it. The style may take that back when it polishes the control (Fusion does for buttons and
    // sliders): the control's event handler passes every event here to keep it.
    void KeepOpaque(const QEvent* event);

    QWidget* Widget() const { return m_widget; }

private:
    QWidget* m_widget;
    QPixmap m_background;
    bool m_hasBackground = false;
};
