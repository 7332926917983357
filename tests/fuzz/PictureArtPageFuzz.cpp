// Result pages of the image search: the picture address is taken by the marker rule or nothing is.

#include "ui/windows/PictureArtLookup.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString url = CPictureArtLookup::FindPictureUrl(page);
    if (url.size() > 2000)
        std::abort();
    // An address is only ever found behind both markers.
    if (!url.isEmpty() && (!page.contains("id=ires") || !page.contains("target=_blank><img src=")))
        std::abort();
    return 0;
}
