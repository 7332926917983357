#pragma once

#include "ui/skin/SkinImage.h"
#include "ui/skin/SkinnedControl.h"

#include <QAbstractSlider>
#include <QImage>
#include <QRect>
#include <array>

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
// images are kept at the size they are drawn at (the channel the control's, the thumbs the thumb's, in
// device pixels), decoded again from their files when that size changes. The
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
    // Takes the images from the skin's images (decoded meanwhile), or from the skin file's folder.
    void LoadSkin(CXMLSettings& skin, CSkinImages& images, const QString& section, int x, int y, int width, int height);
    void LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);

    int ThumbLength() const { return m_thumbLength; }
    QRect ThumbRect() const;
    bool IsThumbHot() const { return m_thumbIsHot; }
    bool HasThumbImage() const { return !ThumbImage().isNull(); }
    bool HasHotThumbImage() const { return !HotThumbImage().isNull(); }
    bool HasChannelImage() const { return !ChannelImage().isNull(); }
    // The images as kept for drawing.
    const QImage& ThumbImage() const { return Layer(kThumb); }
    const QImage& HotThumbImage() const { return Layer(kHotThumb); }
    const QImage& ChannelImage() const { return Layer(kChannel); }

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    enum { kThumb, kHotThumb, kChannel, kLayerCount };
    struct ImageLayer {
        QString path; // inside the skin's folder; empty for none
        CSkinPicture source; // still to be taken
        QImage image;
    };

    const QImage& Layer(int layer) const;
    // The device size a layer is drawn at now.
    QSize LayerSize(int layer) const;
    void DrawChannel(QPainter& painter) const;
    void DrawThumb(QPainter& painter) const;
    void SetThumbHot(bool hot);
    void PageTowardsPress();

    int m_thumbLength = kDefaultThumbSize;
    // Taken or decoded again on demand, for the size and scale the control has then.
    mutable std::array<ImageLayer, kLayerCount> m_layers;
    mutable QSize m_layersDevice;
    mutable qreal m_layersScale = 0.0;
    int64_t m_pixelLimit = kSkinImageMinPixels;
    bool m_thumbIsHot = false;
    bool m_dragging = false;
    int m_dragOffset = 0; // press position minus the thumb's centre (left + width / 2)
    int m_pressX = 0;
    int m_pageTimer = 0;
};
