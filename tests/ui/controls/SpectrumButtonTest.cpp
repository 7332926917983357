#include "ui/controls/SpectrumButton.h"

#include "ui/controls/GdipButton.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/skin/Skin.h"

#include "tests/support/TempProgramFolder.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QCoreApplication>
#include <QStyle>
#include <QStyleFactory>
#include <gtest/gtest.h>
#include <map>
#include <vector>

using testing_support::TempProgramFolder;

namespace
{

class SpectrumButtonTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        window.resize(400, 200);
        window.show();
    }

    // A display of the given size over a black window, from a skin section with keysXml.
    std::unique_ptr<CSpectrumButton> Make(QSize size, const QString& keysXml = QString(), qreal scale = 1.0)
    {
        auto spectrum = std::make_unique<CSpectrumButton>(&window);
        spectrum->setFocusPolicy(Qt::NoFocus);
        const QString file = program.Path() + "skins/S.kvn/skin.kvn";
        EXPECT_TRUE(skin_test::WriteSkinFile(file,
            QStringLiteral("<Spectrum><width>%1</width><height>%2</height>%3</Spectrum>")
                .arg(size.width())
                .arg(size.height())
                .arg(keysXml)));
        CSkin skin;
        bool expanded = false;
        skin.SetSkinPath(program.Path(), "S", expanded);
        spectrum->LoadSkin(skin.Settings(), "Spectrum", 0, 0, 132, 54);
        spectrum->CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::black, scale));
        return spectrum;
    }

    // The pixel at x and at row y counted from the bottom, as composed.
    static uint32_t Pixel(const CSpectrumButton& spectrum, int x, int y)
    {
        const QImage& frame = spectrum.FrameImage();
        return frame.pixel(x, frame.height() - 1 - y);
    }

    static void Frames(CSpectrumButton& spectrum, int count, const float* levels, bool muted = false,
        bool recording = false, bool discarded = false)
    {
        for (int i = 0; i < count; ++i)
            spectrum.Animate({ levels, recording, discarded }, muted, true);
    }

    TempProgramFolder program;
    QWidget window;
};

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject
{
public:
    std::map<const QObject*, int> paints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};

TEST_F(SpectrumButtonTest, AFrameIsComposedPixelByPixel)
{
    auto spectrum = Make(QSize(132, 54));
    ASSERT_EQ(spectrum->FrameImage().size(), QSize(132, 54));
    float levels[16];
    for (int i = 0; i < 16; ++i)
        levels[i] = i / 16.0f;
    Frames(*spectrum, 1, levels);

    // Values worked out by hand from the default colours over a black window.
    EXPECT_EQ(Pixel(*spectrum, 70, 12), 0xF92BBC2Au) << "bar 8, centre, row 10 of its gradient";
    EXPECT_EQ(Pixel(*spectrum, 70, 2), 0xF92BB42Au) << "bar 8, bottom row";
    EXPECT_EQ(Pixel(*spectrum, 67, 12), 0xB384C17Au) << "bar 8, soft edge";
    EXPECT_EQ(Pixel(*spectrum, 5, 30), 0xB3E0E0D8u) << "background and glass above an empty bar";
    EXPECT_EQ(Pixel(*spectrum, 30, 50), 0xE7F2EBEDu) << "peak line under the glass";
    EXPECT_EQ(Pixel(*spectrum, 100, 45), 0xD0F3F3EBu) << "glass in the upper half";
    EXPECT_EQ(Pixel(*spectrum, 0, 10), 0xCA2D2D2Du) << "outer frame ring";
    EXPECT_EQ(Pixel(*spectrum, 1, 10), 0xB9D6D6D3u) << "inner frame ring";
    EXPECT_EQ(Pixel(*spectrum, 0, 0), 0xFF000000u) << "corners keep the window's pixels";

    // What the control shows is the frame made opaque.
    const QImage shown = skin_test::Render(spectrum.get());
    EXPECT_EQ(shown.pixel(70, 54 - 1 - 12), 0xFF2BBC2Au);
}

