// The player's stream metadata: tag items, titles, history, bitrates, on generated tag bytes.

#include "audio/RadioPlayer.h"
#include "audio/TagFile.h"
#include "tests/audio/PlayerStatusLog.h"
#include "tests/support/TestPaths.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

namespace
{

// Raw tag bytes as the library hands them out: null-terminated items ended by an empty one.
QByteArray Tag(std::initializer_list<QByteArray> items)
{
    QByteArray bytes;
    for (const QByteArray& item : items) {
        bytes += item;
        bytes += '\0';
    }
    bytes += '\0';
    return bytes;
}

QByteArray Meta(const QByteArray& text)
{
    QByteArray bytes = text;
    bytes += '\0';
    return bytes;
}

// A 4-byte MPEG audio frame header: version bits (3 = MPEG-1, 2 = MPEG-2), layer bits (1 = Layer III,
// 2 = Layer II), bitrate index.
QByteArray FrameHeader(int versionBits, int layerBits, int index)
{
    const uint32_t word = 0xFFE00000u | uint32_t(versionBits) << 19 | uint32_t(layerBits) << 17 | 1u << 16
        | uint32_t(index) << 12 | 0x0400u;
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((word >> shift) & 0xFF);
    return bytes;
}

int Mp3Bitrate(const QByteArray& block)
{
    return RadioPlayer::Mp3BitrateOf(reinterpret_cast<const uint8_t*>(block.constData()), int(block.size()));
}

class PlayerMetadataTest : public ::testing::Test
{
protected:
    std::vector<int> Codes()
    {
        QCoreApplication::sendPostedEvents();
        return log.CodesOf(&player);
    }

    int CountOf(int code)
    {
        const std::vector<int> codes = Codes();
        return int(std::count(codes.begin(), codes.end(), code));
    }

    int argc = 0;
    QCoreApplication app { argc, nullptr };
    PlayerStatusLog log;
    RadioPlayer player { QStringLiteral("Station One"), QStringLiteral("/nonexistent.mp3"), 0, 0, 50, false, &log, 4000,
        0, false };
};

TEST(TagItemTest, ItemsDecodeAsStrictUtf8ElseAsTheCodePage)
{
    EXPECT_EQ(RadioPlayer::DecodeTagText("Caf\xc3\xa9", 5), QStringLiteral("Caf\u00e9"));
    // Invalid UTF-8 (a lone continuation byte, an overlong form, an encoded surrogate) is Windows-1252.
    EXPECT_EQ(RadioPlayer::DecodeTagText("Caf\xe9", 4), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(RadioPlayer::DecodeTagText("\x80 \x9f", 3), QStringLiteral("\u20ac \u0178"));
    EXPECT_EQ(RadioPlayer::DecodeTagText("\xc0\xaf", 2), QStringLiteral("\u00c0\u00af"));
    EXPECT_EQ(RadioPlayer::DecodeTagText("\xed\xa0\x80", 3), QStringLiteral("\u00ed\u00a0\u20ac"));
    // The five bytes the code page leaves open stand for the control characters of the same number.
    EXPECT_EQ(RadioPlayer::DecodeTagText("\x81\x8d", 2), QString(QChar(0x81)) + QChar(0x8d));
}

TEST(TagItemTest, PercentEscapesAreDecodedAndBrokenOnesKept)
{
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("Rock%20%26%20Roll")), QStringLiteral("Rock & Roll"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("Caf%C3%A9")), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("Caf%E9 ok")), QStringLiteral("Caf\u00e9 ok"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("100%")), QStringLiteral("100%"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("end %4")), QStringLiteral("end %4"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("%zz%2")), QStringLiteral("%zz%2"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("what?#now")), QStringLiteral("what?#now"));
    EXPECT_EQ(RadioPlayer::UrlDecodeTagText(QStringLiteral("cut%00here")), QStringLiteral("cut"));
}

