#include "ui/ListImageCtrl.h"

#include "ui/SkinImage.h"

#include <QPainter>

#include <algorithm>

CListImageCtrl::CListImageCtrl(QWidget* parent)
    : QListWidget(parent)
{
}

void CListImageCtrl::InitImageList()
{
    setViewMode(QListView::IconMode);
    setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setUniformItemSizes(true);
    setSpacing(8);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setAcceptDrops(false);
    setWordWrap(true);
}

void CListImageCtrl::AddImage(const QString& imagePath, const QString& label)
{
    if (count() >= kMaxThumbnails)
        return;
    const QImage thumbnail = MakeThumbnail(imagePath, devicePixelRatioF());
    if (thumbnail.isNull())
        return;
    // The same picture when selected: the label shows the selection, the preview keeps its colours.
    const QPixmap pixmap = QPixmap::fromImage(thumbnail);
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Selected);
    addItem(new QListWidgetItem(icon, label));
}

QImage CListImageCtrl::MakeThumbnail(const QString& path, qreal devicePixelRatio)
{
    const qreal scale = std::max(devicePixelRatio, 1.0);
    QImage square(QSize(kThumbnailSize, kThumbnailSize) * scale, QImage::Format_ARGB32_Premultiplied);
    if (square.isNull())
        return square;
    square.setDevicePixelRatio(scale);
    square.fill(Qt::black);

    // Previews come with downloaded skins: read with the skin images' size and memory limits.
    const QImage image = ReadSkinImage(path, scale);
    if (image.isNull())
        return square;
    const QSizeF size = image.deviceIndependentSize();
    if (size.width() <= 0)
        return square;
    const qreal ratio = size.height() / size.width();
    QRect target;
    if (ratio > 1.0) {
        const int width = int(kThumbnailSize / ratio);
        target = QRect((kThumbnailSize - width) / 2, 0, width, kThumbnailSize);
    } else {
        const int height = int(ratio * kThumbnailSize);
        target = QRect(0, (kThumbnailSize - height) / 2, kThumbnailSize, height);
    }
    QPainter painter(&square);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
    return square;
}
