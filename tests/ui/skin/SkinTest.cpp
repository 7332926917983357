#include "ui/skin/Skin.h"

#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"

#include "ui/skin/SkinValues.h"
#include "ui/skin/WindowPlacement.h"

#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using testing_support::ReadBytes;
using testing_support::TempProgramFolder;

namespace
{

class SkinTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    QString SkinFile(const QString& name, const QString& file = QStringLiteral("skin.kvn")) const
    {
        return program.Path() + QStringLiteral("skins/") + name + QStringLiteral(".kvn/") + file;
    }

    TempProgramFolder program;
};

TEST_F(SkinTest, ExpandedLayoutIsUsedOnlyWhenTheSkinHasOne)
{
    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Single"), QString()));
    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Both"), QString()));
    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Both", "skin2.kvn"), QString()));

    CSkin single;
    bool expanded = true;
    EXPECT_TRUE(single.SetSkinPath(program.Path(), "Single", expanded));
    EXPECT_FALSE(expanded);
    EXPECT_EQ(single.SettingsPath(), SkinFile("Single"));

    CSkin both;
    expanded = true;
    EXPECT_TRUE(both.SetSkinPath(program.Path(), "Both", expanded));
    EXPECT_TRUE(expanded);
    EXPECT_EQ(both.SettingsPath(), SkinFile("Both", "skin2.kvn"));
    EXPECT_EQ(both.SkinFolder(), program.Path() + "skins/Both.kvn/");

    CSkin missing;
    expanded = false;
    EXPECT_FALSE(missing.SetSkinPath(program.Path(), "Nowhere", expanded));
}

TEST_F(SkinTest, AnEmptySkinFileGivesAFramedDefaultWindowAndGainsItsKeys)
{
    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Empty"), QString()));
    QWidget window;
    {
        CSkin skin;
        bool expanded = false;
        ASSERT_TRUE(skin.SetSkinPath(program.Path(), "Empty", expanded));
        EXPECT_EQ(skin.ApplyWindowFrame(&window, QPoint(40, 30)), 1);
        EXPECT_EQ(skin.Frame(), 1);
    }
    EXPECT_EQ(window.size(), QSize(390, 312));
    EXPECT_EQ(window.pos(), QPoint(40, 30));
    EXPECT_FALSE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window.mask().isEmpty());
    EXPECT_TRUE(window.isHidden());

    const QByteArray written = ReadBytes(SkinFile("Empty"));
    EXPECT_TRUE(written.contains("<Window><Frame>1</Frame><x>0</x><y>0</y><width>390</width><height>312</height>"
                                 "<Rounded>16</Rounded></Window>"))
        << written.constData();
}

TEST_F(SkinTest, FramelessWindowsAreClippedToTheirClampedRoundedOutline)
{
    auto maskFor = [&](int rounded) {
        const QString name = QStringLiteral("Round%1").arg(rounded + 2000);
        EXPECT_TRUE(skin_test::WriteSkinFile(SkinFile(name),
            QStringLiteral("<Window><Frame>0</Frame><Rounded>%1</Rounded><width>200</width><height>100</height>"
                           "</Window>")
                .arg(rounded)));
        QWidget window;
        CSkin skin;
        bool expanded = false;
        skin.SetSkinPath(program.Path(), name, expanded);
        skin.ApplyWindowFrame(&window, QPoint(10, 10));
        EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
        return window.mask();
    };

    const QRegion square = maskFor(-5);
    EXPECT_EQ(square, QRegion(0, 0, 200, 100));

    const QRegion rounded = maskFor(16);
    EXPECT_FALSE(rounded.contains(QPoint(0, 0)));
    EXPECT_FALSE(rounded.contains(QPoint(199, 99)));
    EXPECT_TRUE(rounded.contains(QPoint(8, 0)));
    EXPECT_TRUE(rounded.contains(QPoint(0, 50)));
    EXPECT_TRUE(rounded.contains(QPoint(100, 99)));

    // 1000 is taken as 512, which is more than the window's height: the short sides become half circles.
    const QRegion capsule = maskFor(1000);
    EXPECT_EQ(capsule, RoundedWindowRegion(QSize(200, 100), 512));
    EXPECT_FALSE(capsule.contains(QPoint(10, 10)));
    EXPECT_TRUE(capsule.contains(QPoint(0, 50)));
    EXPECT_TRUE(capsule.contains(QPoint(100, 0)));
}

