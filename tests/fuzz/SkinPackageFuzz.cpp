// Skin packages dropped on the window: recognised by their first entry and unpacked into the skins
// folder of the program folder, which already holds a link to a folder beside it. Nothing may appear
// outside the skin's own folder, and nothing may be written through the link.

#include "core/MessageBox.h"
#include "tests/fuzz/FuzzScratch.h"
#include "ui/skin/SkinPackage.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    static const bool answered = [] {
        // Every "overwrite?" question is answered yes, so that the whole package is unpacked.
        SetMessageBoxHandler([](const QString&, const QString&, unsigned) { return int(IDYES); });
        return true;
    }();
    (void)answered;

    const QString archive = WriteScratchFile(QStringLiteral("package.zip"), data, size);
    const QString program = ScratchFolder() + QStringLiteral("program/");
    const QString outside = ScratchFolder() + QStringLiteral("outside/");
    ResetFolder(program);
    ResetFolder(outside);
    QDir().mkpath(program + QStringLiteral("skins"));
    if (symlink("../../outside", QFile::encodeName(program + QStringLiteral("skins/Linked.kvn")).constData()) != 0)
        std::abort();

    QString folderName;
    if (IsSkinPackage(archive, folderName) != 1)
        return 0;
    InstallSkinPackage(archive, folderName, program);

    if (!QDir(outside).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        std::abort(); // written through the link
    const QString skinFolder = QDir::cleanPath(program + QStringLiteral("skins/") + folderName) + QLatin1Char('/');
    QDirIterator entries(
        program, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (path == program + QStringLiteral("skins") || path == program + QStringLiteral("skins/Linked.kvn"))
            continue;
        if (!(path + QLatin1Char('/')).startsWith(skinFolder, Qt::CaseInsensitive))
            std::abort(); // unpacked beside the skin's folder
    }
    return 0;
}
