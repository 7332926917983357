#include "ui/controls/ListImageCtrl.h"

#include "ui/skin/SkinImage.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace
{

// Where an image of that size goes in a square of that side: centred, its proportions kept, the
// lengths cut to whole pixels.
QRect FitIntoSquare(const QSize& size, int side)
{
    if (size.isEmpty())
        return QRect();
    const double ratio = double(size.height()) / size.width();
    if (ratio > 1.0) {
        const int width = std::max(1, int(side / ratio));
        return QRect((side - width) / 2, 0, width, side);
    }
    const int height = std::max(1, int(ratio * side));
    return QRect(0, (side - height) / 2, side, height);
}

} // namespace

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

QListWidgetItem* CListImageCtrl::AddImage(const QString& imagePath, const QString& label)
{
    if (count() >= kMaxThumbnails)
        return nullptr;
    const QImage thumbnail = MakeThumbnail(imagePath, devicePixelRatioF());
    if (thumbnail.isNull())
        return nullptr;
    // The same picture when selected: the label shows the selection, the preview keeps its colours.
    const QPixmap pixmap = QPixmap::fromImage(thumbnail);
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Selected);
    auto* item = new QListWidgetItem(icon, label);
    addItem(item);
    return item;
}

QImage CListImageCtrl::ReadPreview(const QString& path, int side)
{
    if (path.isEmpty() || side <= 0 || !QFileInfo(path).isFile())
        return QImage();
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.isEmpty() || declared.width() > kMaxPreviewSide
        || declared.height() > kMaxPreviewSide)
        return QImage();
    const QSize target = FitIntoSquare(declared, side).size();
    // Decoders that can (JPEG) decode straight at the smaller size; the others scale once after decoding.
    reader.setScaledSize(target);
    // The limit is process-wide in Qt; it is set on every read so that nothing else can widen it for us.
    QImageReader::setAllocationLimit(kSkinImageAllocationLimitMiB);
    QImage image;
    if (!reader.read(&image) || image.size() != target)
        return QImage();
    return image;
}

QImage CListImageCtrl::MakeThumbnail(const QString& path, qreal devicePixelRatio)
{
    const qreal scale = std::max(devicePixelRatio, 1.0);
    const int side = int(std::lround(kThumbnailSize * scale));
    QImage square(QSize(side, side), QImage::Format_ARGB32_Premultiplied);
    if (square.isNull())
        return square;
    square.fill(Qt::black);

    QImage image;
    if (scale > 1.0)
        image = ReadPreview(HighDensityImagePath(path), side);
    if (image.isNull())
        image = ReadPreview(path, side);
    if (!image.isNull()) {
        // Decoded at the size it takes in the square: drawn pixel for pixel, centred.
        QPainter painter(&square);
        painter.drawImage(QPoint((side - image.width()) / 2, (side - image.height()) / 2), image);
    }
    square.setDevicePixelRatio(scale);
    return square;
}