TEST_F(SkinTest, RectanglesFromASkinAreClampedAndPlainControlsPlacedBeneath)
{
    EXPECT_EQ(ClampSkinRect(RECT { -99999, 5, 2000000000, 7 }), QRect(-kSkinMaxCoordinate, 5, kSkinMaxSize, 2));
    EXPECT_EQ(ClampSkinRect(RECT { 10, 10, 5, 5 }), QRect(10, 10, 0, 0));

    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Huge"),
        "<Window><Frame>1</Frame><width>900000</width><height>-4</height></Window>"
        "<BufferIndicator><x>3</x><y>4</y><width>50</width><height>9</height><visible>0</visible></BufferIndicator>"));
    QWidget window;
    QWidget first(&window);
    QWidget indicator(&window);
    indicator.show();
    CSkin skin;
    bool expanded = false;
    skin.SetSkinPath(program.Path(), "Huge", expanded);
    skin.ApplyWindowFrame(&window, QPoint(1, 1));
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    ASSERT_LT(screen.width(), kSkinMaxSize);
    EXPECT_EQ(window.size(), QSize(screen.width(), 1)) << "no wider than the screen";

    skin.PlaceControl(&indicator, "BufferIndicator", 86, 229, 48, 11);
    skin.PlaceControl(nullptr, "BufferIndicator", 86, 229, 48, 11);
    EXPECT_EQ(indicator.geometry(), QRect(3, 4, 0, 0)) << "the window is one pixel high: none of it shows";
    EXPECT_TRUE(indicator.isHidden());
    EXPECT_EQ(window.children().indexOf(&indicator), 0) << "placed beneath its siblings";
}

// What a control covers, and so every picture it draws, is the part of its rectangle the window shows.
TEST_F(SkinTest, ControlsAndTheirDrawingStayWithinTheWindowsClientArea)
{
    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Vast"),
        "<Window><width>390</width><height>312</height></Window>"
        "<Spectrum><x>0</x><y>0</y><width>4096</width><height>4096</height></Spectrum>"
        "<Status><x>100</x><y>-50</y><width>4096</width><height>4096</height></Status>"
        "<Exit><x>350</x><y>300</y><width>4096</width><height>4096</height></Exit>"
        "<Volume><x>2000</x><y>10</y><width>4096</width><height>33</height></Volume>"
        "<BufferIndicator><x>-10</x><y>-10</y><width>4096</width><height>30</height></BufferIndicator>"));
    QWidget window;
    CSpectrumButton spectrum(&window);
    CHyperStatic status(&window);
    CGdipButton exit(&window);
    CSliderCtrlEx volume(&window);
    QWidget indicator(&window);
    {
        CSkin skin;
        bool expanded = false;
        ASSERT_TRUE(skin.SetSkinPath(program.Path(), "Vast", expanded));
        skin.ApplyWindowFrame(&window, QPoint(10, 10));
        spectrum.LoadSkin(skin.Settings(), "Spectrum", 147, 213, 132, 54);
        skin.ApplyLabelSkin(status, "Status", 11, 210, 126, 13);
        skin.ApplyButtonSkin(exit, "Exit", 351, 273, 33, 34, false);
        volume.LoadSkin(skin.Settings(), skin.Images(), "Volume", 281, 234, 107, 33);
        skin.PlaceControl(&indicator, "BufferIndicator", 86, 229, 48, 11);
    }
    ASSERT_EQ(window.size(), QSize(390, 312));
    EXPECT_EQ(spectrum.geometry(), QRect(0, 0, 390, 312));
    EXPECT_EQ(status.geometry(), QRect(100, 0, 290, 312));
    EXPECT_EQ(exit.geometry(), QRect(350, 300, 40, 12));
    EXPECT_EQ(volume.geometry(), QRect(2000, 10, 0, 0)) << "wholly outside: nothing of it is shown";
    EXPECT_EQ(indicator.geometry(), QRect(0, 0, 390, 20));

    for (qreal scale : { 1.0, 2.0 }) {
        spectrum.CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::gray, scale));
        CSpectrumButton::FrameInput input;
        spectrum.Animate(input, false, true);
        EXPECT_EQ(spectrum.FrameImage().size(), window.size() * scale);
        EXPECT_EQ(spectrum.BackgroundImage().size(), window.size() * scale);
    }
}

