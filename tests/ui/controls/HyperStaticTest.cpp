#include "ui/controls/HyperStatic.h"

#include "ui/skin/Skin.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

using testing_support::TempProgramFolder;

namespace
{

class HyperStaticTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        window.resize(300, 100);
        window.show();
        previousOpener = SetUrlOpener([this](const QUrl& url) {
            opened << url.toString();
            return true;
        });
    }
    void TearDown() override { SetUrlOpener(previousOpener); }

    // Dresses the label from a section whose keys are keysXml, over a black background.
    void Dress(CHyperStatic& label, const QString& keysXml)
    {
        const QString file = program.Path() + "skins/L.kvn/skin.kvn";
        ASSERT_TRUE(skin_test::WriteSkinFile(file, "<Label>" + keysXml + "</Label>"));
        CSkin skin;
        bool expanded = false;
        ASSERT_TRUE(skin.SetSkinPath(program.Path(), "L", expanded));
        skin.ApplyLabelSkin(label, "Label", 10, 10, 200, 20);
        label.CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::black));
    }

    void Send(QWidget& target, QEvent::Type type, const QPoint& at, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), QPointF(target.mapToGlobal(at)), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    }

    TempProgramFolder program;
    QWidget window;
    UrlOpener previousOpener;
    QStringList opened;
};

TEST(IsUrlTest, OnlyWellFormedWebAndMailAddressesAreLinks)
{
    EXPECT_TRUE(IsUrl("https://example.org/x"));
    EXPECT_TRUE(IsUrl("http://example.org"));
    EXPECT_TRUE(IsUrl("mailto:a@b"));
    EXPECT_FALSE(IsUrl("example.org"));
    EXPECT_FALSE(IsUrl("file:///etc"));
    EXPECT_FALSE(IsUrl("javascript:x"));
    EXPECT_FALSE(IsUrl("http://"));
    EXPECT_FALSE(IsUrl("https://exa mple.org/"));
    EXPECT_FALSE(IsUrl("Artist - Title"));
    EXPECT_FALSE(IsUrl(QString()));
    EXPECT_FALSE(OpenUrl("javascript:alert(1)"));
}

TEST_F(HyperStaticTest, SkinKeysAreReadWithTheirRules)
{
    CHyperStatic label(&window);
    Dress(label,
        "<TextColor>0,300,20,-1</TextColor><TextAlign>1</TextAlign><TextSize>15</TextSize>"
        "<GlowColor>0,255,255,255</GlowColor><BkColor>128,0,0,255</BkColor>");
    EXPECT_EQ(label.TextColor(), QColor(44, 20, 255)) << "channels taken modulo 256";
    EXPECT_EQ(label.TextAlignment(), CHyperStatic::AlignRight);
    EXPECT_EQ(label.TextSize(), 15);
    EXPECT_EQ(label.GlowColor().alpha(), 0);
    EXPECT_EQ(label.FillColor(), QColor(0, 0, 255, 128));
    EXPECT_EQ(label.geometry(), QRect(10, 10, 200, 20));

    // Defaults: the palette's text colour, a white glow of alpha 150, alignment kept for unknown values.
    Dress(label, "<TextAlign>7</TextAlign>");
    EXPECT_EQ(label.TextColor(), label.palette().color(QPalette::WindowText));
    EXPECT_EQ(label.GlowColor(), QColor(255, 255, 255, 150));
    EXPECT_EQ(label.TextAlignment(), CHyperStatic::AlignRight);
    Dress(label, "<TextAlign>0</TextAlign><visible>0</visible>");
    EXPECT_EQ(label.TextAlignment(), CHyperStatic::AlignCenter);
    EXPECT_TRUE(label.isHidden());
}

