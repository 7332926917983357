#include "ui/skin/SkinnedControl.h"

#include "core/XMLSettings.h"
#include "ui/skin/SkinValues.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

CSkinnedControl::CSkinnedControl(QWidget* widget)
    : m_widget(widget)
{
}

void CSkinnedControl::CopyParentBackground(const QPixmap& parentBackground)
{
    const qreal scale = parentBackground.isNull() ? m_widget->devicePixelRatioF() : parentBackground.devicePixelRatio();
    const QRect area = m_widget->geometry();
    const QRect source(QPoint(qRound(area.x() * scale), qRound(area.y() * scale)),
        QSize(qRound(area.width() * scale), qRound(area.height() * scale)));
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
    const qreal scale = PaintScale();
    return QSize(qRound(m_widget->width() * scale), qRound(m_widget->height() * scale));
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
    const QRect area = m_widget->rect();
    if (m_hasBackground)
        painter.drawPixmap(area, m_background);
    else
        painter.fillRect(area, m_widget->palette().color(QPalette::Window));
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
