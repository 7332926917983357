// One frame of the spectrum display (levels, peaks, the composed picture), which the window draws
// every 32 ms: at the normal size and at twice the pixel density.
#include "bench/BenchApplication.h"
#include "ui/controls/SpectrumButton.h"

#include <QPixmap>
#include <benchmark/benchmark.h>
#include <cmath>

namespace
{

void BM_SpectrumFrame(benchmark::State& state)
{
    bench::EnsureApplication("SpectrumBench");
    const qreal scale = qreal(state.range(0));
    QWidget window;
    window.resize(200, 100);
    CSpectrumButton spectrum(&window);
    spectrum.setGeometry(10, 10, 132, 54);
    window.show();
    QPixmap background(window.size() * scale);
    background.fill(Qt::darkGray);
    background.setDevicePixelRatio(scale);
    spectrum.CopyParentBackground(background);

    float levels[CSpectrumButton::kMaxBars];
    int frame = 0;
    for (auto _ : state) {
        for (int i = 0; i < CSpectrumButton::kMaxBars; ++i)
            levels[i] = float(0.5 + 0.45 * std::sin(i * 0.7 + frame * 0.3));
        spectrum.Animate({ levels, true, false }, false, true);
        ++frame;
    }
    benchmark::DoNotOptimize(spectrum.FrameImage().constBits());
}
BENCHMARK(BM_SpectrumFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
