#include "ui/SkinImage.h"

#include <QFileInfo>
#include <QImageReader>

namespace
{

QImage DecodeBounded(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QImage();
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kSkinImageMaxSide || size.height() > kSkinImageMaxSide)
        return QImage();
    // The limit is process-wide in Qt; it is set on every read so that nothing else can widen it for us.
    QImageReader::setAllocationLimit(kSkinImageAllocationLimitMiB);
    QImage image;
    if (!reader.read(&image) || image.size() != size)
        return QImage();
    return image;
}

} // namespace

QString HighDensityImagePath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot <= slash + 1)
        return path + QStringLiteral("@2x");
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QImage ReadSkinImage(const QString& path, qreal devicePixelRatio)
{
    if (devicePixelRatio > 1.0) {
        QImage image = DecodeBounded(HighDensityImagePath(path));
        if (!image.isNull()) {
            image.setDevicePixelRatio(2.0);
            return image;
        }
    }
    return DecodeBounded(path);
}

QPixmap ReadSkinPixmap(const QString& path, qreal devicePixelRatio)
{
    const QImage image = ReadSkinImage(path, devicePixelRatio);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}
