#include "ui/skin/ListColor.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace
{

// The colour rule, sampled independently with the same generator.
QColor ReferenceListColor(const QImage& image, const QSize& client)
{
    CSampleRandom random(1);
    double sum[3] = { 0, 0, 0 };
    QRgb last = qRgb(0, 0, 0);
    for (int i = 0; i < 2000; ++i) {
        const int y = int(random.Next() / 32768.0 * client.height());
        const int x = int(random.Next() / 32768.0 * client.width());
        if (x < image.width() && y < image.height())
            last = image.pixel(x, y);
        sum[0] += qRed(last);
        sum[1] += qGreen(last);
        sum[2] += qBlue(last);
    }
    double r = sum[0] * 0.0005, g = sum[1] * 0.0005, b = sum[2] * 0.0005;
    const double l = std::sqrt((r * r + g * g + b * b) / 3);
    if (l < 130) {
        const double f = std::min(180 / l, 230 / std::max({ r, g, b }));
        r *= f, g *= f, b *= f;
    }
    return QColor(int(std::lround(r)), int(std::lround(g)), int(std::lround(b)));
}

TEST(ListColorTest, DarkImagesAreBrightenedBrightOnesAveragedAndBlackStaysBlack)
{
    EXPECT_EQ(CSampleRandom(1).Next(), 41) << "the generator's first value";

    const QSize client(390, 312);
    QImage dark(client, QImage::Format_RGB32);
    dark.fill(QColor(20, 24, 40));
    const QColor brightened = ListColorFromImage(dark, client);
    EXPECT_EQ(brightened, ReferenceListColor(dark, client));
    EXPECT_EQ(brightened.blue(), 230) << "the strongest channel reaches 230 first";

    QImage bright(client, QImage::Format_RGB32);
    bright.fill(QColor(200, 210, 220));
    EXPECT_EQ(ListColorFromImage(bright, client), QColor(200, 210, 220));

    QImage black(client, QImage::Format_RGB32);
    black.fill(Qt::black);
    EXPECT_EQ(ListColorFromImage(black, client), QColor(0, 0, 0));

    // Half the samples of a smaller image fall outside it and repeat the colour read before.
    QImage small(QSize(100, 80), QImage::Format_RGB32);
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x)
            small.setPixel(x, y, qRgb(x * 2, y * 3, 255 - x));
    EXPECT_EQ(ListColorFromImage(small, client), ReferenceListColor(small, client));
    EXPECT_NE(ListColorFromImage(small, client), ListColorFromImage(small, small.size()));
}

} // namespace
