#include "ui/controls/SliderCtrlEx.h"

#include "core/XMLSettings.h"
#include "ui/skin/SkinImage.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimerEvent>
#include <algorithm>

namespace
{

// Thumb lengths a skin may ask for, in logical pixels.
constexpr int kMinThumbSize = 1;
constexpr int kMaxThumbSize = 256;
// Holding the mouse on the channel pages once, then again at this pace until the thumb is there.
constexpr int kPageDelayMs = 500;
constexpr int kPageRepeatMs = 100;

int ThumbWidth(const QSize& client, int thumbLength)
{
    return std::clamp(thumbLength / 2 + 1, 1, std::max(1, client.width()));
}

} // namespace

QRect SliderThumbRect(const QSize& client, int thumbLength, int minimum, int maximum, int value)
{
    const int thumbWidth = ThumbWidth(client, thumbLength);
    const int thumbHeight = std::clamp(thumbLength, 1, std::max(1, client.height()));
    const int travel = std::max(0, client.width() - thumbWidth);
    const int range = maximum - minimum;
    const int offset = std::clamp(value, std::min(minimum, maximum), std::max(minimum, maximum)) - minimum;
    const int left = range == 0 ? 0 : int((int64_t(offset) * travel + range / 2) / range);
    return QRect(left, (client.height() - thumbHeight) / 2, thumbWidth, thumbHeight);
}

int SliderValueAt(const QSize& client, int thumbLength, int minimum, int maximum, int x)
{
    const int thumbWidth = ThumbWidth(client, thumbLength);
    const int travel = client.width() - thumbWidth;
    if (travel <= 0 || maximum <= minimum)
        return minimum;
    const int left = std::clamp(x - thumbWidth / 2, 0, travel);
    return minimum + int((int64_t(left) * (maximum - minimum) + travel / 2) / travel);
}

QRect SliderChannelRect(const QSize& client, int thumbLength)
{
    const int thumbWidth = ThumbWidth(client, thumbLength);
    return QRect(thumbWidth / 2, client.height() / 2 - 2, std::max(0, client.width() - thumbWidth), 4);
}

int ScaledThumbLength(int thumbSize, double dpiX)
{
    const int size = std::clamp(thumbSize, kMinThumbSize, kMaxThumbSize);
    return std::max(1, int(size * dpiX / 96.0));
}

CSliderCtrlEx::CSliderCtrlEx(QWidget* parent)
    : QAbstractSlider(parent)
    , CSkinnedControl(this)
{
    setOrientation(Qt::Horizontal);
    setRange(0, 100);
    setSingleStep(1);
    setPageStep(20);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    InitControl();
}

int CSliderCtrlEx::InitControl()
{
    m_thumbLength = kDefaultThumbSize;
    update();
    return 1;
}

void CSliderCtrlEx::LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height)
{
    CSkinImages images(skin.GetFolder());
    LoadSkin(skin, images, section, x, y, width, height);
}

void CSliderCtrlEx::LoadSkin(
    CXMLSettings& skin, CSkinImages& images, const QString& section, int x, int y, int width, int height)
{
    PlaceFromSkin(skin, section, x, y, width, height);
    ApplyVisibleKey(skin, section);
    const int thumbSize = skin.GetInt(section, QStringLiteral("ThumbSize"), kDefaultThumbSize, true);
    const double dpiX = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    m_thumbLength = ScaledThumbLength(thumbSize, dpiX);

    m_layersDevice = DeviceSize();
    m_layersScale = PaintScale();
    m_pixelLimit = images.PixelLimit();
    auto take = [&](int layer, const char* key, const char* defaultName) {
        const QString name = skin.GetString(section, QString::fromLatin1(key), QString::fromLatin1(defaultName), true);
        ImageLayer& target = m_layers[layer];
        target.path = SkinFilePath(images.Folder(), name);
        target.source = images.Request(name, LayerSize(layer), m_layersScale);
        target.image = QImage();
    };
    take(kThumb, "ImageThumb", "VolumeThumb.png");
    take(kHotThumb, "ImageThumbHot", "VolumeThumbHot.png");
    take(kChannel, "ImageChannel", "VolumeChannel.png");
    update();
}

QSize CSliderCtrlEx::LayerSize(int layer) const
{
    const qreal scale = PaintScale();
    const QSize logical = layer == kChannel ? size() : ThumbRect().size();
    return QSize(qRound(logical.width() * scale), qRound(logical.height() * scale)).expandedTo(QSize(1, 1));
}

const QImage& CSliderCtrlEx::Layer(int layer) const
{
    const QSize device = DeviceSize();
    const qreal scale = PaintScale();
    if (device != m_layersDevice || scale != m_layersScale) {
        // Resized or moved to another density: each image again from its file, at the new size.
        m_layersDevice = device;
        m_layersScale = scale;
        for (int i = 0; i < kLayerCount; ++i) {
            ImageLayer& each = m_layers[i];
            each.source = CSkinPicture();
            each.image = each.path.isEmpty() ? QImage() : ReadSkinImage(each.path, scale, LayerSize(i), m_pixelLimit);
        }
    }
    ImageLayer& wanted = m_layers[layer];
    if (wanted.source.IsRequested()) {
        wanted.image = wanted.source.Image();
        wanted.source = CSkinPicture();
    }
    return wanted.image;
}

