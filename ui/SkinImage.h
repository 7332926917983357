#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// Largest image a skin may hold, per side in device pixels, and the most memory one decoded image may
// take. Anything beyond is refused before it is decoded.
constexpr int kSkinImageMaxSide = 8192;
constexpr int kSkinImageAllocationLimitMiB = 128;

// Decodes a skin image safely: the size is checked before decoding and the decoder's allocation is
// bounded. For a device pixel ratio above 1 the "@2x" file beside it ("Play@2x.png" for "Play.png") is
// taken when it exists, and the result carries that ratio. A missing, unreadable or oversized file
// gives a null image.
QImage ReadSkinImage(const QString& path, qreal devicePixelRatio = 1.0);
QPixmap ReadSkinPixmap(const QString& path, qreal devicePixelRatio = 1.0);

// The "@2x" name of an image file: before the extension, or at the end when it has none.
QString HighDensityImagePath(const QString& path);
