#include "ui/PlayTexts.h"
#include "ui/ListColor.h"

#include "tests/support/TestPaths.h"

#include <cmath>
#include <gtest/gtest.h>

namespace
{

TEST(PlayTextsTest, ElapsedTimeAndBufferSteps)
{
    EXPECT_EQ(FormatElapsedTime(0), "00:00");
    EXPECT_EQ(FormatElapsedTime(3599), "59:59");
    EXPECT_EQ(FormatElapsedTime(3600), "01:00");
    EXPECT_EQ(FormatElapsedTime(86399), "23:59");
    EXPECT_EQ(FormatElapsedTime(90000), "1:01");
    EXPECT_EQ(FormatElapsedTime(2591999), "29:23");
    EXPECT_EQ(FormatElapsedTime(2592000), "30");
    EXPECT_EQ(FormatElapsedTime(-5), "00:00");

    EXPECT_EQ(RoundBufferPercent(44), 40);
    EXPECT_EQ(RoundBufferPercent(45), 50);
    EXPECT_EQ(RoundBufferPercent(0), 0);
    EXPECT_EQ(RoundBufferPercent(100), 100);
}

TEST(PlayTextsTest, ShortcutAddressEndsWithItsLineAndNeedsTheExactKey)
{
    EXPECT_EQ(UrlFromShortcut("[InternetShortcut]\r\nURL=http://127.0.0.1:8000/live\r\nIconIndex=0\r\n"),
        "http://127.0.0.1:8000/live");
    EXPECT_EQ(UrlFromShortcut("[InternetShortcut]\nURL=http://a/b"), "http://a/b");
    EXPECT_EQ(UrlFromShortcut("[InternetShortcut]\r\nurl=http://a/b\r\n"), QString());
    EXPECT_EQ(UrlFromShortcut("no address here"), QString());
    // The file's text is Windows-1252, and only its first 4000 bytes count.
    EXPECT_EQ(UrlFromShortcut("URL=http://a/caf\xE9\r\n"), QStringLiteral("http://a/caf\u00E9"));
    EXPECT_EQ(UrlFromShortcut(QByteArray(4000, ' ') + "URL=http://late/"), QString());
}

TEST(PlayTextsTest, LanguageTextsAreFilledWithoutPrintf)
{
    EXPECT_EQ(FormatLangText("Buffer: %d%%", { "40" }), "Buffer: 40%");
    EXPECT_EQ(FormatLangText("There is new version %s available!", { "2.1" }), "There is new version 2.1 available!");
    // A broken language file cannot make the program read arguments it was not given.
    EXPECT_EQ(FormatLangText("%s %s %n %x", { "a" }), "a %s %n %x");
    EXPECT_EQ(StreamFormatText("MP3", 128), "MP3, 128 kbps");
    EXPECT_EQ(StreamFormatText("AAC", 0), "AAC");
    EXPECT_EQ(StreamFormatText("", 128), "");
}

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