TEST_F(SpectrumButtonTest, WithoutDataOneBarSweepsAndBounces)
{
    auto spectrum = Make(QSize(132, 54));
    CSoundDisplay& display = *spectrum;
    display.Render(nullptr, false, false, false); // no station
    EXPECT_FLOAT_EQ(spectrum->Level(0), 0.5f);
    EXPECT_FLOAT_EQ(spectrum->Level(1), 0.0f);
    EXPECT_NEAR(spectrum->SweepPosition(), 0.018f, 1e-6);
    for (int i = 0; i < 60; ++i)
        spectrum->Animate({}, false, false);
    EXPECT_FLOAT_EQ(spectrum->Level(1), 0.5f) << "the sweep reached bar 1";
    EXPECT_NEAR(spectrum->Level(0), 0.5f - 0.03f * 5, 1e-4) << "bar 0 falls once the sweep left it";

    // Playing without data (connecting, buffering) sweeps at half a bar per frame and turns at the ends.
    auto fast = Make(QSize(132, 54));
    float highest = 0.0f;
    float lowestAfterTurn = 100.0f;
    for (int i = 0; i < 62; ++i) {
        fast->Animate({}, false, true);
        highest = std::max(highest, fast->SweepPosition());
        if (i > 31)
            lowestAfterTurn = std::min(lowestAfterTurn, fast->SweepPosition());
    }
    EXPECT_FLOAT_EQ(highest, 15.5f);
    EXPECT_FLOAT_EQ(lowestAfterTurn, 0.5f);
}

TEST_F(SpectrumButtonTest, PeaksHoldThenFall)
{
    auto spectrum = Make(QSize(132, 54));
    const float silent[32] = {};
    Frames(*spectrum, 50, silent);
    EXPECT_FLOAT_EQ(spectrum->Peak(3), 1.0f) << "held for the first 50 frames";
    Frames(*spectrum, 1, silent);
    EXPECT_NEAR(spectrum->Peak(3), 0.96f, 1e-6);

    float loud[32] = {};
    loud[3] = 2.5f; // out of range: clamped
    Frames(*spectrum, 30, silent);
    Frames(*spectrum, 1, loud);
    EXPECT_FLOAT_EQ(spectrum->Level(3), 1.0f);
    EXPECT_FLOAT_EQ(spectrum->Peak(3), 1.0f);
    Frames(*spectrum, 20, silent);
    EXPECT_FLOAT_EQ(spectrum->Peak(3), 1.0f);
    Frames(*spectrum, 1, silent);
    EXPECT_NEAR(spectrum->Peak(3), 0.96f, 1e-6);
}

TEST_F(SpectrumButtonTest, SkinKeysSetBarsPeakLinesAndColours)
{
    const QString plain = "<BarLineColor>255,255,0,0</BarLineColor><GlassLevel>0</GlassLevel>";
    auto peakRows = [&](int height) {
        auto spectrum = Make(QSize(132, height), plain);
        const float silent[32] = {};
        Frames(*spectrum, 1, silent);
        int red = 0;
        for (int y = 0; y < height; ++y)
            red += Pixel(*spectrum, 6, y) == 0xFFFF0000u;
        return red;
    };
    EXPECT_EQ(peakRows(20), 1);
    EXPECT_EQ(peakRows(36), 2);

    EXPECT_EQ(Make(QSize(132, 54), "<Bars>2</Bars>")->BarCount(), 4);
    EXPECT_EQ(Make(QSize(132, 54), "<Bars>100</Bars>")->BarCount(), 32);

    // A key the next skin lacks goes back to its default.
    CSpectrumButton& spectrum = *Make(QSize(132, 54), plain).release();
    spectrum.setParent(nullptr);
    CSkin skin;
    bool expanded = false;
    ASSERT_TRUE(skin_test::WriteSkinFile(program.Path() + "skins/B.kvn/skin.kvn", "<Spectrum/>"));
    skin.SetSkinPath(program.Path(), "B", expanded);
    spectrum.LoadSkin(skin.Settings(), "Spectrum", 0, 0, 132, 54);
    spectrum.CopyParentBackground(skin_test::SolidBackground(QSize(132, 54), Qt::black));
    Frames(spectrum, 1, std::vector<float>(32, 0.0f).data());
    EXPECT_NE(Pixel(spectrum, 6, 50), 0xFFFF0000u);
    delete &spectrum;
}

TEST_F(SpectrumButtonTest, MutedAndDiscardedRecordingsLookDifferent)
{
    const QString flat = "<BkColorTop>255,0,0,0</BkColorTop><BkColorBottom>255,0,0,0</BkColorBottom>"
                         "<BarColorTop>250,0,200,0</BarColorTop><BarColorBottom>250,0,200,0</BarColorBottom>"
                         "<GlassLevel>0</GlassLevel><Frame>0</Frame>";
    auto spectrum = Make(QSize(132, 54), flat);
    float full[32];
    std::fill(std::begin(full), std::end(full), 1.0f);
    Frames(*spectrum, 1, full, false, true);
    EXPECT_EQ(qGreen(Pixel(*spectrum, 6, 10)), 196);
    const int s = 54 / 4; // the dot's centre lies s pixels from the top and right edges
    EXPECT_EQ(qRed(Pixel(*spectrum, 132 - s, 54 - s)), 202);
    Frames(*spectrum, 1, full, true, true);
    EXPECT_EQ(qGreen(Pixel(*spectrum, 6, 10)), 78) << "40 % of the bar's alpha";
    EXPECT_EQ(qRed(Pixel(*spectrum, 132 - s, 54 - s)), 175) << "a darker red dot";

    // Discarded: the dot blinks (shown only late in each animation cycle) and keeps one size.
    int shown = 0;
    std::vector<int> sizes;
    for (int i = 0; i < 100; ++i) {
        Frames(*spectrum, 1, full, false, true, true);
        int dot = 0;
        for (int y = 30; y < 54; ++y)
            for (int x = 100; x < 132; ++x)
                dot += qRed(Pixel(*spectrum, x, y)) > 100;
        if (dot > 0) {
            ++shown;
            sizes.push_back(dot);
        }
    }
    EXPECT_GE(shown, 10);
    EXPECT_LE(shown, 25);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), sizes.front()), qsizetype(sizes.size()));
}

