// The version file of the program updater and the texts the play report is built from.

#include "core/Updater.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const QString own = QString::fromUtf8(input.TakeUntil('\n'));
    const QString text = CUpdater::DecodeText(input.TakeRest());
    if (text.size() > 999)
        std::abort();

    qsizetype position = 0;
    const QString version
        = CUpdater::ExtractBetween(text, QStringLiteral("<version>"), QStringLiteral("</version>"), position);
    const QString download
        = CUpdater::ExtractBetween(text, QStringLiteral("<download>"), QStringLiteral("</download>"), position);
    // Newer is a strict order: two versions cannot each be newer than the other, nor one than itself.
    if (CUpdater::IsNewerVersion(version, own) && CUpdater::IsNewerVersion(own, version))
        std::abort();
    if (CUpdater::IsNewerVersion(version, version))
        std::abort();

    const QString escaped = CUpdater::EscapeSegment(CUpdater::StripCredentials(text + download));
    if (escaped.contains(QLatin1Char('/')) || escaped.contains(QLatin1Char('?')) || escaped.contains(QLatin1Char('#')))
        std::abort(); // the title must stay one path segment of the report's address
    return 0;
}
