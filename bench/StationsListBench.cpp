// The station list's catalogue: loading the shipped stations into title order, one pass of the list's
// worker, and the memory the loaded catalogue takes (and gives back when the list is hidden).
#include "stations/StationCatalogue.h"
#include "stations/StationFilter.h"
#include "stations/StationsListWorker.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace
{

const QString kDatabasePattern = QStringLiteral(KAVRILUNE_BENCH_SOURCE_DIR "/res/Stations/stations*.kvd");
const QString kNoUserFile = QStringLiteral("/nonexistent/mystations.kvd");

// Loads the shipped stations; a figure over none would pass for a very fast list, so the run ends.
void LoadStations(CStationCatalogue& catalogue)
{
    catalogue.Load();
    CStationCatalogue::Lock lock = catalogue.LockUnbounded();
    if (catalogue.Stations().Size() == 0) {
        std::fprintf(stderr, "no stations in %s\n", qPrintable(kDatabasePattern));
        std::exit(EXIT_FAILURE);
    }
}

void ShowAll(CStationCatalogue& catalogue)
{
    std::vector<unsigned>& visible = catalogue.Visible();
    visible.resize(catalogue.Stations().Size());
    for (size_t i = 0; i < visible.size(); ++i)
        visible[i] = unsigned(i);
}

// Load (binary insertion into title order) and the sort of every station by a column: 0 title, 2 genre.
void BM_LoadAndSortCatalogue(benchmark::State& state)
{
    CStationCatalogue catalogue;
    catalogue.SetFiles(kDatabasePattern, kNoUserFile);
    CStationFilter filter;
    filter.sortColumn = int(state.range(0));
    for (auto _ : state) {
        CStationCatalogue::Lock lock = catalogue.LockUnbounded();
        LoadStations(catalogue);
        ShowAll(catalogue);
        filter.Sort(catalogue.Visible(), catalogue.Stations());
        benchmark::DoNotOptimize(catalogue.Visible().data());
    }
    state.counters["stations"] = double(catalogue.Stations().Size());
}
BENCHMARK(BM_LoadAndSortCatalogue)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

// One pass of the worker over the loaded catalogue (search keys already built by the first pass).
void RunPasses(benchmark::State& state, const QString& text, const QStringList& filters)
{
    CStationCatalogue catalogue;
    catalogue.SetFiles(kDatabasePattern, kNoUserFile);
    LoadStations(catalogue);
    CStationsListWorker worker(catalogue, nullptr, 0);
    CStationFilter filter;
    filter.words = CStationFilter::SplitSearchWords(text);
    for (int i = 0; i < 3; ++i)
        filter.columnFilters[size_t(CStationFilter::kFilterableFields[size_t(i)])] = filters.value(i);
    worker.SetFilter(filter);
    worker.SetActive(true);
    CStationCatalogue::Lock lock = catalogue.LockUnbounded();
    worker.RunPass();
    for (auto _ : state)
        worker.RunPass();
    state.counters["shown"] = double(catalogue.Visible().size());
}

void BM_WorkerPass_4Words3Filters_Broad(benchmark::State& state)
{
    RunPasses(state, QStringLiteral("r a d i"), { QStringLiteral("A"), QStringLiteral("R"), QStringLiteral("N") });
}
BENCHMARK(BM_WorkerPass_4Words3Filters_Broad)->Unit(benchmark::kMillisecond);

void BM_WorkerPass_4Words3Filters_Typical(benchmark::State& state)
{
    RunPasses(state, QStringLiteral("rock radio de http"),
        { QStringLiteral("GERMANY"), QStringLiteral("ROCK"), QStringLiteral("GERMAN") });
}
BENCHMARK(BM_WorkerPass_4Words3Filters_Typical)->Unit(benchmark::kMillisecond);

void BM_WorkerPass_Everything(benchmark::State& state)
{
    RunPasses(state, QString(), {});
}
BENCHMARK(BM_WorkerPass_Everything)->Unit(benchmark::kMillisecond);

// Heap in use on this thread's arena: the catalogue is loaded and freed on the calling thread.
size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_CatalogueMemory(benchmark::State& state)
{
    for (auto _ : state) {
        CStationCatalogue catalogue;
        catalogue.SetFiles(kDatabasePattern, kNoUserFile);
        const size_t before = HeapInUse();
        LoadStations(catalogue);
        const size_t loaded = HeapInUse();
        size_t records = 0;
        {
            CStationCatalogue::Lock lock = catalogue.LockUnbounded();
            records = catalogue.Stations().Size();
            catalogue.SearchIndex(); // what the first pass adds: every search key and the index
        }
        const size_t searched = HeapInUse();
        catalogue.ClearStations(); // what hiding the list does
        const size_t freed = HeapInUse();
        size_t left = 0;
        {
            CStationCatalogue::Lock lock = catalogue.LockUnbounded();
            left = catalogue.Stations().Size();
        }
        state.counters["records"] = double(records);
        state.counters["records_freed"] = double(records - left);
        state.counters["loaded_MiB"] = double(loaded - before) / (1024.0 * 1024.0);
        state.counters["bytes_per_record"] = double(loaded - before) / double(records);
        state.counters["searchable_MiB"] = double(searched - before) / (1024.0 * 1024.0);
        state.counters["left_after_hide_KiB"] = double(freed > before ? freed - before : 0) / 1024.0;
    }
}
BENCHMARK(BM_CatalogueMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
