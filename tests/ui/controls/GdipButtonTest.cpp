#include "ui/controls/GdipButton.h"

#include "ui/skin/Skin.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/SolidPng.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QToolTip>
#include <gtest/gtest.h>
#include <vector>

using testing_support::TempProgramFolder;

namespace
{

class GdipButtonTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        window.resize(100, 100);
        window.show();
    }

    QString Folder() const { return program.Path() + QStringLiteral("skins/T.kvn/"); }

    void WriteImage(const QString& name, const QColor& color)
    {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(color);
        ASSERT_TRUE(image.save(Folder() + name));
    }

    // Applies a section of a skin whose file holds sectionXml, and hands the button a grey background.
    void Dress(CGdipButton& button, const QString& section, bool hasAlternate, const QString& sectionXml = QString())
    {
        ASSERT_TRUE(skin_test::WriteSkinFile(Folder() + "skin.kvn", sectionXml));
        CSkin skin;
        bool expanded = false;
        ASSERT_TRUE(skin.SetSkinPath(program.Path(), "T", expanded));
        skin.ApplyButtonSkin(button, section, 10, 10, 20, 20, hasAlternate);
        button.CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::gray));
    }

    static QColor Shown(CGdipButton& button, QPoint at = QPoint(10, 10))
    {
        return skin_test::Render(&button).pixelColor(at);
    }

    TempProgramFolder program;
    QWidget window;
};

TEST_F(GdipButtonTest, AnEmptySectionNamesItsImagesAfterTheSectionAndWritesItsKeys)
{
    CGdipButton button(&window);
    Dress(button, "Exit", false, "<Exit/>");
    EXPECT_EQ(button.ImagePath(CGdipButton::Normal), Folder() + "Exit.png");
    EXPECT_EQ(button.ImagePath(CGdipButton::Hot), Folder() + "Exit-hot.png");
    EXPECT_EQ(button.ImagePath(CGdipButton::Pressed), Folder() + "Exit-pressed.png");
    EXPECT_TRUE(button.ImagePath(CGdipButton::AltNormal).isEmpty());
    EXPECT_EQ(button.TextColor(), QColor(Qt::white));
    EXPECT_FALSE(button.isHidden());
    EXPECT_EQ(button.geometry(), QRect(10, 10, 20, 20));
    EXPECT_TRUE(testing_support::ReadBytes(Folder() + "skin.kvn")
                    .contains("<Exit><x>10</x><y>10</y><width>20</width><height>20</height><TextColor>-1</TextColor>"
                              "<visible>1</visible><Image><Normal>Exit.png</Normal><Hot>Exit-hot.png</Hot>"
                              "<Pressed>Exit-pressed.png</Pressed></Image></Exit>"));
    // No image files at all: the button shows the window background.
    EXPECT_EQ(Shown(button), QColor(Qt::gray));
}

TEST_F(GdipButtonTest, EachStateShowsItsOwnScaledPicture)
{
    QDir().mkpath(Folder());
    WriteImage("Play.png", Qt::red);
    WriteImage("Play-hot.png", Qt::green);
    WriteImage("Play-pressed.png", Qt::blue);
    WriteImage("Play-2.png", Qt::yellow);
    WriteImage("Play-2-hot.png", Qt::cyan);
    WriteImage("Play-2-pressed.png", Qt::magenta);
    CGdipButton button(&window);
    Dress(button, "Play", true, "<Play><TextColor>0,10,20,30</TextColor></Play>");
    EXPECT_EQ(button.TextColor(), QColor(10, 20, 30));

    EXPECT_EQ(Shown(button, QPoint(0, 0)), QColor(Qt::red));
    EXPECT_EQ(Shown(button, QPoint(19, 19)), QColor(Qt::red));
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(Shown(button), QColor(Qt::green));
    button.setDown(true);
    EXPECT_EQ(Shown(button), QColor(Qt::blue));
    button.SetAlternate(true);
    EXPECT_EQ(Shown(button), QColor(Qt::magenta));
    button.setDown(false);
    EXPECT_EQ(Shown(button), QColor(Qt::cyan));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(Shown(button), QColor(Qt::yellow));

    // A button without alternate images shows only the background in its alternate state.
    CGdipButton plain(&window);
    Dress(plain, "Play", false);
    plain.SetAlternate(true);
    EXPECT_EQ(Shown(plain), QColor(Qt::gray));
    plain.SetAlternate(false);
    EXPECT_EQ(Shown(plain), QColor(Qt::red));
}

// Every state of a button in the order hover, press, alternate press, alternate hover, alternate normal
// and normal, with the colour it shows.
std::vector<QColor> ShowEveryState(CGdipButton& button)
{
    std::vector<QColor> shown;
    auto look = [&] { shown.push_back(skin_test::Render(&button).pixelColor(16, 17)); };
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QApplication::sendEvent(&button, &enter);
    look();
    button.setDown(true);
    look();
    button.SetAlternate(true);
    look();
    button.setDown(false);
    look();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    look();
    button.SetAlternate(false);
    look();
    return shown;
}

