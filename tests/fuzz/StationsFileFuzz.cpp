// Stations files as they come from the catalogue and from the user's own file: every line read as a
// station record, written back as a line and read again.

#include "core/StationItem.h"
#include "core/StdioFileUTF8.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    const QString path = WriteScratchFile(QStringLiteral("Stations/stations.kvd"), data, size);
    std::vector<CStationItem> stations;
    try {
        stations = ReadStationsFile(path, size % 2 == 0);
    } catch (const CFileException&) {
        return 0;
    }
    for (CStationItem& station : stations) {
        station.GetSearchKey();
        for (int n = -1; n <= CStationItem::MaxSlots; ++n)
            station.GetSource(n);

        // A written line must read back as the same record: the user's stations file is rewritten this
        // way on every change.
        const QString line = station.FormatLine();
        CStationItem again;
        again.ParseLine(line);
        if (again.FormatLine() != line)
            std::abort();
    }
    return 0;
}