TEST(TagItemTest, ReadingStopsAtAnEmptyItemOrOneOf256Bytes)
{
    const QByteArray tag = Tag({ "first", "second" });
    QString item;
    const char* next = RadioPlayer::ReadTagItem(tag.constData(), item);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(item, QStringLiteral("first"));
    next = RadioPlayer::ReadTagItem(next, item);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(item, QStringLiteral("second"));
    EXPECT_EQ(RadioPlayer::ReadTagItem(next, item), nullptr);
    EXPECT_EQ(item, QStringLiteral("second"));
    EXPECT_EQ(RadioPlayer::ReadTagItem(nullptr, item), nullptr);

    const QByteArray item255(255, 'a');
    const QByteArray item256(256, 'b');
    EXPECT_NE(RadioPlayer::ReadTagItem(Tag({ item255 }).constData(), item), nullptr);
    EXPECT_EQ(item.size(), 255);
    item.clear();
    EXPECT_EQ(RadioPlayer::ReadTagItem(Tag({ item256, "after" }).constData(), item), nullptr);
    EXPECT_TRUE(item.isEmpty());
}

TEST(TagItemTest, KeyIsTheFirstTokenAndValueTheTrimmedRest)
{
    QString key;
    QString value;
    EXPECT_TRUE(RadioPlayer::SplitKeyValue(QStringLiteral("icy-br:128"), key, value));
    EXPECT_EQ(key, QStringLiteral("ICY-BR"));
    EXPECT_EQ(value, QStringLiteral("128"));
    EXPECT_TRUE(RadioPlayer::SplitKeyValue(QStringLiteral(" ;title=  A = B  "), key, value));
    EXPECT_EQ(key, QStringLiteral("TITLE"));
    EXPECT_EQ(value, QStringLiteral("A = B"));
    EXPECT_TRUE(RadioPlayer::SplitKeyValue(QStringLiteral("icy-name: Radio: One"), key, value));
    EXPECT_EQ(value, QStringLiteral("Radio: One"));
    EXPECT_FALSE(RadioPlayer::SplitKeyValue(QStringLiteral("artist="), key, value));
    EXPECT_FALSE(RadioPlayer::SplitKeyValue(QStringLiteral("artist=   "), key, value));
    EXPECT_FALSE(RadioPlayer::SplitKeyValue(QStringLiteral("lonely"), key, value));
    EXPECT_FALSE(RadioPlayer::SplitKeyValue(QString(), key, value));
}

TEST(TitleTest, ComposedTitlesSplitIntoArtistAndTitle)
{
    QString title = QStringLiteral(" 'Song.' ");
    QString artist = QStringLiteral("_Artist_");
    EXPECT_EQ(RadioPlayer::ComposeTitle(title, artist), QStringLiteral("Artist - Song"));
    EXPECT_EQ(artist, QStringLiteral("Artist"));
    EXPECT_EQ(title, QStringLiteral("Song"));

    title = QStringLiteral("Artist-Song");
    artist.clear();
    EXPECT_EQ(RadioPlayer::ComposeTitle(title, artist), QStringLiteral("Artist - Song"));
    EXPECT_EQ(artist, QStringLiteral("Artist"));

    title = QStringLiteral("Only a title");
    artist.clear();
    EXPECT_EQ(RadioPlayer::ComposeTitle(title, artist), QStringLiteral("Only a title"));
    EXPECT_TRUE(artist.isEmpty());
    EXPECT_EQ(title, QStringLiteral("Only a title"));

    title.clear();
    artist = QStringLiteral("Only an artist");
    EXPECT_EQ(RadioPlayer::ComposeTitle(title, artist), QStringLiteral("Only an artist"));
    EXPECT_TRUE(artist.isEmpty());

    title = QStringLiteral(":',.-_ ");
    artist = QStringLiteral("--");
    EXPECT_TRUE(RadioPlayer::ComposeTitle(title, artist).isEmpty());
}

TEST(TitleTest, ComparisonIgnoresCaseBlanksAndPunctuation)
{
    EXPECT_TRUE(RadioPlayer::TitlesEqual(QStringLiteral("Artist - Song."), QStringLiteral("artist - song")));
    EXPECT_TRUE(RadioPlayer::TitlesEqual(QStringLiteral("A_B*C,D"), QStringLiteral("abcd")));
    EXPECT_FALSE(RadioPlayer::TitlesEqual(QStringLiteral("Song 1"), QStringLiteral("Song 2")));
    EXPECT_FALSE(RadioPlayer::TitlesEqual(QStringLiteral("Rock'n'Roll"), QStringLiteral("RocknRoll")));
}