TEST_F(SpectrumButtonTest, HiddenOrTinyDisplaysDrawNothing)
{
    auto spectrum = Make(QSize(132, 54));
    spectrum->hide();
    const int drawn = spectrum->FramesDrawn();
    float levels[32] = {};
    levels[2] = 0.7f;
    Frames(*spectrum, 3, levels);
    EXPECT_EQ(spectrum->FramesDrawn(), drawn);
    EXPECT_FLOAT_EQ(spectrum->Level(2), 0.7f) << "levels go on while hidden";

    auto tiny = Make(QSize(4, 4));
    Frames(*tiny, 2, levels);
    tiny->Render(nullptr, false, true, true);
    EXPECT_TRUE(tiny->FrameImage().isNull());
    EXPECT_EQ(tiny->FramesDrawn(), 0);
    auto small = Make(QSize(5, 5));
    Frames(*small, 2, levels);
    EXPECT_GT(small->FramesDrawn(), 0);

    auto sharp = Make(QSize(132, 54), QString(), 2.0);
    EXPECT_EQ(sharp->FrameImage().size(), QSize(264, 108));
}

TEST_F(SpectrumButtonTest, AHiddenDisplayComputesNoFrameWhileItsWindowDrawsNothing)
{
    auto spectrum = Make(QSize(132, 54));
    spectrum->Render(nullptr, false, true, false);
    const float shownSweep = spectrum->SweepPosition();
    EXPECT_NE(shownSweep, 0.0f) << "a shown display without sound data sweeps";
    const int drawn = spectrum->FramesDrawn();

    spectrum->hide();
    for (int i = 0; i < 5; ++i)
        spectrum->Render(nullptr, false, true, false);
    EXPECT_EQ(spectrum->SweepPosition(), shownSweep) << "no frame is computed for a hidden display";
    EXPECT_EQ(spectrum->FramesDrawn(), drawn);

    spectrum->show();
    spectrum->Render(nullptr, false, true, false);
    EXPECT_NE(spectrum->SweepPosition(), shownSweep);
    // The sweep's first step back keeps its bar (a frame like the last is not drawn); the next moves it.
    spectrum->Render(nullptr, false, true, false);
    EXPECT_GT(spectrum->FramesDrawn(), drawn);
}

// Silence, a pause or a steady tone gives frame after frame with the same bars: such a frame is neither
// composed nor painted again, while any change that shows (a bar or peak a row higher, mute, the
// recording dot, a new background) is.
TEST_F(SpectrumButtonTest, OnlyFramesThatLookDifferentArePainted)
{
    auto spectrum = Make(QSize(132, 54));
    QCoreApplication::processEvents();
    PaintCounter counter;
    spectrum->installEventFilter(&counter);
    const auto paintsAfter = [&](auto&& step) {
        counter.paints.clear();
        const int drawn = spectrum->FramesDrawn();
        step();
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints[spectrum.get()] > 0, spectrum->FramesDrawn() > drawn);
        return spectrum->FramesDrawn() - drawn;
    };

    float levels[32] = {};
    levels[4] = 0.5f;
    Frames(*spectrum, 80, levels); // the peaks settle on the bars
    QCoreApplication::processEvents();
    const QImage settled = spectrum->FrameImage().copy();
    EXPECT_EQ(paintsAfter([&] { Frames(*spectrum, 10, levels); }), 0) << "nothing new";
    levels[4] = 0.501f; // the same pixel row
    EXPECT_EQ(paintsAfter([&] { Frames(*spectrum, 1, levels); }), 0);
    EXPECT_EQ(spectrum->FrameImage(), settled);

    levels[4] = 0.6f;
    EXPECT_EQ(paintsAfter([&] { Frames(*spectrum, 1, levels); }), 1) << "a bar rose";
    EXPECT_NE(spectrum->FrameImage(), settled);
    EXPECT_EQ(paintsAfter([&] { Frames(*spectrum, 1, levels, true); }), 1) << "muted";
    EXPECT_EQ(paintsAfter([&] { Frames(*spectrum, 1, levels, true); }), 0);
    EXPECT_EQ(paintsAfter([&] { Frames(*spectrum, 3, levels, true, true); }), 3) << "the dot pulses";

    const uint32_t corner = Pixel(*spectrum, 0, 0);
    EXPECT_EQ(paintsAfter([&] {
        spectrum->CopyParentBackground(skin_test::SolidBackground(window.size(), Qt::white));
        Frames(*spectrum, 1, levels, true, true);
    }),
        2)
        << "a new background";
    EXPECT_NE(Pixel(*spectrum, 0, 0), corner);
}