QRect CSliderCtrlEx::ThumbRect() const
{
    return SliderThumbRect(size(), m_thumbLength, minimum(), maximum(), sliderPosition());
}

QSize CSliderCtrlEx::sizeHint() const
{
    return QSize(107, 33);
}

bool CSliderCtrlEx::event(QEvent* event)
{
    const bool handled = QAbstractSlider::event(event);
    KeepOpaque(event);
    return handled;
}

void CSliderCtrlEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawChannel(painter);
    DrawThumb(painter);
}

// The background copy, then the channel image over the whole control, or a plain groove.
void CSliderCtrlEx::DrawChannel(QPainter& painter) const
{
    DrawBackground(painter);
    const QImage& channel = ChannelImage();
    if (!channel.isNull()) {
        painter.drawImage(QRectF(rect()), channel, QRectF(channel.rect()));
        return;
    }
    const QRect groove = SliderChannelRect(size(), m_thumbLength).adjusted(0, -2, -1, 1);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(groove);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(groove.adjusted(1, 1, -1, -1));
    painter.restore();
}

void CSliderCtrlEx::DrawThumb(QPainter& painter) const
{
    const QRect thumb = ThumbRect();
    const QImage& image = m_thumbIsHot && !HotThumbImage().isNull() ? HotThumbImage() : ThumbImage();
    if (!image.isNull()) {
        painter.drawImage(QRectF(thumb), image, QRectF(image.rect()));
        return;
    }
    painter.save();
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(palette().color(m_thumbIsHot || isSliderDown() ? QPalette::Midlight : QPalette::Button));
    painter.drawRoundedRect(QRectF(thumb).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter.restore();
}

void CSliderCtrlEx::SetThumbHot(bool hot)
{
    if (hot == m_thumbIsHot)
        return;
    m_thumbIsHot = hot;
    update();
}

void CSliderCtrlEx::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Left || key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_Right) {
        const int jump = (key == Qt::Key_Left || key == Qt::Key_Down) ? -kKeyJump : kKeyJump;
        {
            // The jump is silent; the step that follows tells the owner about the final position.
            const QSignalBlocker blocker(this);
            setValue(value() + jump);
        }
        update();
    }
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        triggerAction(SliderSingleStepSub);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        triggerAction(SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        triggerAction(SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        triggerAction(SliderPageStepAdd);
        break;
    case Qt::Key_Home:
        triggerAction(SliderToMinimum);
        break;
    case Qt::Key_End:
        triggerAction(SliderToMaximum);
        break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}

void CSliderCtrlEx::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint position = event->position().toPoint();
    const QRect thumb = ThumbRect();
    if (thumb.contains(position)) {
        m_dragging = true;
        m_dragOffset = position.x() - (thumb.left() + thumb.width() / 2);
        setSliderDown(true);
    } else {
        m_pressX = position.x();
        PageTowardsPress();
        if (m_pageTimer == 0)
            m_pageTimer = startTimer(kPageDelayMs);
    }
    event->accept();
}

void CSliderCtrlEx::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_dragging)
        setSliderPosition(SliderValueAt(size(), m_thumbLength, minimum(), maximum(), position.x() - m_dragOffset));
    else if (m_pageTimer != 0)
        m_pressX = position.x();
    SetThumbHot(ThumbRect().contains(position));
}

void CSliderCtrlEx::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_pageTimer != 0) {
        killTimer(m_pageTimer);
        m_pageTimer = 0;
    }
    if (m_dragging) {
        m_dragging = false;
        setSliderDown(false);
    }
    SetThumbHot(ThumbRect().contains(event->position().toPoint()));
}

// The owner's window turns the wheel into volume steps of its own; the slider leaves it to it.
void CSliderCtrlEx::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

void CSliderCtrlEx::leaveEvent(QEvent* event)
{
    SetThumbHot(false);
    QAbstractSlider::leaveEvent(event);
}

void CSliderCtrlEx::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_pageTimer) {
        QAbstractSlider::timerEvent(event);
        return;
    }
    killTimer(m_pageTimer);
    m_pageTimer = ThumbRect().contains(QPoint(m_pressX, height() / 2)) ? 0 : startTimer(kPageRepeatMs);
    if (m_pageTimer != 0)
        PageTowardsPress();
}

void CSliderCtrlEx::PageTowardsPress()
{
    const QRect thumb = ThumbRect();
    if (m_pressX < thumb.left())
        triggerAction(SliderPageStepSub);
    else if (m_pressX > thumb.right())
        triggerAction(SliderPageStepAdd);
}
