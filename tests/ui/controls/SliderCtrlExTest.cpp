#include "ui/controls/SliderCtrlEx.h"

#include "ui/skin/Skin.h"

#include "tests/support/SolidPng.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <vector>

using testing_support::TempProgramFolder;

namespace
{

class SliderCtrlExTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        window.resize(200, 100);
        window.show();
    }

    QString SkinFile() const { return program.Path() + "skins/V.kvn/skin.kvn"; }

    void Dress(CSliderCtrlEx& slider, const QString& keysXml)
    {
        ASSERT_TRUE(skin_test::WriteSkinFile(SkinFile(), "<Volume>" + keysXml + "</Volume>"));
        CSkin skin;
        bool expanded = false;
        skin.SetSkinPath(program.Path(), "V", expanded);
        slider.LoadSkin(skin.Settings(), "Volume", 10, 10, 107, 33);
        slider.CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::darkBlue));
    }

    static int Press(CSliderCtrlEx& slider, int key)
    {
        slider.setValue(50);
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&slider, &event);
        return slider.value();
    }

    static void Mouse(QWidget& target, QEvent::Type type, QPoint at, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), QPointF(target.mapToGlobal(at)), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    }

    TempProgramFolder program;
    QWidget window;
};

TEST_F(SliderCtrlExTest, ArrowKeysJumpFourThenStepLikeTheTrackBar)
{
    CSliderCtrlEx slider(&window);
    EXPECT_EQ(Press(slider, Qt::Key_Left), 45);
    EXPECT_EQ(Press(slider, Qt::Key_Right), 55);
    EXPECT_EQ(Press(slider, Qt::Key_Up), 53);
    EXPECT_EQ(Press(slider, Qt::Key_Down), 47);
    EXPECT_EQ(Press(slider, Qt::Key_Home), 0);
    EXPECT_EQ(Press(slider, Qt::Key_End), 100);

    std::vector<int> told;
    QObject::connect(&slider, &QAbstractSlider::valueChanged, [&](int value) { told.push_back(value); });
    slider.setValue(98);
    told.clear();
    EXPECT_EQ(Press(slider, Qt::Key_Right), 55);
    EXPECT_EQ(told, (std::vector<int> { 50, 55 })) << "the owner hears the final position of each key";
}

TEST_F(SliderCtrlExTest, ThumbLengthFollowsTheScreenAndStaysInBounds)
{
    EXPECT_EQ(ScaledThumbLength(22, 96), 22);
    EXPECT_EQ(ScaledThumbLength(22, 120), 27);
    EXPECT_EQ(ScaledThumbLength(1000000, 96), 256);
    EXPECT_EQ(ScaledThumbLength(-5, 96), 1);

    CSliderCtrlEx slider(&window);
    Dress(slider, QString());
    EXPECT_EQ(slider.ThumbLength(), 22);
    EXPECT_EQ(slider.geometry(), QRect(10, 10, 107, 33));
    EXPECT_FALSE(slider.isHidden());
    EXPECT_TRUE(
        testing_support::ReadBytes(SkinFile())
            .contains(
                "<visible>1</visible><ThumbSize>22</ThumbSize><ImageThumb>VolumeThumb.png</ImageThumb>"
                "<ImageThumbHot>VolumeThumbHot.png</ImageThumbHot><ImageChannel>VolumeChannel.png</ImageChannel>"));

    Dress(slider, "<visible>0</visible><ThumbSize>30</ThumbSize>");
    EXPECT_TRUE(slider.isHidden());
    EXPECT_EQ(slider.ThumbLength(), 30);
}

TEST_F(SliderCtrlExTest, WithoutImagesAPlainGrooveAndThumbAreDrawn)
{
    CSliderCtrlEx slider(&window);
    Dress(slider, QString());
    ASSERT_FALSE(slider.HasThumbImage());
    ASSERT_FALSE(slider.HasChannelImage());
    slider.setValue(50);
    const QImage drawn = skin_test::Render(&slider);
    const QRect thumb = slider.ThumbRect();
    EXPECT_NE(drawn.pixelColor(thumb.center()), QColor(Qt::darkBlue));
    EXPECT_NE(drawn.pixelColor(10, 12), QColor(Qt::darkBlue)) << "the groove's edge";
    EXPECT_EQ(drawn.pixelColor(5, 2), QColor(Qt::darkBlue)) << "the window's background elsewhere";

    // With images: the channel covers the control, the hot thumb replaces the thumb under the mouse.
    QDir().mkpath(program.Path() + "skins/V.kvn");
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.save(program.Path() + "skins/V.kvn/VolumeChannel.png");
    image.fill(Qt::green);
    image.save(program.Path() + "skins/V.kvn/VolumeThumb.png");
    Dress(slider, QString());
    EXPECT_FALSE(slider.HasHotThumbImage());
    QImage skinned = skin_test::Render(&slider);
    EXPECT_EQ(skinned.pixelColor(5, 2), QColor(Qt::red));
    EXPECT_EQ(skinned.pixelColor(slider.ThumbRect().center()), QColor(Qt::green));
    Mouse(slider, QEvent::MouseMove, slider.ThumbRect().center(), Qt::NoButton);
    EXPECT_TRUE(slider.IsThumbHot());
    EXPECT_EQ(skin_test::Render(&slider).pixelColor(slider.ThumbRect().center()), QColor(Qt::green))
        << "the normal image serves as the hot one";
}

