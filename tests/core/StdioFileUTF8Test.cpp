#include "core/StdioFileUTF8.h"
#include "tests/support/TestPaths.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace
{

class StdioFileUTF8Test : public ::testing::Test
{
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
};

TEST_F(StdioFileUTF8Test, ReadsCrLfAndLfLinesAndSignalsEmptyLinesAndEnd)
{
    const QString path = Path("lines.txt");
    ASSERT_TRUE(WriteBytes(path, "abc\r\n\r\nlf only\nxyz"));
    CStdioFileUTF8 file(path, CStdioFileUTF8::modeRead);
    QString line;
    EXPECT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "abc");
    EXPECT_FALSE(file.ReadString(line)); // a line holding only CR LF looks like the end
    EXPECT_TRUE(line.isEmpty());
    EXPECT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "lf only");
    EXPECT_TRUE(file.ReadString(line)); // last line without a line end
    EXPECT_EQ(line, "xyz");
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_TRUE(line.isEmpty());
}

TEST_F(StdioFileUTF8Test, KeepsLoneCarriageReturnsInsideALine)
{
    const QString path = Path("cr.txt");
    ASSERT_TRUE(WriteBytes(path, "a\rb\r\r\n"));
    CStdioFileUTF8 file(path, CStdioFileUTF8::modeRead);
    QString line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "a\rb\r");
}

TEST_F(StdioFileUTF8Test, LongLinesWithMultiByteCharactersAtPieceBoundariesReadBackUnchanged)
{
    // 3000 bytes with a two-byte character straddling bytes 1023 and 2046, where reading splits pieces.
    QByteArray bytes(3000, 'x');
    const QByteArray ae = "\xC3\x84";
    bytes.replace(1022, 2, ae);
    bytes.replace(2045, 2, ae);
    bytes.replace(2990, 3, "\xE2\x82\xAC"); // a three-byte character near the end
    const QString path = Path("long.txt");
    ASSERT_TRUE(WriteBytes(path, bytes + "\r\nnext\r\n"));

    CStdioFileUTF8 file(path, CStdioFileUTF8::modeRead);
    QString line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, QString::fromUtf8(bytes));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "next");
}

TEST_F(StdioFileUTF8Test, InvalidUtf8DecodesToReplacementCharactersAndReadingGoesOn)
{
    const QString path = Path("bad.txt");
    ASSERT_TRUE(WriteBytes(path, "ok\xFF\xFE!\r\nsecond\r\n"));
    CStdioFileUTF8 file(path, CStdioFileUTF8::modeRead);
    QString line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_TRUE(line.startsWith("ok"));
    EXPECT_TRUE(line.contains(QChar(QChar::ReplacementCharacter)));
    EXPECT_TRUE(line.endsWith("!"));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "second");
}

TEST_F(StdioFileUTF8Test, WritesUtf8WithCrLfAndNoByteOrderMark)
{
    const QString path = Path("out.txt");
    {
        CStdioFileUTF8 file(path, CStdioFileUTF8::modeWrite | CStdioFileUTF8::modeCreate);
        file.WriteString(QString::fromUtf8("\xC3\x84\n"));
        file.WriteString(QStringLiteral("two\nlines\n"));
        file.Close();
    }
    EXPECT_EQ(ReadBytes(path), QByteArray("\xC3\x84\r\ntwo\r\nlines\r\n"));
}

TEST_F(StdioFileUTF8Test, BufferReadKeepsTheLineFeedAndStopsAtTheLimit)
{
    const QString path = Path("buf.txt");
    ASSERT_TRUE(WriteBytes(path, "hello\r\nworld"));
    CStdioFileUTF8 file(path, CStdioFileUTF8::modeRead);
    char16_t buffer[4];
    ASSERT_NE(file.ReadString(buffer, 4), nullptr); // at most 3 bytes
    EXPECT_EQ(QString::fromUtf16(buffer), "hel");
    char16_t big[32];
    ASSERT_NE(file.ReadString(big, 32), nullptr);
    EXPECT_EQ(QString::fromUtf16(big), "lo\n");
    ASSERT_NE(file.ReadString(big, 32), nullptr);
    EXPECT_EQ(QString::fromUtf16(big), "world");
    EXPECT_EQ(file.ReadString(big, 32), nullptr);
}

TEST_F(StdioFileUTF8Test, OpenFailuresThrowWithCauseAndFileName)
{
    const QString missing = Path("no/such/file.txt");
    try {
        CStdioFileUTF8 file(missing, CStdioFileUTF8::modeRead);
        FAIL() << "opening a missing file must throw";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
        EXPECT_EQ(e.m_strFileName, missing);
    }
    CStdioFileUTF8 file;
    CFileException error(CFileException::none, QString());
    EXPECT_FALSE(file.Open(missing, CStdioFileUTF8::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
}

TEST_F(StdioFileUTF8Test, AFullDiskThrowsDiskFull)
{
    CStdioFileUTF8 file(QStringLiteral("/dev/full"), CStdioFileUTF8::modeWrite);
    const QString chunk(8192, QLatin1Char('a'));
    try {
        for (int i = 0; i < 16; ++i)
            file.WriteString(chunk);
        file.Flush();
        FAIL() << "writing to a full disk must throw";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::diskFull);
        EXPECT_EQ(e.m_strFileName, QStringLiteral("/dev/full"));
    }
}

} // namespace