// Bare background under the glass comes from a glazed copy made once: a new background or a skin
// with another glass level must show at once, exactly as in a display that started with it.
TEST_F(SpectrumButtonTest, TheGlassFollowsANewBackgroundAndGlassLevel)
{
    float levels[32] = {};
    levels[3] = 0.9f; // one bar reaching into the glass, the rest bare
    const auto frameOver = [&](CSpectrumButton& spectrum, const QPixmap& background) {
        spectrum.CopyParentBackground(background);
        Frames(spectrum, 1, levels);
        return spectrum.FrameImage().copy();
    };
    const QPixmap black = skin_test::SolidBackground(window.size(), Qt::black);
    const QPixmap white = skin_test::SolidBackground(window.size(), Qt::white);

    auto spectrum = Make(QSize(132, 54));
    const QImage overBlack = frameOver(*spectrum, black);
    const QImage overWhite = frameOver(*spectrum, white);
    EXPECT_NE(overWhite.pixel(100, 54 - 1 - 45), overBlack.pixel(100, 54 - 1 - 45));
    EXPECT_EQ(overWhite, frameOver(*Make(QSize(132, 54)), white));

    const QString dim = QStringLiteral("<GlassLevel>60</GlassLevel>");
    auto dimmed = Make(QSize(132, 54), dim);
    const QImage dimmedOverWhite = frameOver(*dimmed, white);
    EXPECT_NE(dimmedOverWhite, overWhite);
    // The same display given the other skin: its glazed copy is made again.
    const QString file = program.Path() + "skins/S.kvn/skin.kvn";
    ASSERT_TRUE(
        skin_test::WriteSkinFile(file, "<Spectrum><width>132</width><height>54</height>" + dim + "</Spectrum>"));
    CSkin skin;
    bool expanded = false;
    skin.SetSkinPath(program.Path(), "S", expanded);
    spectrum->LoadSkin(skin.Settings(), "Spectrum", 0, 0, 132, 54);
    EXPECT_EQ(frameOver(*spectrum, white), dimmedOverWhite);
}

// The spectrum redraws itself thirty times a second: only its own pixels may be painted then, not the
// window's background under it. The program's style takes the opaque flag from buttons and sliders when
// it polishes them, whether on showing or on a change of style.
TEST_F(SpectrumButtonTest, SkinnedControlsStayOpaqueUnderTheProgramStyle)
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    ASSERT_TRUE(fusion);
    QWidget parent;
    parent.resize(300, 120);
    auto* spectrum = new CSpectrumButton(&parent);
    spectrum->setGeometry(10, 10, 132, 54);
    auto* button = new CGdipButton(&parent);
    button->setGeometry(150, 10, 40, 20);
    auto* slider = new CSliderCtrlEx(&parent);
    slider->setGeometry(150, 40, 100, 20);
    const std::vector<QWidget*> controls { spectrum, button, slider };
    for (QWidget* control : controls)
        control->setStyle(fusion.get());
    parent.show();
    QCoreApplication::processEvents();
    for (QWidget* control : controls)
        EXPECT_TRUE(control->testAttribute(Qt::WA_OpaquePaintEvent)) << control->metaObject()->className();

    PaintCounter counter;
    parent.installEventFilter(&counter);
    spectrum->installEventFilter(&counter);
    spectrum->update();
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints[spectrum], 1);
    EXPECT_EQ(counter.paints[&parent], 0) << "the window under the spectrum is not painted again";

    std::unique_ptr<QStyle> another(QStyleFactory::create(QStringLiteral("Fusion")));
    for (QWidget* control : controls) {
        control->setStyle(another.get());
        EXPECT_TRUE(control->testAttribute(Qt::WA_OpaquePaintEvent)) << control->metaObject()->className();
    }
    for (QWidget* control : controls)
        control->setStyle(nullptr);
}

} // namespace
