// Reads every key of a settings file holding 1,000 keys through one settings object, the way an option
// page or a skin reads its values: the first access parses the file, every read seeks its element.
#include "core/XMLSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace
{

constexpr int KEY_COUNT = 1000;

QString KeyName(int i)
{
    return QStringLiteral("Key_%1").arg(i);
}

// 1,000 keys in ten sections of a hundred, indented like a hand-edited file.
QString WriteSettingsFile(const QTemporaryDir& dir)
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<XMLConfigSettings>\n";
    for (int section = 0; section < 10; ++section) {
        text += "  <Section" + QByteArray::number(section) + ">\n";
        for (int i = section * 100; i < section * 100 + 100; ++i)
            text += "    <" + KeyName(i).toUtf8() + ">value " + QByteArray::number(i) + "</" + KeyName(i).toUtf8()
                + ">\n";
        text += "  </Section" + QByteArray::number(section) + ">\n";
    }
    text += "</XMLConfigSettings>\n";
    const QString path = dir.filePath(QStringLiteral("settings.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

void BM_ReadThousandKeysWithOneObject(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = WriteSettingsFile(dir);
    if (path.isEmpty()) {
        state.SkipWithError("cannot write the settings file");
        return;
    }
    QStringList sections;
    QStringList keys;
    for (int i = 0; i < KEY_COUNT; ++i) {
        sections.append(QStringLiteral("Section%1").arg(i / 100));
        keys.append(KeyName(i));
    }
    int64_t found = 0;
    for (auto _ : state) {
        CXMLSettings settings(path);
        for (int i = 0; i < KEY_COUNT; ++i)
            found += !settings.GetString(sections[i], keys[i], QString(), false).isEmpty();
    }
    if (found != int64_t(state.iterations()) * KEY_COUNT)
        state.SkipWithError("a key was not found");
    state.SetItemsProcessed(state.iterations() * KEY_COUNT);
    state.counters["s/key"] = benchmark::Counter(double(state.iterations()) * KEY_COUNT,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_ReadThousandKeysWithOneObject)->Unit(benchmark::kMillisecond);

} // namespace