TEST_F(HyperStaticTest, TextIsDrawnAsGivenWithItsGlow)
{
    CHyperStatic label(&window);
    Dress(label, "<TextColor>0,255,255,255</TextColor><GlowColor>0,0,0,0</GlowColor>");
    label.SetText("Rock & Roll");
    const QImage drawn = skin_test::Render(&label);

    QImage expected(label.size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::black);
    {
        QPainter painter(&expected);
        painter.setFont(label.DrawingFont());
        painter.setPen(Qt::white);
        painter.drawText(
            label.rect().adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, "Rock & Roll");
    }
    EXPECT_EQ(drawn, expected) << "one ampersand, drawn as it is";

    // Without glow the right half stays black; the default glow lights it up.
    EXPECT_EQ(drawn.pixelColor(190, 10), QColor(Qt::black));
    Dress(label, "<TextColor>0,255,255,255</TextColor>");
    const QColor glow = skin_test::Render(&label).pixelColor(190, 10);
    EXPECT_NEAR(glow.red(), 150, 3);
    EXPECT_EQ(glow.red(), glow.blue());
    label.SetText(QString());
    EXPECT_EQ(skin_test::Render(&label).pixelColor(190, 10), QColor(Qt::black)) << "no glow without text";
}

TEST_F(HyperStaticTest, ALinkOpensOnClickAndAPlainLabelMovesTheWindow)
{
    CHyperStatic label(&window);
    Dress(label, "<TextColor>0,10,20,30</TextColor>");
    QCursor::setPos(label.mapToGlobal(QPoint(50, 50)));
    label.SetText("https://example.org/song");
    ASSERT_TRUE(label.IsLink());
    EXPECT_TRUE(label.DrawingFont().underline());

    Send(label, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
    EXPECT_TRUE(label.IsHovered());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    const QImage hovered = skin_test::Render(&label);
    Send(label, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    Send(label, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton);
    EXPECT_EQ(opened, QStringList { "https://example.org/song" });
    EXPECT_TRUE(label.IsVisited());
    EXPECT_EQ(skin_test::Render(&label), hovered) << "a skinned link keeps the text colour when visited";

    label.SetUrl("mailto:dj@example.org");
    Send(label, QEvent::MouseMove, QPoint(6, 6), Qt::NoButton);
    Send(label, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    Send(label, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton);
    EXPECT_EQ(opened.last(), "mailto:dj@example.org");
    label.SetText("Now playing");
    EXPECT_FALSE(label.IsVisited());

    label.SetUrl(QString());
    ASSERT_FALSE(label.IsLink());
    const QPoint start = window.pos();
    Send(label, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    Send(label, QEvent::MouseMove, QPoint(45, 25), Qt::LeftButton);
    Send(label, QEvent::MouseButtonRelease, QPoint(45, 25), Qt::NoButton);
    EXPECT_EQ(window.pos(), start + QPoint(40, 20));
    EXPECT_EQ(opened.size(), 2);
}

// Timers set the status labels several times a second, mostly with the text they already show.
TEST_F(HyperStaticTest, TheSameTextAgainRedrawsNothingButAVisitedLinkIsFresh)
{
    CHyperStatic label(&window);
    Dress(label, "<TextColor>0,10,20,30</TextColor>");
    label.SetText("Playing (0:01)");
    QCoreApplication::processEvents();
    int paints = 0;
    class Counter : public QObject
    {
    public:
        explicit Counter(int& count)
            : m_count(count)
        {
        }
        bool eventFilter(QObject*, QEvent* event) override
        {
            m_count += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }

    private:
        int& m_count;
    } counter(paints);
    label.installEventFilter(&counter);

    label.SetText("Playing (0:01)");
    QCoreApplication::processEvents();
    EXPECT_EQ(paints, 0);
    label.SetText("Playing (0:02)");
    QCoreApplication::processEvents();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(label.Text(), "Playing (0:02)");

    // A clicked link shows as new when it is set again.
    label.SetText("https://example.org/song");
    Send(label, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
    Send(label, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    Send(label, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton);
    ASSERT_TRUE(label.IsVisited());
    label.SetText("https://example.org/song");
    EXPECT_FALSE(label.IsVisited());
    label.SetText("Buffer: 100%");
    EXPECT_FALSE(label.IsHovered()) << "plain text does not hover under the pointer";
}

TEST_F(HyperStaticTest, ADoubleClickGoesToTheWindow)
{
    struct Window : QWidget {
        int doubleClicks = 0;
        void mouseDoubleClickEvent(QMouseEvent*) override { ++doubleClicks; }
    } main;
    CHyperStatic label(&main);
    main.show();
    Send(label, QEvent::MouseButtonDblClick, QPoint(2, 2), Qt::LeftButton);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return main.doubleClicks == 1; }, 2000));
}

} // namespace