TEST(BitrateParserTest, Mp3FrameHeadersGiveTheLayerThreeColumn)
{
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 1, 9) + QByteArray(8, 0)), 128);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 1, 14) + QByteArray(8, 0)), 320);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 1, 1) + QByteArray(8, 0)), 32);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 1, 13) + QByteArray(8, 0)), 256);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(2, 1, 8) + QByteArray(8, 0)), 64);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(2, 1, 14) + QByteArray(8, 0)), 160);
    // The sync word is found after leading garbage.
    EXPECT_EQ(Mp3Bitrate(QByteArray("\x12\x34\x56", 3) + FrameHeader(3, 1, 9) + QByteArray(8, 0)), 128);
    // The first sync word decides: a Layer II header ends the scan, as does MPEG 2.5.
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 2, 9) + FrameHeader(3, 1, 9) + QByteArray(8, 0)), -1);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(0, 1, 9) + FrameHeader(3, 1, 9) + QByteArray(8, 0)), -1);
    // The scan leaves six bytes at the end; short blocks give nothing.
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 1, 9) + QByteArray(2, 0)), -1);
    EXPECT_EQ(Mp3Bitrate(FrameHeader(3, 1, 9) + QByteArray(3, 0)), 128);
    EXPECT_EQ(Mp3Bitrate(QByteArray("\xff\xfb", 2)), -1);
    EXPECT_EQ(RadioPlayer::Mp3BitrateOf(nullptr, 100), -1);
}

TEST(BitrateParserTest, VorbisIdentificationHeaderGivesItsNominalBitrate)
{
    // One Ogg page with one segment: 27-byte header, segment table, then the packet "\x01vorbis".
    QByteArray page(80, 0);
    page.replace(0, 4, "OggS");
    page[26] = 1;
    page.replace(28, 7, "\x01vorbis");
    const uint32_t nominal = 131000;
    for (int i = 0; i < 4; ++i)
        page[48 + i] = char((nominal >> (8 * i)) & 0xFF);
    auto parse = [](const QByteArray& bytes) {
        return RadioPlayer::VorbisBitrateOf(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()));
    };
    EXPECT_EQ(parse(page), 128);
    EXPECT_EQ(parse(page.left(57)), 128);
    EXPECT_EQ(parse(page.left(56)), -1);
    QByteArray other = page;
    other[29] = 'V';
    EXPECT_EQ(parse(other), -1);
}

TEST(CodecNameTest, StreamTypesHaveTheirNames)
{
    EXPECT_EQ(RadioPlayer::CodecName(0x10005), QStringLiteral("MP3"));
    EXPECT_EQ(RadioPlayer::CodecName(0x10002), QStringLiteral("OGG"));
    EXPECT_EQ(RadioPlayer::CodecName(0x10301), QStringLiteral("WMA"));
    EXPECT_EQ(RadioPlayer::CodecName(0x10B00), QStringLiteral("AAC"));
    EXPECT_EQ(RadioPlayer::CodecName(0x10B01), QStringLiteral("MP4"));
    EXPECT_EQ(RadioPlayer::CodecName(0x50003), QStringLiteral("WAV"));
    EXPECT_EQ(RadioPlayer::CodecName(0x10006), QString());
    EXPECT_EQ(RadioPlayer::CodecName(0), QString());
}

