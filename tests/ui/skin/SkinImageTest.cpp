#include "ui/skin/SkinImage.h"

#include "ui/skin/ListColor.h"
#include "ui/skin/Skin.h"

#include "tests/support/SolidPng.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::TempProgramFolder;
using testing_support::WriteSolidPng;

namespace
{

class SkinImageTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(Folder())); }

    QString Folder() const { return program.Path() + QStringLiteral("skins/T.kvn/"); }

    TempProgramFolder program;
};

TEST(SolidPngTest, ASmallFileDeclaresAHugePicture)
{
    const QByteArray png = testing_support::SolidPng(5700, 5700, QColor(Qt::red).rgba());
    EXPECT_LT(png.size(), 160 * 1024);
    QTemporaryDir folder;
    const QString path = folder.filePath("bomb.png");
    ASSERT_TRUE(testing_support::WriteBytes(path, png));
    EXPECT_EQ(QImageReader(path).size(), QSize(5700, 5700));

    ASSERT_TRUE(WriteSolidPng(folder.filePath("small.png"), 3, 2, QColor(10, 20, 30).rgba()));
    const QImage small(folder.filePath("small.png"));
    ASSERT_EQ(small.size(), QSize(3, 2));
    EXPECT_EQ(small.pixelColor(2, 1), QColor(10, 20, 30));
}

// Files within the per-file limits, yet far more than the window shows or than a skin may cost in all.
TEST_F(SkinImageTest, ImagesAreDecodedAtTheirDrawnSizeWithinWhatTheWindowShowsAndTheSkinsBudget)
{
    ASSERT_TRUE(WriteSolidPng(Folder() + "Wide.png", 1500, 1500, QColor(Qt::green).rgba()));
    const QSize window(390, 312);
    ASSERT_GT(int64_t(1500) * 1500, SkinImagePixelLimit(window));

    CSkinImages shown(Folder(), window);
    EXPECT_TRUE(shown.Request("Wide.png", QSize(33, 34), 1.0).Image().isNull()) << "far beyond the window";
    EXPECT_EQ(shown.Refused(), 1);
    EXPECT_EQ(shown.Decodes(), 0);

    CSkinImages screen(Folder());
    const QImage scaled = screen.Request("Wide.png", QSize(33, 34), 1.0).Image();
    EXPECT_EQ(scaled.size(), QSize(33, 34)) << "decoded straight down to the size it is drawn at";
    EXPECT_EQ(scaled.pixelColor(16, 16), QColor(Qt::green));
    const QImage small = screen.Request("Wide.png", QSize(2000, 2000), 1.0).Image();
    EXPECT_EQ(small.size(), QSize(1500, 1500)) << "never enlarged";
    EXPECT_TRUE(screen.Request("Wide.png", QSize(0, 0), 1.0).Image().isNull()) << "an empty target draws nothing";
    EXPECT_EQ(screen.Decodes(), 2);
    EXPECT_EQ(screen.Request("Wide.png", QSize(33, 34), 1.0).Image().size(), QSize(33, 34));
    EXPECT_EQ(screen.Hits(), 1);

    // Twenty different files of 1000 x 1000: the skin's budget takes a dozen of them.
    const QString one = Folder() + "Part0.png";
    ASSERT_TRUE(WriteSolidPng(one, 1000, 1000, QColor(Qt::blue).rgba()));
    for (int i = 1; i < 20; ++i)
        ASSERT_TRUE(QFile::copy(one, Folder() + QStringLiteral("Part%1.png").arg(i)));
    CSkinImages budget(Folder());
    int decoded = 0;
    for (int i = 0; i < 20; ++i)
        decoded += budget.Request(QStringLiteral("Part%1.png").arg(i), QSize(40, 40), 1.0).Image().isNull() ? 0 : 1;
    EXPECT_EQ(decoded, int(kSkinDecodeBudgetBytes / (1000 * 1000 * 4)));
    EXPECT_EQ(budget.Refused(), 20 - decoded);
    EXPECT_LE(budget.BudgetUsed(), kSkinDecodeBudgetBytes);
}

TEST_F(SkinImageTest, ImageNamesStayInsideTheSkinsFolder)
{
    ASSERT_TRUE(WriteSolidPng(Folder() + "In.png", 4, 4, QColor(Qt::red).rgba()));
    ASSERT_TRUE(QDir().mkpath(program.Path() + "skins/Other.kvn"));
    ASSERT_TRUE(WriteSolidPng(program.Path() + "skins/Other.kvn/Out.png", 4, 4, QColor(Qt::red).rgba()));
    ASSERT_TRUE(WriteSolidPng(program.Path() + "Out.png", 4, 4, QColor(Qt::red).rgba()));
    ASSERT_TRUE(QFile::link(program.Path() + "Out.png", Folder() + "Link.png"));
    ASSERT_TRUE(QFile::link(program.Path() + "skins/Other.kvn", Folder() + "Elsewhere"));

    EXPECT_EQ(SkinFilePath(Folder(), "In.png"), Folder() + "In.png");
    EXPECT_EQ(SkinFilePath(Folder(), "sub/../In.png"), Folder() + "In.png");
    EXPECT_EQ(SkinFilePath(Folder(), "Missing.png"), Folder() + "Missing.png");
    CSkinImages images(Folder());
    EXPECT_FALSE(images.Request("In.png", QSize(4, 4), 1.0).Image().isNull());
    for (const QString& name : { QStringLiteral("../Other.kvn/Out.png"), QStringLiteral("../../Out.png"),
             program.Path() + "Out.png", QStringLiteral("Link.png"), QStringLiteral("Elsewhere/Out.png"), QString() }) {
        EXPECT_TRUE(SkinFilePath(Folder(), name).isEmpty()) << name.toStdString();
        EXPECT_TRUE(images.Request(name, QSize(4, 4), 1.0).Image().isNull()) << name.toStdString();
    }
    EXPECT_EQ(images.Decodes(), 1);
}

// At 2x the window's background comes from the "@2x" file alone: the list colour is taken from it too.
TEST_F(SkinImageTest, TheBackgroundIsDecodedOnceAtTwiceTheDensity)
{
    ASSERT_TRUE(WriteSolidPng(Folder() + "bg.png", 200, 100, QColor(40, 60, 200).rgba()));
    ASSERT_TRUE(WriteSolidPng(Folder() + "bg@2x.png", 400, 200, QColor(40, 60, 200).rgba()));
    ASSERT_TRUE(skin_test::WriteSkinFile(Folder() + "skin.kvn", QString()));
    const QColor expected = ListColorFromImage(QImage(Folder() + "bg.png"), QSize(200, 100));
    for (qreal scale : { 1.0, 2.0 }) {
        CSkin skin;
        bool expanded = false;
        ASSERT_TRUE(skin.SetSkinPath(program.Path(), "T", expanded));
        const SkinBackground background = skin.PaintBackground("bg.png", QSize(200, 100), scale, Qt::black);
        EXPECT_EQ(skin.Images().Decodes(), 1) << scale;
        EXPECT_EQ(background.picture.size(), QSize(200, 100) * scale);
        EXPECT_EQ(background.picture.toImage().pixelColor(QPoint(150, 80) * scale), QColor(40, 60, 200));
        EXPECT_EQ(background.listColor, expected) << scale;
    }
}

} // namespace
