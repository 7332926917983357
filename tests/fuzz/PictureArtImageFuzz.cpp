// Downloaded pictures for the album-art window: decoded within the size and memory limits or refused.

#include "ui/windows/PictureArtLookup.h"

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
    // The download stops at the picture limit; nothing longer ever reaches the decoder.
    const size_t length = std::min<size_t>(size, size_t(CPictureArtLookup::kPictureLimit));
    const QImage picture
        = CPictureArtLookup::DecodePicture(QByteArray(reinterpret_cast<const char*>(data), qsizetype(length)));
    if (!picture.isNull()
        && (picture.width() > CPictureArtLookup::kMaxPictureSide
            || picture.height() > CPictureArtLookup::kMaxPictureSide
            || picture.sizeInBytes() > qsizetype(CPictureArtLookup::kMaxPictureMiB) << 20))
        std::abort();
    return 0;
}
