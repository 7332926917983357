#include "ui/skin/SkinPackage.h"

#include "core/MessageBox.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestZipWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::ReadBytes;
using testing_support::ScriptedMessageBoxes;
using testing_support::TempProgramFolder;
using testing_support::TestZipItem;
using testing_support::TestZipWriter;

namespace
{

class SkinPackageTest : public ::testing::Test
{
protected:
    // A package holding the given entries, each with its name as its content.
    QString Package(const QList<QByteArray>& names, const QByteArray& link = QByteArray())
    {
        const QString path = scratch.filePath(QStringLiteral("package%1.zip").arg(++packages));
        TestZipWriter zip(path);
        for (const QByteArray& name : names) {
            TestZipItem item;
            item.name = name;
            item.data = name.endsWith('/') ? QByteArray() : name;
            EXPECT_TRUE(zip.Add(item));
        }
        if (!link.isEmpty()) {
            TestZipItem item;
            item.name = link;
            item.data = "/etc/passwd";
            item.hostSystem = 3;
            item.externalAttributes = TestZipWriter::UnixAttributes(0120777);
            EXPECT_TRUE(zip.Add(item));
        }
        EXPECT_TRUE(zip.Close());
        return path;
    }

    QString Installed(const QString& name) const { return program.Path() + QStringLiteral("skins/") + name; }

    TempProgramFolder program;
    QTemporaryDir scratch;
    int packages = 0;
};

TEST_F(SkinPackageTest, APackageStartsWithAFolderEndingInKvn)
{
    QString folder;
    EXPECT_EQ(IsSkinPackage(Package({ "MySkin.kvn/", "MySkin.kvn/skin.kvn" }), folder), 1);
    EXPECT_EQ(folder, "MySkin.kvn");
    EXPECT_EQ(IsSkinPackage(Package({ "MySkin.kvn/skin.kvn" }), folder), 1);
    EXPECT_EQ(folder, "MySkin.kvn");

    EXPECT_EQ(IsSkinPackage(Package({ "MySkin.KVN/", "MySkin.KVN/skin.kvn" }), folder), 0);
    EXPECT_EQ(IsSkinPackage(Package({ "readme.txt", "MySkin.kvn/skin.kvn" }), folder), 0);
    const QString notZip = scratch.filePath("plain.zip");
    ASSERT_TRUE(testing_support::WriteBytes(notZip, "not a zip"));
    EXPECT_EQ(IsSkinPackage(notZip, folder), 0);
}

TEST_F(SkinPackageTest, OnlyTheSkinsOwnFolderIsUnpackedIntoSkins)
{
    ScriptedMessageBoxes boxes;
    const QString package
        = Package({ "MySkin.kvn/", "MySkin.kvn/skin.kvn", "MySkin.kvn/img/Play.png", "MySkin.kvnX/evil.png",
            "Other.kvn/skin.kvn", "MySkin.kvn/../../escaped.txt", "escaped2.txt", "mYsKiN.KVN/Exit.png" });
    EXPECT_EQ(InstallSkinPackage(package, "MySkin.kvn", program.Path()), kSkinInstalled);
    EXPECT_TRUE(boxes.texts.isEmpty());

    EXPECT_EQ(ReadBytes(Installed("MySkin.kvn/skin.kvn")), "MySkin.kvn/skin.kvn");
    EXPECT_EQ(ReadBytes(Installed("MySkin.kvn/img/Play.png")), "MySkin.kvn/img/Play.png");
    EXPECT_EQ(ReadBytes(Installed("MySkin.kvn/Exit.png")), "mYsKiN.KVN/Exit.png");
    EXPECT_FALSE(QFileInfo::exists(Installed("MySkin.kvnX")));
    EXPECT_FALSE(QFileInfo::exists(Installed("Other.kvn")));
    EXPECT_FALSE(QFileInfo::exists(Installed("escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(program.FilePath("escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(program.FilePath("escaped2.txt")));
    EXPECT_FALSE(QFileInfo::exists(program.FilePath("Skins")));
}

TEST_F(SkinPackageTest, ALinkInsideTheSkinFailsTheInstallationWithoutWritingThroughIt)
{
    ScriptedMessageBoxes boxes;
    const QString package = Package({ "Linked.kvn/", "Linked.kvn/skin.kvn" }, "Linked.kvn/bg.png");
    EXPECT_EQ(InstallSkinPackage(package, "Linked.kvn", program.Path()), kSkinInstallFailed);
    EXPECT_TRUE(QFileInfo::exists(Installed("Linked.kvn/skin.kvn")));
    EXPECT_FALSE(QFileInfo(Installed("Linked.kvn/bg.png")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(Installed("Linked.kvn/bg.png")));

    EXPECT_EQ(InstallSkinPackage(Package({ "Else.kvn/a" }), "Missing.kvn", program.Path()), kSkinInstallFailed);
    EXPECT_EQ(InstallSkinPackage(scratch.filePath("none.zip"), "Else.kvn", program.Path()), kSkinInstallFailed);
}

TEST_F(SkinPackageTest, ExistingFilesAreOverwrittenAfterOneQuestion)
{
    const QString package = Package({ "Again.kvn/", "Again.kvn/a.png", "Again.kvn/b.png", "Again.kvn/c.png" });
    {
        ScriptedMessageBoxes boxes;
        ASSERT_EQ(InstallSkinPackage(package, "Again.kvn", program.Path()), kSkinInstalled);
    }
    ASSERT_TRUE(QFile::remove(Installed("Again.kvn/c.png")));
    ASSERT_TRUE(testing_support::WriteBytes(Installed("Again.kvn/a.png"), "changed"));

    {
        ScriptedMessageBoxes boxes([](const QString&, unsigned type) {
            EXPECT_EQ(type, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION));
            return IDYES;
        });
        EXPECT_EQ(InstallSkinPackage(package, "Again.kvn", program.Path()), kSkinInstalled);
        EXPECT_EQ(boxes.texts.size(), 1);
        EXPECT_EQ(ReadBytes(Installed("Again.kvn/a.png")), "Again.kvn/a.png");
        EXPECT_TRUE(QFileInfo::exists(Installed("Again.kvn/c.png")));
    }

    const QString fresh = Package({ "Fresh.kvn/x.png", "Fresh.kvn/y.png", "Fresh.kvn/z.png" });
    ASSERT_TRUE(QDir().mkpath(Installed("Fresh.kvn")));
    ASSERT_TRUE(testing_support::WriteBytes(Installed("Fresh.kvn/y.png"), "mine"));
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDNO; });
    EXPECT_EQ(InstallSkinPackage(fresh, "Fresh.kvn", program.Path()), kSkinInstallDeclined);
    EXPECT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(ReadBytes(Installed("Fresh.kvn/x.png")), "Fresh.kvn/x.png") << "entries before the question stay";
    EXPECT_EQ(ReadBytes(Installed("Fresh.kvn/y.png")), "mine");
    EXPECT_FALSE(QFileInfo::exists(Installed("Fresh.kvn/z.png")));
}

} // namespace
