#pragma once

#include "ui/SkinnedControl.h"

#include <QAbstractSlider>
#include <QImage>
#include <QRect>

class CXMLSettings;

// Where the thumb of a horizontal slider lies: thumbLength is the thumb's height (as skins give it),
// its width follows from it; the thumb's centre travels along the control, inset by half its width.
QRect SliderThumbRect(const QSize& client, int thumbLength, int minimum, int maximum, int value);
// The value whose thumb centre lies nearest to x.
int SliderValueAt(const QSize& client, int thumbLength, int minimum, int maximum, int x);
// The channel: a thin groove along the thumb's travel, vertically centred.
QRect SliderChannelRect(const QSize& client, int thumbLength);
// The thumb length of a skin's "ThumbSize" on a screen of dpiX logical pixels per inch.
int ScaledThumbLength(int thumbSize, double dpiX);

// The skinned volume slider (0..100 by default): channel, thumb and hot-thumb images from the skin
// over the window background; without images a plain groove and thumb in the palette's colours. The
// arrow keys step like the platform's track bar: Left and Down first jump 4 down, Up and Right 4 up,
// then Left and Up step 1 down, Right and Down 1 up.
class CSliderCtrlEx : public QAbstractSlider, public CSkinnedControl
{
    Q_OBJECT

public:
    static constexpr int kDefaultThumbSize = 22;
    static constexpr int kKeyJump = 4;

    explicit CSliderCtrlEx(QWidget* parent = nullptr);

    int InitControl();
    void LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);

    int ThumbLength() const { return m_thumbLength; }
    QRect ThumbRect() const;
    bool IsThumbHot() const { return m_thumbIsHot; }
    bool HasThumbImage() const { return !m_thumb.isNull(); }
    bool HasHotThumbImage() const { return !m_hotThumb.isNull(); }
    bool HasChannelImage() const { return !m_channel.isNull(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void DrawChannel(QPainter& painter) const;
    void DrawThumb(QPainter& painter) const;
    void SetThumbHot(bool hot);
    void PageTowardsPress();

    int m_thumbLength = kDefaultThumbSize;
    QImage m_thumb;
    QImage m_hotThumb;
    QImage m_channel;
    bool m_thumbIsHot = false;
    bool m_dragging = false;
    int m_dragOffset = 0; // press position minus the thumb's centre (left + width / 2)
    int m_pressX = 0;
    int m_pageTimer = 0;
};
