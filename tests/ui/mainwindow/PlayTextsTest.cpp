#include "ui/mainwindow/PlayTexts.h"

#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

namespace
{

TEST(PlayTextsTest, ElapsedTimeBufferStepsAndStreamFormat)
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

    EXPECT_EQ(StreamFormatText("MP3", 128), "MP3, 128 kbps");
    EXPECT_EQ(StreamFormatText("AAC", 0), "AAC");
    EXPECT_EQ(StreamFormatText("", 128), "");
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

} // namespace
