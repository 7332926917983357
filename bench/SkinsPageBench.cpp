// Opening the Skins page with 60 installed skins (50 thumbnails): with previews of the usual size, with
// previews at the largest size a thumbnail is made from, and with previews that declare 5000 x 5000
// pixels in a few kilobytes (refused before decoding).
#include "ui/ListImageCtrl.h"
#include "ui/PropSkins.h"
#include "ui/PropSkinsPage.h"

#include "tests/support/TempProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>
#include <benchmark/benchmark.h>

namespace
{

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "SkinsPageBench";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// A PNG that declares a white picture of that size in a few kilobytes (one bit a pixel).
QByteArray LargePng(int width, int height)
{
    const auto crc = [](const QByteArray& bytes) {
        quint32 value = 0xFFFFFFFFu;
        for (const char byte : bytes) {
            value ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1u)));
        }
        return ~value;
    };
    const auto big = [](quint32 value) {
        QByteArray bytes(4, '\0');
        qToBigEndian(value, bytes.data());
        return bytes;
    };
    const auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray typed = QByteArray(type) + data;
        return big(quint32(data.size())) + typed + big(crc(typed));
    };
    const QByteArray row = QByteArray(1, '\0') + QByteArray((width + 7) / 8, char(0xFF));
    QByteArray header = big(quint32(width)) + big(quint32(height));
    header += QByteArray("\x01\x00\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + chunk("IDAT", qCompress(row.repeated(height), 9).mid(4)) + chunk("IEND", QByteArray());
}

enum Previews { kUsual, kLargest, kBombs };

void BM_ShowSkinsPage(benchmark::State& state)
{
    EnsureApplication();
    const auto previews = Previews(state.range(0));
    testing_support::TempProgramFolder program;
    QByteArray preview;
    if (previews == kBombs) {
        preview = LargePng(5000, 5000);
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
        CPropSkinsPage page(values, &window);
        page.OnInitDialog();
        benchmark::DoNotOptimize(page.SkinList()->count());
    }
}
BENCHMARK(BM_ShowSkinsPage)->Arg(kUsual)->Arg(kLargest)->Arg(kBombs)->Unit(benchmark::kMillisecond);

} // namespace