// A skin is a folder directly inside skins/: any other name opens nothing and writes nothing.
TEST_F(SkinTest, OnlyFoldersDirectlyInsideTheSkinsFolderAreSkins)
{
    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Good"), QString()));
    const QString outside = program.Path() + "outside.kvn/skin.kvn";
    ASSERT_TRUE(skin_test::WriteSkinFile(outside, "<Window><width>377</width><height>77</height></Window>"));
    ASSERT_TRUE(skin_test::WriteSkinFile(program.Path() + "skins/deep/inner.kvn/skin.kvn", QString()));
    ASSERT_TRUE(QFile::link(program.Path() + "outside.kvn", program.Path() + "skins/Linked.kvn"));
    const QByteArray before = ReadBytes(outside);
    for (const char* name :
        { "", "../outside", "..", "deep/inner", "deep\\inner", "Linked", "Good/..", "./Good", "Good/", "Missing" }) {
        QWidget window;
        CSkin skin;
        bool expanded = false;
        EXPECT_FALSE(skin.SetSkinPath(program.Path(), name, expanded)) << name;
        skin.ApplyWindowFrame(&window, QPoint(1, 1));
        EXPECT_NE(window.size(), QSize(377, 77)) << name;
    }
    EXPECT_EQ(ReadBytes(outside), before) << "nothing is written outside the skins folder";

    CSkin good;
    bool expanded = false;
    EXPECT_TRUE(good.SetSkinPath(program.Path(), "Good", expanded));
    EXPECT_EQ(good.SkinFolder(), program.Path() + "skins/Good.kvn/");
}

TEST_F(SkinTest, ControlsKeepTheWindowBackgroundUnderThemAtItsScale)
{
    QWidget window;
    window.resize(100, 50);
    CGdipButton button(&window);
    button.setGeometry(40, 10, 20, 10);
    for (qreal scale : { 1.0, 2.0 }) {
        // Left half red, right half blue, split at x = 50 (logical).
        QPixmap background(QSize(100, 50) * scale);
        background.fill(Qt::red);
        {
            QPainter painter(&background);
            painter.fillRect(QRect(QPoint(int(50 * scale), 0), QSize(100, 50) * scale), Qt::blue);
        }
        background.setDevicePixelRatio(scale);
        button.CopyParentBackground(background);
        const QImage crop = button.Background().toImage();
        ASSERT_EQ(crop.size(), QSize(20, 10) * scale);
        EXPECT_EQ(button.PaintScale(), scale);
        EXPECT_EQ(crop.pixelColor(int(9 * scale), int(5 * scale)), QColor(Qt::red));
        EXPECT_EQ(crop.pixelColor(int(10 * scale), int(5 * scale)), QColor(Qt::blue));
        EXPECT_EQ(crop.pixelColor(crop.width() - 1, crop.height() - 1), QColor(Qt::blue));
    }
}

TEST(WindowPlacementTest, RectanglesAreCentredOrKeptReachable)
{
    const QRect primary(0, 0, 1280, 800);
    const QRect desktop(0, 0, 1920, 800);

    RECT centred { 0, 0, 391, 312 };
    FitRectToScreen(centred, primary, desktop);
    EXPECT_EQ(centred.left, 444); // (1280 - 391) / 2, truncated
    EXPECT_EQ(centred.top, 244);
    EXPECT_EQ(centred.right - centred.left, 391);

    RECT farRight { 5000, 100, 5390, 412 };
    FitRectToScreen(farRight, primary, desktop);
    EXPECT_EQ(farRight.left, 1920 - 32);
    EXPECT_EQ(farRight.bottom - farRight.top, 312);

    RECT lowAndFlat { -3000, 5000, -2900, 5010 }; // 10 high: 9 pixels stay visible
    FitRectToScreen(lowAndFlat, primary, desktop);
    EXPECT_EQ(lowAndFlat.right, 9);
    EXPECT_EQ(lowAndFlat.top, 800 - 9);

    RECT extreme { INT32_MAX - 10, INT32_MIN + 10, INT32_MAX, INT32_MIN + 300 };
    FitRectToScreen(extreme, primary, desktop);
    EXPECT_EQ(extreme.left, 1920 - 32);
    EXPECT_EQ(extreme.bottom, 32);
}

TEST_F(SkinTest, PlacementUsesThePrimaryScreen)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect primary = screen->geometry();

    ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile("Centre"), "<Window><Frame>0</Frame></Window>"));
    QWidget window;
    CSkin skin;
    bool expanded = false;
    skin.SetSkinPath(program.Path(), "Centre", expanded);
    skin.ApplyWindowFrame(&window, QPoint(0, 0));
    EXPECT_EQ(window.pos(), QPoint((primary.width() - 390) / 2, (primary.height() - 312) / 2) + primary.topLeft());

    QPoint position;
    EXPECT_TRUE(GetWindowNormalPos(&window, position));
    EXPECT_EQ(position, window.pos());
    EXPECT_FALSE(GetWindowNormalPos(nullptr, position));

    QPoint centre;
    GetDesktopCenter(centre);
    const QRect desktop = screen->virtualGeometry();
    EXPECT_EQ(centre,
        QPoint(desktop.x() + desktop.width() - desktop.width() / 2,
            desktop.y() + desktop.height() - desktop.height() / 2));
}

} // namespace