// Large images are kept at the size they are drawn at, and made again at a new size or density.
TEST_F(SliderCtrlExTest, ItsImagesAreKeptAtTheDeviceSizeTheyAreDrawnAt)
{
    const QString folder = program.Path() + "skins/V.kvn/";
    QDir().mkpath(folder);
    ASSERT_TRUE(testing_support::WriteSolidPng(folder + "VolumeChannel.png", 1200, 1200, QColor(Qt::red).rgba()));
    ASSERT_TRUE(testing_support::WriteSolidPng(folder + "VolumeThumb.png", 1100, 1200, QColor(Qt::green).rgba()));
    ASSERT_TRUE(testing_support::WriteSolidPng(folder + "VolumeThumbHot.png", 1000, 1000, QColor(Qt::blue).rgba()));
    CSliderCtrlEx slider(&window);
    Dress(slider, QString());
    auto sizes = [&] {
        return std::vector<QSize> { slider.ChannelImage().size(), slider.ThumbImage().size(),
            slider.HotThumbImage().size() };
    };
    const QSize thumb = slider.ThumbRect().size();
    EXPECT_EQ(sizes(), std::vector<QSize>({ QSize(107, 33), thumb, thumb }));
    EXPECT_EQ(skin_test::Render(&slider).pixelColor(slider.ThumbRect().center()), QColor(Qt::green));

    slider.resize(60, 20);
    EXPECT_EQ(sizes(), std::vector<QSize>({ QSize(60, 20), slider.ThumbRect().size(), slider.ThumbRect().size() }));
    slider.CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::darkBlue, 2.0));
    EXPECT_EQ(
        sizes(), std::vector<QSize>({ QSize(120, 40), slider.ThumbRect().size() * 2, slider.ThumbRect().size() * 2 }));
    EXPECT_EQ(skin_test::Render(&slider, 2.0).pixelColor(QPoint(100, 2)), QColor(Qt::red));

    // A new skin brings its own images.
    ASSERT_TRUE(testing_support::WriteSolidPng(folder + "Small.png", 4, 4, QColor(Qt::yellow).rgba()));
    Dress(slider, "<ImageChannel>Small.png</ImageChannel>");
    EXPECT_EQ(slider.ChannelImage().size(), QSize(4, 4));
}

TEST_F(SliderCtrlExTest, DraggingTheThumbSetsTheVolumeAndTheWheelIsLeftToTheWindow)
{
    CSliderCtrlEx slider(&window);
    Dress(slider, QString());
    slider.setValue(20);
    struct {
        int volume = -1;
        bool dirty = false;
    } manager;
    QObject::connect(&slider, &QAbstractSlider::valueChanged, [&](int value) {
        manager.volume = value;
        manager.dirty = true;
    });
    EXPECT_EQ(SliderThumbRect(slider.size(), 22, 0, 100, 0).left(), 0);
    EXPECT_EQ(SliderThumbRect(slider.size(), 22, 0, 100, 100).right(), slider.width() - 1);
    const QPoint start = slider.ThumbRect().center();
    Mouse(slider, QEvent::MouseButtonPress, start, Qt::LeftButton);
    EXPECT_TRUE(slider.isSliderDown());
    const QPoint target = start + QPoint(40, 3);
    Mouse(slider, QEvent::MouseMove, target, Qt::LeftButton);
    Mouse(slider, QEvent::MouseButtonRelease, target, Qt::NoButton);
    EXPECT_NEAR(slider.value(), 20 + 40 * 100 / 95, 1);
    EXPECT_EQ(manager.volume, slider.value());
    EXPECT_TRUE(manager.dirty);

    // A press beside the thumb pages towards it.
    const int dragged = slider.value();
    Mouse(slider, QEvent::MouseButtonPress, QPoint(2, 16), Qt::LeftButton);
    Mouse(slider, QEvent::MouseButtonRelease, QPoint(2, 16), Qt::NoButton);
    EXPECT_EQ(slider.value(), dragged - slider.pageStep());

    QWheelEvent wheel(QPointF(5, 5), slider.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider, &wheel);
    EXPECT_FALSE(wheel.isAccepted());
    EXPECT_EQ(slider.value(), dragged - slider.pageStep());
}

} // namespace
