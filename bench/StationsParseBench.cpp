// Parses the whole shipped catalogue line by line and computes every search key.
#include "core/StationItem.h"
#include "core/StdioFileUTF8.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace
{

const QString kCatalogue = QStringLiteral(KAVRILUNE_BENCH_SOURCE_DIR "/res/Stations/stations.kvd");

// A figure over no stations would pass for a very fast parse: the run ends instead.
[[noreturn]] void NoStations()
{
    std::fprintf(stderr, "no stations in %s\n", qPrintable(kCatalogue));
    std::exit(EXIT_FAILURE);
}

QStringList LoadCatalogueLines()
{
    CStdioFileUTF8 file(kCatalogue, CStdioFileUTF8::modeRead);
    QStringList lines;
    QString line;
    file.ReadString(line);
    while (file.ReadString(line))
        lines.append(line);
    if (lines.isEmpty())
        NoStations();
    return lines;
}

void BM_ParseCatalogue(benchmark::State& state)
{
    const QStringList lines = LoadCatalogueLines();
    for (auto _ : state) {
        CStationItem item;
        for (const QString& line : lines) {
            item.ParseLine(line);
            benchmark::DoNotOptimize(item.GetSearchKey());
        }
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
    state.counters["stations/s"]
        = benchmark::Counter(double(state.iterations() * lines.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseCatalogue)->Unit(benchmark::kMillisecond);

void BM_ReadAndParseCatalogueFile(benchmark::State& state)
{
    size_t count = 0;
    for (auto _ : state) {
        auto stations = ReadStationsFile(kCatalogue, false);
        if (stations.empty())
            NoStations();
        for (CStationItem& station : stations)
            benchmark::DoNotOptimize(station.GetSearchKey());
        count += stations.size();
    }
    state.counters["stations/s"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadAndParseCatalogueFile)->Unit(benchmark::kMillisecond);

} // namespace
