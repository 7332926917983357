// Zip archives as skin packages and the stations updater receive them: every item is unpacked under
// its own name into a base folder that already holds links to a folder beside it. Nothing may appear
// outside the base folder, nothing may be written through the links, and no more bytes may be unpacked
// than the handle allows.

#include "core/ZipLayer.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzScratch.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <cstdlib>
#include <unistd.h>

namespace
{

constexpr uint64_t kItemLimit = 1 << 20;
constexpr uint64_t kTotalLimit = 4 << 20;
constexpr int kMaxItems = 64;

uint64_t BytesUnder(const QString& folder)
{
    uint64_t total = 0;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        if (!file.isSymLink())
            total += uint64_t(file.size());
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const bool withPassword = input.TakeByte() & 1;
    const QString archive = WriteScratchFile(QStringLiteral("archive.zip"), input.TakeRest());

    const QString root = ScratchFolder() + QStringLiteral("unzip/");
    const QString base = root + QStringLiteral("base/");
    const QString outside = root + QStringLiteral("outside/");
    ResetFolder(root);
    QDir().mkpath(base);
    QDir().mkpath(outside);
    if (symlink("../outside", QFile::encodeName(base + QStringLiteral("linkdir")).constData()) != 0
        || symlink("../outside/file", QFile::encodeName(base + QStringLiteral("linkfile")).constData()) != 0)
        std::abort();

    ZipHandle* zip = OpenZip(archive, withPassword ? "secret" : nullptr);
    if (!zip)
        return 0;
    SetUnzipBaseDir(zip, base);
    SetUnzipLimits(zip, kItemLimit, kTotalLimit);
    ZipEntry count;
    if (GetZipItem(zip, -1, &count) == ZIP_OK) {
        for (int i = 0; i < std::min(count.index, kMaxItems); ++i) {
            ZipEntry entry;
            if (GetZipItem(zip, i, &entry) == ZIP_OK)
                UnzipItem(zip, i, entry.name);
        }
        UnzipItem(zip, count.index, QStringLiteral("beyond"));
    }
    CloseZip(zip);

    const QStringList atRoot
        = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (atRoot != QStringList({ QStringLiteral("base"), QStringLiteral("outside") }))
        std::abort(); // something was unpacked beside the base folder
    if (!QDir(outside).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        std::abort(); // something was written through a link
    if (BytesUnder(base) > kTotalLimit)
        std::abort();
    return 0;
}
