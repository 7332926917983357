// The real program's window at fractional pixel densities, as the X server shows it.

#include "tests/ui/support/ProgramFixture.h"

#include "ui/skin/SkinnedControl.h"

#include <cstdlib>

using namespace testing_support;

namespace
{

using ui_testing::ProgramTest;

// The volume slider of the built-in skin's normal layout, in logical pixels.
const QRect kVolumeSlider(286, 221, 88, 30);

int ChannelSum(QRgb pixel)
{
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel);
}

// How much a line of pixels differs on average from the line beside it (channels summed): from the
// first to the last point, each compared with its neighbour one step across.
double LineDifference(const QImage& image, QPoint from, QPoint to, QPoint across)
{
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
    int total = 0;
    int count = 0;
    for (QPoint at = from;; at += step) {
        total += std::abs(ChannelSum(image.pixel(at)) - ChannelSum(image.pixel(at + across)));
        ++count;
        if (at == to)
            break;
    }
    return double(total) / count;
}

TEST_F(ProgramTest, AtFractionalDensitiesTheVolumeSliderMeetsTheBackgroundWithoutASeam)
{
    WriteSettings("<Autoplay>0</Autoplay><Volume>50</Volume>");
    for (const qreal scale : { 1.25, 1.5 }) {
        QProcessEnvironment environment = Environment();
        environment.insert("QT_SCALE_FACTOR", QString::number(scale));
        Launch(program, {}, environment);
        const QString window = WaitForWindow(program, 20000);
        ASSERT_FALSE(window.isEmpty()) << scale;
        // The slider paints itself again on its own: its thumb lights up under the mouse.
        const QRect slider = DevicePixelRect(kVolumeSlider, scale);
        PumpFor(1000);
        RunTool("xdotool",
            { "mousemove", "--window", window, QString::number(slider.center().x()),
                QString::number(slider.center().y()) });
        PumpFor(1000);
        const QImage picture = Grab(window);
        ASSERT_TRUE(picture.rect().contains(slider.adjusted(-1, -1, 1, 1))) << scale;

        // The background runs on across each edge as it does beside it: a smooth gradient changes by
        // a step at most between neighbouring lines, a seam by many.
        const struct {
            const char* edge;
            QPoint from, to, across;
        } edges[] = {
            { "top", slider.topLeft(), slider.topRight(), QPoint(0, -1) },
            { "bottom", slider.bottomLeft(), slider.bottomRight(), QPoint(0, 1) },
            { "left", slider.topLeft(), slider.bottomLeft(), QPoint(-1, 0) },
            { "right", slider.topRight(), slider.bottomRight(), QPoint(1, 0) },
        };
        for (const auto& edge : edges)
            EXPECT_LE(LineDifference(picture, edge.from, edge.to, edge.across), 2.0)
                << "a seam along the " << edge.edge << " edge at " << scale;

        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
        ASSERT_TRUE(WaitForEnd(program, 10000));
    }
}

} // namespace
