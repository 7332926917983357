#include "ui/skin/SkinnedControl.h"

#include "core/XMLSettings.h"
#include "ui/skin/SkinValues.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTransform>
#include <QWidget>

namespace
{

// Where a picture of deviceSize lies pixel for pixel on the device pixels from the painter's origin on,
// in the painter's own coordinates; null when the painter turns or shears.
QRectF DeviceAlignedRect(const QPainter& painter, const QSize& deviceSize)
{
    const QTransform toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxScale || !toDevice.isInvertible())
        return {};
    const QPointF origin = toDevice.map(QPointF(0, 0));
    return toDevice.inverted().mapRect(QRectF(QPointF(qRound(origin.x()), qRound(origin.y())), QSizeF(deviceSize)));
}

} // namespace

QRect DevicePixelRect(const QRect& logical, qreal scale)
{
    const int left = qRound(logical.x() * scale);
    const int top = qRound(logical.y() * scale);
    const int right = qRound((logical.x() + logical.width()) * scale);
    const int bottom = qRound((logical.y() + logical.height()) * scale);
    return QRect(left, top, right - left, bottom - top);
}

CSkinnedControl::CSkinnedControl(QWidget* widget)
    : m_widget(widget)
{
}

void CSkinnedControl::CopyParentBackground(const QPixmap& parentBackground)
{
    const qreal scale = parentBackground.isNull() ? m_widget->devicePixelRatioF() : parentBackground.devicePixelRatio();
    const QRect source = DevicePixelRect(m_widget->geometry(), scale);
    QPixmap crop(source.size().expandedTo(QSize(1, 1)));
    crop.setDevicePixelRatio(scale);
    crop.fill(m_widget->palette().color(QPalette::Window));
    if (!parentBackground.isNull()) {
        // Device pixels to device pixels: the target is given in the crop's logical units.
        QPainter painter(&crop);
        painter.drawPixmap(QRectF(QPointF(0, 0), QSizeF(source.size()) / scale), parentBackground, QRectF(source));
    }
    m_background = crop;
    m_hasBackground = true;
    OnBackgroundChanged();
    m_widget->update();
}

qreal CSkinnedControl::PaintScale() const
{
    return m_hasBackground ? m_background.devicePixelRatio() : m_widget->devicePixelRatioF();
}

QSize CSkinnedControl::DeviceSize() const
{
    return DevicePixelRect(m_widget->geometry(), PaintScale()).size();
}

QRect CSkinnedControl::PlaceFromSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height)
{
    const QRect rect = SkinRectWithin(ReadSkinRect(skin, section, x, y, width, height), m_widget);
    m_widget->setGeometry(rect);
    return rect;
}

bool CSkinnedControl::ApplyVisibleKey(CXMLSettings& skin, const QString& section)
{
    const bool visible = skin.GetInt(section, QStringLiteral("visible"), 1, true) != 0;
    m_widget->setVisible(visible);
    return visible;
}

void CSkinnedControl::KeepOpaque(const QEvent* event)
{
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        m_widget->setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSkinnedControl::DrawBackground(QPainter& painter) const
{
    if (m_hasBackground) {
        DrawDevicePicture(painter, m_background);
        return;
    }
    const QRectF aligned = DeviceAlignedRect(painter, DeviceSize());
    painter.fillRect(
        aligned.isNull() ? QRectF(m_widget->rect()) : aligned, m_widget->palette().color(QPalette::Window));
}

void CSkinnedControl::DrawDevicePicture(QPainter& painter, const QPixmap& picture) const
{
    const QRectF aligned = DeviceAlignedRect(painter, picture.size());
    painter.drawPixmap(aligned.isNull() ? QRectF(m_widget->rect()) : aligned, picture, QRectF(picture.rect()));
}

void CSkinnedControl::DrawDevicePicture(QPainter& painter, const QImage& picture) const
{
    const QRectF aligned = DeviceAlignedRect(painter, picture.size());
    painter.drawImage(aligned.isNull() ? QRectF(m_widget->rect()) : aligned, picture, QRectF(picture.rect()));
}

QPixmap CSkinnedControl::BackgroundPicture() const
{
    QPixmap picture(DeviceSize().expandedTo(QSize(1, 1)));
    picture.setDevicePixelRatio(PaintScale());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    DrawBackground(painter);
    return picture;
}