TEST_F(PlayerMetadataTest, MetaStreamTitleSetsTitleArtistAndHistoryAndAnnouncesIt)
{
    player.ReadMetaTag(Meta("StreamTitle='Artist - Song';StreamUrl='';").constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Artist - Song"));
    EXPECT_EQ(player.GetArtist(), QStringLiteral("Artist"));
    EXPECT_EQ(player.GetSongTitle(), QStringLiteral("Song"));
    EXPECT_EQ(
        player.GetTitleHistory(), QStringList({ QStringLiteral("Station One"), QStringLiteral("Artist - Song") }));
    EXPECT_EQ(Codes(), std::vector<int> { PlayerStatusNewStreamTitle });

    // The same title in other dress is no new title.
    player.ReadMetaTag(Meta("StreamTitle='artist-song.';").constData());
    EXPECT_EQ(CountOf(PlayerStatusNewStreamTitle), 1);
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Artist - Song"));

    player.ReadMetaTag(Meta("StreamTitle='A;B';").constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("A"));
    EXPECT_EQ(CountOf(PlayerStatusNewStreamTitle), 2);
}

TEST_F(PlayerMetadataTest, EmptyAndDegenerateTitlesChangeNothing)
{
    player.ReadMetaTag(Meta("StreamTitle='Before';").constData());
    const QStringList history = player.GetTitleHistory();
    for (const char* text : { "StreamTitle='';", "StreamTitle=';;;';", "StreamTitle=' .,:';", "StreamTitle=' - _';",
             "StreamTitle=';", "StreamTitle", "StreamTitle=", "StreamUrl='http://x';", "", ";;;", "%" }) {
        player.ReadMetaTag(Meta(text).constData());
    }
    player.ReadMetaTag(nullptr);
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Before"));
    EXPECT_EQ(player.GetTitleHistory(), history);
    EXPECT_EQ(CountOf(PlayerStatusNewStreamTitle), 1);
}

TEST_F(PlayerMetadataTest, InvalidUtf8TitleIsReadInTheCodePageAndPercentEscapesDecoded)
{
    player.ReadMetaTag(Meta("StreamTitle='Beyonc\xe9 - Halo';").constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Beyonc\u00e9 - Halo"));
    player.ReadMetaTag(Meta("StreamTitle='AC%2FDC - Back%20in%20Black%';").constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("AC/DC - Back in Black%"));
}

TEST_F(PlayerMetadataTest, OggCommentsComposeInTheOrderTheyCome)
{
    player.ReadOggTags(Tag({ "TITLE=Song", "ARTIST=Band", "ALBUM=Record" }).constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Song"));
    EXPECT_TRUE(player.GetArtist().isEmpty());
    EXPECT_EQ(player.GetAlbum(), QStringLiteral("Record"));
    EXPECT_TRUE(player.GetTitleHistory().contains(QStringLiteral("Album - Record")));
    EXPECT_TRUE(player.GetTitleHistory().contains(QStringLiteral("Band")));

    player.ReadOggTags(Tag({ "artist=Band", "title=Other Song" }).constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Band - Other Song"));
    EXPECT_EQ(player.GetArtist(), QStringLiteral("Band"));
    EXPECT_EQ(player.GetSongTitle(), QStringLiteral("Other Song"));
    EXPECT_EQ(CountOf(PlayerStatusNewStreamTitle), 2);
}

TEST_F(PlayerMetadataTest, IcyHeadersFillNameHistoryAndTheFirstBitrate)
{
    player.ReadIcyHeaders(Tag({ "ICY 200 OK", "icy-name: My Radio \t", "icy-genre:Jazz", "icy-br:128",
                                  "icy-description:Best: music", "icy-url:http://example.invalid", "icy-pub:1" })
                              .constData());
    EXPECT_EQ(player.GetOwnStreamName(), QStringLiteral("My Radio"));
    EXPECT_EQ(player.GetBitrate(), 128);
    EXPECT_EQ(player.GetTitleHistory(),
        QStringList({ QStringLiteral("Station One"), QStringLiteral("My Radio"), QStringLiteral("Genre - Jazz"),
            QStringLiteral("Best: music"), QStringLiteral("http://example.invalid") }));
    EXPECT_EQ(CountOf(PlayerStatusBitrateChanged), 1);

    // A known bitrate stays; HTTP headers use the same rules.
    player.ReadIcyHeaders(Tag({ "icy-br:64", "CurrentBitrate: 256000" }).constData());
    EXPECT_EQ(player.GetBitrate(), 128);
    EXPECT_EQ(CountOf(PlayerStatusBitrateChanged), 1);
    // The title comparison keeps the history free of doubles.
    player.ReadIcyHeaders(Tag({ "icy-name:my radio." }).constData());
    EXPECT_EQ(player.GetTitleHistory().size(), 5);
}

TEST_F(PlayerMetadataTest, HeaderFloodsLeaveTheHistoryBoundedWithStationAndTitleFirst)
{
    // 1,500 header lines, each a new text, read again with every metadata block.
    std::vector<QByteArray> lines;
    for (int i = 0; i < 500; ++i) {
        lines.push_back("icy-description: Description " + QByteArray::number(i));
        lines.push_back("icy-url: http://example.invalid/" + QByteArray::number(i));
        lines.push_back("author: Author " + QByteArray::number(i));
    }
    QByteArray flood;
    for (const QByteArray& line : lines)
        flood += line + '\0';
    flood += '\0';

    player.ReadMetaTag(Meta("StreamTitle='Band - Song';").constData());
    for (int pass = 0; pass < 3; ++pass)
        player.ReadIcyHeaders(flood.constData());
    QStringList history = player.GetTitleHistory();
    EXPECT_EQ(history.size(), RadioPlayer::kMaxHistoryEntries);
    EXPECT_EQ(history.mid(0, 3),
        QStringList({ QStringLiteral("Station One"), QStringLiteral("Band - Song"), QStringLiteral("Description 0") }));
    EXPECT_EQ(history.removeDuplicates(), 0);

    // A new title starts the history over, and the flood fills it to the same bound again.
    player.ReadMetaTag(Meta("StreamTitle='Band - Next';").constData());
    EXPECT_EQ(player.GetTitleHistory(), QStringList({ QStringLiteral("Station One"), QStringLiteral("Band - Next") }));
    player.ReadIcyHeaders(flood.constData());
    EXPECT_EQ(player.GetTitleHistory().size(), RadioPlayer::kMaxHistoryEntries);

    // A pass reads a bounded number of lines: a bitrate behind the flood is never reached.
    player.ReadIcyHeaders((flood.chopped(1) + "icy-br:192" + '\0' + '\0').constData());
    EXPECT_EQ(player.GetBitrate(), 0);
}

TEST_F(PlayerMetadataTest, TitlesNeverHoldControlCharacters)
{
    const auto clean = [](const QString& text) {
        return std::none_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
    };
    // Raw control bytes, escaped line breaks, an escape sequence and a UTF-8 C1 code (NEL).
    player.ReadMetaTag(Meta("StreamTitle='Band\x01\x02 - So\tng\x1b[0m\x7f';").constData());
    EXPECT_TRUE(clean(player.GetStreamName())) << player.GetStreamName().toStdString();
    EXPECT_TRUE(player.GetStreamName().startsWith(QStringLiteral("Band")));
    player.ReadMetaTag(Meta("StreamTitle='Line%0D%0ABreak';").constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Line Break"));
    player.ReadMetaTag(Meta("StreamTitle='Next\xc2\x85Line';").constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Next Line"));

    player.ReadIcyHeaders(Tag({ "icy-name: Radio\r\x07One" }).constData());
    EXPECT_EQ(player.GetOwnStreamName(), QStringLiteral("Radio One"));
    player.ReadOggTags(Tag({ "ARTIST=Art\x1bist", "TITLE=Ti\x0ctle", "ALBUM=Disc\x0bOne" }).constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Art ist - Ti tle"));
    EXPECT_EQ(player.GetAlbum(), QStringLiteral("Disc One"));

    // An ID3v1 tag of a local file is just as untrusted.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    ASSERT_TRUE(testing_support::WriteBytes(path, QByteArray(1000, '\x55')));
    {
        CTagFile tag;
        ASSERT_EQ(tag.Open(path), 0);
        tag.SetTitle(QStringLiteral("Local\nSong"));
        tag.SetArtist(QStringLiteral("Local\aBand"));
        tag.SetAlbum(QStringLiteral("Local\rDisc"));
        tag.WriteTag();
    }
    player.ReadLocalFileTag(path);
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Local Band - Local Song"));
    EXPECT_EQ(player.GetStationName(), QStringLiteral("Local Song"));
    EXPECT_EQ(player.GetAlbum(), QStringLiteral("Local Disc"));

    for (const QString& entry : player.GetTitleHistory())
        EXPECT_TRUE(clean(entry)) << entry.toStdString();
    EXPECT_TRUE(clean(player.GetArtist()));
    EXPECT_TRUE(clean(player.GetSongTitle()));
}

TEST_F(PlayerMetadataTest, CurrentBitrateHeaderIsBitsPerSecondRoundedDownToFour)
{
    player.ReadIcyHeaders(Tag({ "CurrentBitrate: 130000" }).constData());
    EXPECT_EQ(player.GetBitrate(), 128);
}

TEST_F(PlayerMetadataTest, WmaDataPairsAreReadToTheLastOne)
{
    player.ReadWmaTags(Tag({ "DATA=artist=Band&&title=Song&album=Disc&mmss=03:15&&", "ignored=1" }).constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Band - Song"));
    EXPECT_EQ(player.GetAlbum(), QStringLiteral("Disc"));
    const QStringList history = player.GetTitleHistory();
    EXPECT_TRUE(history.contains(QStringLiteral("Album - Disc")));
    EXPECT_TRUE(history.contains(QStringLiteral("Duration - 03:15")));

    player.ReadWmaTags(Tag({ "OTHER=title=Nope" }).constData());
    player.ReadWmaTags(Tag({ "DATA=&&&" }).constData());
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Band - Song"));
}

TEST_F(PlayerMetadataTest, HistoryRotatesAndSurvivesShrinking)
{
    EXPECT_EQ(player.GetNextTitle(), QStringLiteral("Station One"));
    EXPECT_EQ(player.GetNextTitle(), QStringLiteral("Station One"));

    player.ReadIcyHeaders(Tag({ "icy-name:A", "icy-description:B", "icy-url:C", "icy-genre:D" }).constData());
    QStringList seen;
    for (int i = 0; i < 5; ++i)
        seen << player.GetNextTitle();
    QStringList history = player.GetTitleHistory();
    EXPECT_EQ(history.size(), 5);
    seen.sort();
    history.sort();
    EXPECT_EQ(seen, history);

    // A new title leaves two entries while the cursor stood further on.
    player.ReadMetaTag(Meta("StreamTitle='New';").constData());
    const QString next = player.GetNextTitle();
    EXPECT_TRUE(next == QStringLiteral("Station One") || next == QStringLiteral("New"));
    EXPECT_NE(player.GetNextTitle(), next);
}

TEST_F(PlayerMetadataTest, BitrateChangesAreAnnouncedOnlyWhenTheyDiffer)
{
    const QByteArray frame = FrameHeader(3, 1, 9) + QByteArray(16, 0);
    player.ParseMp3Bitrate(frame.constData(), int(frame.size()));
    player.ParseMp3Bitrate(frame.constData(), int(frame.size()));
    EXPECT_EQ(player.GetBitrate(), 128);
    EXPECT_EQ(CountOf(PlayerStatusBitrateChanged), 1);
    const QByteArray layer2 = FrameHeader(3, 2, 9) + QByteArray(16, 0);
    player.ParseMp3Bitrate(layer2.constData(), int(layer2.size()));
    EXPECT_EQ(player.GetBitrate(), 128);
    player.SetBitrate(-5);
    EXPECT_EQ(player.GetBitrate(), 0);
    EXPECT_EQ(CountOf(PlayerStatusBitrateChanged), 2);
}

TEST_F(PlayerMetadataTest, LocalFileTagNamesTheStation)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    ASSERT_TRUE(testing_support::WriteBytes(path, QByteArray(1000, '\x55')));
    {
        CTagFile tag;
        ASSERT_EQ(tag.Open(path), 0);
        tag.SetTitle(QStringLiteral("Caf\u00e9 Song"));
        tag.SetArtist(QStringLiteral("Band"));
        tag.SetAlbum(QStringLiteral("Disc"));
        tag.WriteTag();
    }
    player.ReadLocalFileTag(path);
    EXPECT_EQ(player.GetStreamName(), QStringLiteral("Band - Caf\u00e9 Song"));
    EXPECT_EQ(player.GetStationName(), QStringLiteral("Caf\u00e9 Song"));
    EXPECT_EQ(player.GetOwnStreamName(), QStringLiteral("Caf\u00e9 Song"));
    EXPECT_EQ(player.GetAlbum(), QStringLiteral("Disc"));
    EXPECT_EQ(player.GetTitleHistory(),
        QStringList(
            { QStringLiteral("Caf\u00e9 Song"), QStringLiteral("Band - Caf\u00e9 Song"), QStringLiteral("Disc") }));
    EXPECT_EQ(CountOf(PlayerStatusNewStreamTitle), 2);

    // A file that cannot be read changes nothing.
    player.ReadLocalFileTag(dir.filePath(QStringLiteral("missing.mp3")));
    EXPECT_EQ(player.GetStationName(), QStringLiteral("Caf\u00e9 Song"));
}

TEST_F(PlayerMetadataTest, StreamNameIsTrimmedAndNeverEmptied)
{
    player.SetStreamName(QStringLiteral("\r\n Name \t"));
    EXPECT_EQ(player.GetOwnStreamName(), QStringLiteral("Name"));
    player.SetStreamName(QStringLiteral(" \t\r\n"));
    EXPECT_EQ(player.GetOwnStreamName(), QStringLiteral("Name"));
}

} // namespace
