#include "audio/TagFile.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TestPaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using testing_support::ReadBytes;
using testing_support::ScratchMount;
using testing_support::WriteBytes;

namespace
{

class TagFileTest : public ::testing::Test
{
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QString MakeFile(const char* name, const QByteArray& bytes) const
    {
        const QString path = Path(name);
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }

    static QByteArray Field(const QByteArray& file, int offsetInTag, int width)
    {
        return file.mid(file.size() - CTagFile::kTagSize + offsetInTag, width);
    }

    QTemporaryDir dir;
};

TEST_F(TagFileTest, UntaggedFileGetsTheTagAppendedAndASecondWriteRewritesItInPlace)
{
    const QByteArray audio(1000, '\x55');
    const QString path = MakeFile("song.mp3", audio);

    CTagFile tag;
    ASSERT_EQ(tag.Open(path), 0);
    EXPECT_TRUE(tag.GetTitle().isEmpty());
    tag.SetTitle(QStringLiteral("Title"));
    tag.SetArtist(QStringLiteral("Artist"));
    tag.SetAlbum(QStringLiteral("Album"));
    tag.SetComment(QStringLiteral("Recorded"));
    tag.WriteTag();
    tag.Close();

    QByteArray bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 1128);
    EXPECT_EQ(bytes.left(1000), audio);
    EXPECT_EQ(bytes.mid(1000, 3), "TAG");
    EXPECT_EQ(Field(bytes, 3, 30), QByteArray("Title").leftJustified(30, '\0'));
    EXPECT_EQ(Field(bytes, 33, 30), QByteArray("Artist").leftJustified(30, '\0'));
    EXPECT_EQ(Field(bytes, 63, 30), QByteArray("Album").leftJustified(30, '\0'));
    EXPECT_EQ(Field(bytes, 93, 4), QByteArray(4, '\0'));
    EXPECT_EQ(Field(bytes, 97, 31), QByteArray("Recorded").leftJustified(31, '\0'));

    // Year, the byte after the comment, track and genre written by someone else must survive a rewrite.
    bytes.replace(1000 + 93, 4, "1999");
    bytes[1000 + 125] = 0;
    bytes[1000 + 126] = 7;
    bytes[1000 + 127] = 17;
    ASSERT_TRUE(WriteBytes(path, bytes));

    ASSERT_EQ(tag.Open(path), 0);
    EXPECT_EQ(tag.GetTitle(), "Title");
    EXPECT_EQ(tag.GetArtist(), "Artist");
    EXPECT_EQ(tag.GetAlbum(), "Album");
    EXPECT_EQ(tag.GetComment(), "Recorded");
    tag.SetTitle(QStringLiteral("New"));
    tag.WriteTag();
    tag.Close();

    bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 1128);
    EXPECT_EQ(Field(bytes, 3, 30), QByteArray("New").leftJustified(30, '\0'));
    EXPECT_EQ(Field(bytes, 33, 6), "Artist");
    EXPECT_EQ(Field(bytes, 93, 4), "1999");
    EXPECT_EQ(Field(bytes, 126, 2), QByteArray("\x07\x11", 2));
}

TEST_F(TagFileTest, FilesShorterThanATagAndMissingFilesFailToOpenAndStayUntouched)
{
    const QString shortFile = MakeFile("short.mp3", QByteArray(100, 'x'));
    const QString emptyFile = MakeFile("empty.mp3", QByteArray());
    CTagFile tag;
    EXPECT_EQ(tag.Open(shortFile), -1);
    EXPECT_FALSE(tag.IsOpen());
    tag.SetTitle(QStringLiteral("ignored"));
    tag.WriteTag();
    EXPECT_EQ(ReadBytes(shortFile), QByteArray(100, 'x'));

    EXPECT_EQ(tag.Open(emptyFile), -1);
    EXPECT_EQ(QFile(emptyFile).size(), 0);
    EXPECT_EQ(tag.Open(Path("missing.mp3")), -1);
    EXPECT_EQ(tag.Open(dir.path()), -1);
    EXPECT_EQ(tag.Open(QStringLiteral("/dev/null")), -1);
}

