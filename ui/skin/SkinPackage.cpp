#include "ui/skin/SkinPackage.h"

#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/ZipLayer.h"

#include <BuildInfo.h>

#include <QFileInfo>
#include <QStringList>

namespace
{

constexpr int kMaxEntries = 1000;

QString SkinsFolder(const QString& programFolder)
{
    QString folder = programFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("skins");
}

// Closes the archive when it goes out of scope.
struct ZipCloser {
    ZipHandle* handle;
    ~ZipCloser()
    {
        if (handle)
            CloseZip(handle);
    }
};

} // namespace

bool HasSkinPackageEnding(const QString& path)
{
    return path.endsWith(QStringLiteral(".zip")) || path.endsWith(QStringLiteral(".kvn"));
}

int IsSkinPackage(const QString& packagePath, QString& folderName)
{
    ZipCloser zip { OpenZip(packagePath) };
    if (!zip.handle)
        return 0;
    ZipEntry entry;
    if (GetZipItem(zip.handle, 0, &entry) != ZIP_OK)
        return 0;
    QString name = entry.name;
    name.replace(u'\\', u'/');
    const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    folderName = parts.isEmpty() ? QString() : parts.first();
    return folderName.endsWith(QStringLiteral(".kvn"), Qt::CaseSensitive) ? 1 : 0;
}

int InstallSkinPackage(const QString& packagePath, const QString& folderName, const QString& programFolder)
{
    ZipCloser zip { OpenZip(packagePath) };
    if (!zip.handle)
        return kSkinInstallFailed;
    const QString base = SkinsFolder(programFolder);
    SetUnzipBaseDir(zip.handle, base);

    // Entries count as the skin's only inside its folder: "MySkin.kvn/..." and not "MySkin.kvnX/...".
    const QString prefix = folderName + u'/';
    bool overwriteConfirmed = false;
    int extracted = 0;
    for (int index = 0; index < kMaxEntries; ++index) {
        ZipEntry entry;
        if (GetZipItem(zip.handle, index, &entry) != ZIP_OK)
            break;
        QString name = entry.name;
        name.replace(u'\\', u'/');
        if (folderName.isEmpty() || !name.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        // One folder for the whole skin, whatever letter case the entries use.
        const QString destination = prefix + name.mid(prefix.size());
        if (!overwriteConfirmed && QFileInfo(base + u'/' + destination).isReadable()) {
            const int answer = MessageBox(
                GetLangString(311), QStringLiteral(KAVRILUNE_PRODUCT_NAME), MB_YESNOCANCEL | MB_ICONQUESTION);
            if (answer != IDYES)
                return kSkinInstallDeclined;
            overwriteConfirmed = true;
        }
        if (UnzipItem(zip.handle, index, destination) != ZIP_OK)
            return kSkinInstallFailed;
        ++extracted;
    }
    return extracted > 0 ? kSkinInstalled : kSkinInstallFailed;
}
