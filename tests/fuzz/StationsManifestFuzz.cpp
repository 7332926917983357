// The stations manifest as the server sends it: read from its file and searched for the names of the
// stations file and its archive.

#include "core/StationUpdater.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    const QString path = WriteScratchFile(QStringLiteral("Stations/stations.kvdx"), data, size);
    const QString manifest = CStationUpdater::ReadManifest(path);
    if (manifest.size() > 4000 || manifest.contains(QChar(0)))
        std::abort();
    CStationUpdater::GetManifestValue(manifest, QStringLiteral("<BaseFile>"), QStringLiteral("<FileName>"));
    CStationUpdater::GetManifestValue(manifest, QStringLiteral("<BaseFile>"), QStringLiteral("<DownloadName>"));
    return 0;
}
