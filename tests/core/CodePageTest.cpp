#include "core/CodePage.h"

#include <gtest/gtest.h>

namespace
{

TEST(CodePageTest, BytesDecodeAndEncodeThroughWindows1252)
{
    const QByteArray bytes("A\x80\x81\x9F\xA0\xE4\xFF", 7);
    const QString text = DecodeAnsi(bytes);
    EXPECT_EQ(text, QString::fromUtf16(u"A\u20AC\u0081\u0178\u00A0\u00E4\u00FF"));
    EXPECT_EQ(EncodeAnsi(text), bytes); // undefined bytes come back as themselves
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(EncodeAnsi(QString::fromUtf16(u"\u0141\u00F3d\u017A \U0001F3B5")),
        QByteArray("?\xF3"
                   "d? ?"));
}

TEST(CodePageTest, Utf8IsTakenOnlyWhenValid)
{
    EXPECT_EQ(DecodeUtf8OrAnsi("\xC3\xA4rger"), QString::fromUtf16(u"\u00E4rger"));
    EXPECT_EQ(DecodeUtf8OrAnsi("\xE4rger"), QString::fromUtf16(u"\u00E4rger"));
    EXPECT_EQ(DecodeUtf8OrAnsi("\xC0\xAF"), QString::fromUtf16(u"\u00C0\u00AF")); // overlong: not UTF-8
}

} // namespace
