// A skin's images as the window meets them: one 33 x 34 button dressed from a skin whose six state
// images are large PNGs, until it has shown each of its six states. "Huge": files of 5700 x 5700
// pixels (137 KB each), which the window refuses; "Large": 1200 x 1200 pixels, decoded down to the
// button's size. Arg: the device pixel ratio of the background.
#include "bench/BenchApplication.h"
#include "ui/controls/GdipButton.h"
#include "ui/skin/Skin.h"

#include "tests/support/SolidPng.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace
{

// A program folder with the skin "B" whose six "Play" images are solid PNGs of side x side pixels.
QString MakeSkin(QTemporaryDir& folder, int side)
{
    const QString base = folder.path() + u'/';
    const QString skin = base + QStringLiteral("skins/B.kvn/");
    QDir().mkpath(skin);
    testing_support::WriteBytes(skin + "skin.kvn", "<?xml version=\"1.0\" ?><XMLConfigSettings/>");
    const QByteArray png = testing_support::SolidPng(side, side, 0xFF3050D0);
    for (const char* name :
        { "Play.png", "Play-hot.png", "Play-pressed.png", "Play-2.png", "Play-2-hot.png", "Play-2-pressed.png" })
        testing_support::WriteBytes(skin + name, png);
    return base;
}

void Look(CGdipButton& button, QImage& target)
{
    QPainter painter(&target);
    button.render(&painter);
}

void ShowEveryState(benchmark::State& state, int side)
{
    bench::EnsureApplication("SkinImageBench");
    const qreal scale = qreal(state.range(0));
    QTemporaryDir folder;
    const QString base = MakeSkin(folder, side);
    QWidget window;
    window.resize(390, 312);
    QPixmap background(window.size() * scale);
    background.fill(Qt::darkGray);
    background.setDevicePixelRatio(scale);
    QImage target(QSize(33, 34) * scale, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(scale);

    for (auto _ : state) {
        CGdipButton button(&window);
        {
            CSkin skin;
            bool expanded = false;
            skin.SetSkinPath(base, QStringLiteral("B"), expanded);
            skin.ApplyButtonSkin(button, QStringLiteral("Play"), 9, 273, 33, 34, true);
        }
        button.CopyParentBackground(background);
        QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
        Look(button, target);
        QApplication::sendEvent(&button, &enter);
        Look(button, target);
        button.setDown(true);
        Look(button, target);
        button.SetAlternate(true);
        Look(button, target);
        button.setDown(false);
        Look(button, target);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        Look(button, target);
    }
    benchmark::DoNotOptimize(target.constBits());
}

void BM_ButtonStatesHuge(benchmark::State& state)
{
    ShowEveryState(state, 5700);
}
BENCHMARK(BM_ButtonStatesHuge)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ButtonStatesLarge(benchmark::State& state)
{
    ShowEveryState(state, 1200);
}
BENCHMARK(BM_ButtonStatesLarge)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
