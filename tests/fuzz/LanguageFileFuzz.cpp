// Language files: loaded (which adds every missing key and saves), then loaded again, which must give
// the same texts.

#include "core/Localization.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    const QString folder = ScratchFolder() + QStringLiteral("lang/");
    WriteScratchFile(QStringLiteral("lang/Fuzz.lng"), data, size);

    CLocalization first;
    first.m_languageFolder = folder;
    first.m_fileName = QStringLiteral("Fuzz.lng");
    first.LoadStrings();

    CLocalization second;
    second.m_languageFolder = folder;
    second.m_fileName = first.m_fileName;
    second.LoadStrings();
    if (second.m_texts != first.m_texts)
        std::abort();
    return 0;
}