// Six state images whose small files declare 5700 x 5700 pixels each are refused before decoding; images
// within the limits are decoded once per file, at the button's size, however many states and buttons
// show them.
TEST_F(GdipButtonTest, StateImagesAreDecodedOnceAtTheButtonsSizeAndHugeOnesRefused)
{
    QDir().mkpath(Folder());
    const QByteArray huge = testing_support::SolidPng(5700, 5700, QColor(Qt::red).rgba());
    for (const char* name :
        { "Play.png", "Play-hot.png", "Play-pressed.png", "Play-2.png", "Play-2-hot.png", "Play-2-pressed.png" })
        ASSERT_TRUE(testing_support::WriteBytes(Folder() + name, huge));
    ASSERT_TRUE(testing_support::WriteSolidPng(Folder() + "Big.png", 1200, 1200, QColor(Qt::green).rgba()));
    ASSERT_TRUE(testing_support::WriteSolidPng(Folder() + "Big-hot.png", 1200, 900, QColor(Qt::blue).rgba()));
    ASSERT_TRUE(skin_test::WriteSkinFile(Folder() + "skin.kvn",
        "<Shared><Image><Normal>Big.png</Normal><Hot>Big-hot.png</Hot><Pressed>Big.png</Pressed></Image>"
        "<AltImage><Normal>Big.png</Normal><Hot>Big-hot.png</Hot><Pressed>Big.png</Pressed></AltImage></Shared>"));

    CGdipButton play(&window);
    CGdipButton shared(&window);
    CGdipButton twin(&window);
    {
        CSkin skin;
        bool expanded = false;
        ASSERT_TRUE(skin.SetSkinPath(program.Path(), "T", expanded));
        skin.ApplyButtonSkin(play, "Play", 10, 10, 33, 34, true);
        skin.ApplyButtonSkin(shared, "Shared", 50, 10, 33, 34, true);
        skin.ApplyButtonSkin(twin, "Shared", 50, 50, 33, 34, false);
        EXPECT_EQ(skin.Images().Refused(), 6);
        EXPECT_EQ(skin.Images().Decodes(), 2);
        EXPECT_EQ(skin.Images().Hits(), 4 + 3);
    }
    for (CGdipButton* button : { &play, &shared, &twin })
        button->CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::gray));

    const QColor gray(Qt::gray);
    EXPECT_EQ(ShowEveryState(play), std::vector<QColor>(6, gray));
    const QColor green(Qt::green);
    const QColor blue(Qt::blue);
    EXPECT_EQ(ShowEveryState(shared), std::vector<QColor>({ blue, green, green, blue, green, green }));
    EXPECT_EQ(ShowEveryState(twin), std::vector<QColor>({ blue, green, gray, gray, gray, green }));
    for (int i = 0; i < CGdipButton::PictureCount; ++i) {
        const auto picture = CGdipButton::Picture(i);
        EXPECT_TRUE(play.DecodedImage(picture).isNull()) << i;
        EXPECT_EQ(shared.DecodedImage(picture).size(), QSize(33, 34)) << i;
    }
    EXPECT_EQ(twin.DecodedImage(CGdipButton::Hot).constBits(), shared.DecodedImage(CGdipButton::Hot).constBits())
        << "one decode serves both buttons";
}

TEST_F(GdipButtonTest, ADoubleClickCountsAsTwoClicks)
{
    CGdipButton next(&window);
    next.setGeometry(10, 10, 20, 20);
    next.show();
    int clicks = 0;
    QObject::connect(&next, &QAbstractButton::clicked, [&] { ++clicks; });
    const QPointF at(5, 5);
    const QPointF global = next.mapToGlobal(at.toPoint());
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
             QEvent::MouseButtonRelease }) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(&next, &event);
    }
    EXPECT_EQ(clicks, 2);
}

TEST_F(GdipButtonTest, LongCaptionsAreShortenedInTheMiddleFromTheirFirst63Characters)
{
    QString text;
    for (int i = 0; i < 100; ++i)
        text += QChar(u'a' + i % 26);
    const QFontMetrics metrics(QApplication::font());
    const QString shown = ButtonCaption(text, metrics, metrics.horizontalAdvance(text.left(20)));
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(text.left(3)));
    EXPECT_TRUE(shown.endsWith(text.mid(60, 3))) << "ends with characters 61 to 63";
    EXPECT_EQ(ButtonCaption("MP3 128", metrics, 500), "MP3 128");
}

TEST_F(GdipButtonTest, TheToolTipShowsAtOnceAndHidesAfterTwoSeconds)
{
    CGdipButton button(&window);
    button.setGeometry(10, 10, 20, 20);
    button.show();
    button.SetTooltipText(QString());
    EXPECT_TRUE(button.TooltipText().isEmpty());
    button.SetTooltipText("Play the station");

    QCursor::setPos(button.mapToGlobal(QPoint(5, 5)));
    testing_support::PumpFor(50);
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), button.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "Play the station");
    testing_support::PumpFor(1500);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(testing_support::PumpUntil([] { return !QToolTip::isVisible(); }, 2000));
}

} // namespace