TEST_F(TagFileTest, ExactlyOneTagLongFileWithoutTagGetsTheTagAppended)
{
    const QString path = MakeFile("128.mp3", QByteArray(128, 'A'));
    CTagFile tag;
    ASSERT_EQ(tag.Open(path), 0);
    tag.WriteTag();
    tag.Close();
    const QByteArray bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 256);
    EXPECT_EQ(bytes.left(128), QByteArray(128, 'A'));
    EXPECT_EQ(bytes.mid(128), QByteArray("TAG").leftJustified(128, '\0'));
}

TEST_F(TagFileTest, LowerCaseMarkerCountsAsUntagged)
{
    QByteArray bytes(500, 'z');
    bytes.replace(500 - 128, 3, "tag");
    const QString path = MakeFile("lower.mp3", bytes);
    CTagFile tag;
    ASSERT_EQ(tag.Open(path), 0);
    EXPECT_TRUE(tag.GetTitle().isEmpty());
    tag.WriteTag();
    tag.Close();
    EXPECT_EQ(QFile(path).size(), 628);
}

TEST_F(TagFileTest, TextsAreWindows1252CutToTheFieldWidthAndDecodedUpToTheFirstZero)
{
    const QString path = MakeFile("text.mp3", QByteArray(300, '\0'));
    CTagFile tag;
    ASSERT_EQ(tag.Open(path), 0);
    const QString forty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCD");
    tag.SetTitle(forty);
    tag.SetArtist(QStringLiteral("Motörhead – €uro"));
    tag.SetAlbum(QStringLiteral("漢字 ok"));
    tag.SetComment(forty);
    EXPECT_EQ(tag.GetTitle(), forty); // the stored text stays whole; only the field is cut
    tag.WriteTag();
    tag.Close();

    const QByteArray bytes = ReadBytes(path);
    EXPECT_EQ(Field(bytes, 3, 30), forty.left(30).toLatin1()); // fills the field without a terminator
    EXPECT_EQ(Field(bytes, 33, 30), QByteArray("Mot\xF6rhead \x96 \x80uro").leftJustified(30, '\0'));
    EXPECT_EQ(Field(bytes, 63, 30), QByteArray("?? ok").leftJustified(30, '\0'));
    EXPECT_EQ(Field(bytes, 97, 28), forty.left(28).toLatin1());
    EXPECT_EQ(static_cast<uint8_t>(bytes.at(bytes.size() - 3)), 0); // byte after the comment stays 0

    ASSERT_EQ(tag.Open(path), 0);
    EXPECT_EQ(tag.GetTitle(), forty.left(30));
    EXPECT_EQ(tag.GetArtist(), QStringLiteral("Motörhead – €uro"));
    EXPECT_EQ(tag.GetAlbum(), QStringLiteral("?? ok"));
    EXPECT_EQ(tag.GetComment(), forty.left(28));

    // A shorter text clears the rest of the field.
    tag.SetTitle(QStringLiteral("x"));
    tag.WriteTag();
    tag.Close();
    EXPECT_EQ(Field(ReadBytes(path), 3, 30), QByteArray("x").leftJustified(30, '\0'));
}

TEST_F(TagFileTest, ReadOnlyFileReadsItsTagButWritingFailsQuietly)
{
    QByteArray bytes(200, 'q');
    QByteArray block = QByteArray("TAGSong").leftJustified(128, '\0');
    block.replace(33, 6, "Singer");
    bytes += block;

    // Root writes files whatever their permissions say, so it gets a read-only file system instead.
    ScratchMount mount(Path("ro"), 1 << 20);
    QString path;
    if (::geteuid() == 0) {
        if (!mount.IsMounted())
            GTEST_SKIP() << "cannot mount a scratch file system";
        path = MakeFile("ro/tagged.mp3", bytes);
        ASSERT_TRUE(mount.MakeReadOnly());
    } else {
        path = MakeFile("tagged.mp3", bytes);
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }

    CTagFile tag;
    ASSERT_EQ(tag.Open(path), 0);
    EXPECT_EQ(tag.GetTitle(), "Song");
    EXPECT_EQ(tag.GetArtist(), "Singer");
    tag.SetTitle(QStringLiteral("Other"));
    tag.WriteTag();
    EXPECT_FALSE(tag.IsOpen());
    EXPECT_EQ(ReadBytes(path), bytes);
}

TEST_F(TagFileTest, FullDeviceIsNotATaggableFile)
{
    // A character device has no length, so it can hold no tag and nothing is written to it.
    CTagFile tag;
    EXPECT_EQ(tag.Open(QStringLiteral("/dev/full")), -1);
    tag.WriteTag();
}

} // namespace
