// Images of a skin (PNG, JPEG and whatever else the image plug-ins read): decoded within the size and
// memory limits or refused; asked for a target size and a pixel limit, never larger than the target
// and never from a file beyond the limit.

#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzScratch.h"
#include "ui/skin/SkinImage.h"

#include <QGuiApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const uint8_t kind = input.TakeByte();
    // The same byte says whether the read is bounded, and by what: a button's size or a tiny one, the
    // smallest limit of a window or a tiny one.
    const bool bounded = (kind & 0x40) != 0;
    const QSize target = (kind & 0x20) ? QSize(33, 34) : QSize(7, 5);
    const int64_t maxPixels = (kind & 0x10) ? kSkinImageMinPixels : 4096;
    static const char* const names[] = { "Play.png", "Play.jpg", "Play.bmp", "Play.gif", "Play" };
    const QString name = QString::fromLatin1(names[kind % 5]);
    const QString path = WriteScratchFile(QStringLiteral("skin/") + name, input.TakeRest());

    const qreal scale = (kind & 0x80) ? 2.0 : 1.0;
    if (bounded) {
        const QImage image = ReadSkinImage(path, scale, target, maxPixels);
        if (!image.isNull() && (image.width() > target.width() || image.height() > target.height()))
            std::abort();
        // Unscaled, the image is the file: it must be within the limit.
        if (!image.isNull() && image.size() != target && int64_t(image.width()) * image.height() > maxPixels)
            std::abort();
        return 0;
    }
    const QImage image = ReadSkinImage(path, scale);
    if (!image.isNull()
        && (image.width() > kSkinImageMaxSide || image.height() > kSkinImageMaxSide
            || image.sizeInBytes() > qsizetype(kSkinImageAllocationLimitMiB) << 20))
        std::abort();
    return 0;
}
