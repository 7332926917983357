#include "ui/GdipButton.h"

#include "ui/Skin.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/SkinTestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QToolTip>
#include <gtest/gtest.h>

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
