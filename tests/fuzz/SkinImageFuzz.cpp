// Images of a skin (PNG, JPEG and whatever else the image plug-ins read): decoded within the size and
// memory limits or refused.

#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzScratch.h"
#include "ui/SkinImage.h"

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
    static const char* const names[] = { "Play.png", "Play.jpg", "Play.bmp", "Play.gif", "Play" };
    const QString name = QString::fromLatin1(names[kind % 5]);
    const QString path = WriteScratchFile(QStringLiteral("skin/") + name, input.TakeRest());

    const QImage image = ReadSkinImage(path, (kind & 0x80) ? 2.0 : 1.0);
    if (!image.isNull()
        && (image.width() > kSkinImageMaxSide || image.height() > kSkinImageMaxSide
            || image.sizeInBytes() > qsizetype(kSkinImageAllocationLimitMiB) << 20))
        std::abort();
    return 0;
}
