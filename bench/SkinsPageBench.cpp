// Opening the Skins page with 60 installed skins (50 thumbnails): with previews of the usual size, with
// previews at the largest size a thumbnail is made from, and with previews that declare 5000 x 5000
// pixels in a few kilobytes (refused before decoding).
#include "bench/BenchApplication.h"
#include "ui/controls/ListImageCtrl.h"
#include "ui/options/PropSkins.h"
#include "ui/options/SkinsPage.h"

#include "tests/support/SolidPng.h"
#include "tests/support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace
{

enum Previews { kUsual, kLargest, kBombs };

void BM_ShowSkinsPage(benchmark::State& state)
{
    bench::EnsureApplication("SkinsPageBench");
    const auto previews = Previews(state.range(0));
    testing_support::TempProgramFolder program;
    QByteArray preview;
    if (previews == kBombs) {
        preview = testing_support::SolidPng(5000, 5000, 0xFFFFFFFFu);
    } else {
        // Noise keeps the decoder from any shortcut.
        const int side = previews == kUsual ? 195 : CListImageCtrl::kMaxPreviewSide;
        QImage image(side, previews == kUsual ? 156 : side, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = QRandomGenerator::global()->generate();
        }
        image.save(program.FilePath("preview.png"));
        QFile file(program.FilePath("preview.png"));
        file.open(QIODevice::ReadOnly);
        preview = file.readAll();
    }
    for (int i = 0; i < 60; ++i) {
        const QString folder = program.FilePath(QStringLiteral("skins/Skin%1.kvn").arg(i, 2, 10, QLatin1Char('0')));
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/SkinPreview.png"));
        file.open(QIODevice::WriteOnly);
        file.write(preview);
    }
    CPropSkins values;
    values.SetSettingsFile(program.FilePath("Kavrilune.xml"));
    QWidget window;
    window.resize(560, 470);
    window.show();
    for (auto _ : state) {
        CSkinsPage page(values, &window);
        page.OnInitDialog();
        benchmark::DoNotOptimize(page.SkinList()->count());
    }
}
BENCHMARK(BM_ShowSkinsPage)->Arg(kUsual)->Arg(kLargest)->Arg(kBombs)->Unit(benchmark::kMillisecond);

} // namespace
