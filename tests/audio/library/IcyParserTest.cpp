#include "audio/library/IcyParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// A stream of audio bytes 'a'..'z' repeating, with a metadata block after every interval bytes.
struct IcyStream {
    std::string wire;
    std::string audio;
    std::vector<std::string> blocks;
};

IcyStream MakeStream(uint32_t interval, int intervals, const std::vector<std::string>& metadata)
{
    IcyStream stream;
    for (int i = 0; i < intervals; ++i) {
        for (uint32_t j = 0; j < interval; ++j) {
            const char c = char('a' + (stream.audio.size() % 26));
            stream.audio += c;
            stream.wire += c;
        }
        const std::string& text = metadata[size_t(i) % metadata.size()];
        const size_t length = (text.size() + 15) / 16;
        stream.wire += char(length);
        stream.wire += text;
        stream.wire.append(length * 16 - text.size(), '\0');
        if (!text.empty())
            stream.blocks.push_back(text);
    }
    return stream;
}

std::pair<std::string, std::vector<std::string>> Parse(const IcyStream& stream, uint32_t interval, size_t chunk)
{
    CIcyParser parser(interval);
    std::vector<uint8_t> audio;
    std::vector<std::string> blocks;
    for (size_t i = 0; i < stream.wire.size(); i += chunk) {
        const size_t n = std::min(chunk, stream.wire.size() - i);
        parser.Feed(reinterpret_cast<const uint8_t*>(stream.wire.data() + i), n, audio,
            [&](const std::string& text) { blocks.push_back(text); });
    }
    return { std::string(audio.begin(), audio.end()), blocks };
}

} // namespace

TEST(IcyParserTest, SeparatesAudioFromMetadataWhereverTheBlocksSplit)
{
    const std::vector<std::string> metadata = { "StreamTitle='A - B';", "", "StreamTitle='C';StreamUrl='';" };
    const IcyStream stream = MakeStream(100, 9, metadata);
    for (size_t chunk : { 1, 7, 16, 100, 101, 1000, 100000 }) {
        SCOPED_TRACE(chunk);
        const auto [audio, blocks] = Parse(stream, 100, chunk);
        EXPECT_EQ(audio, stream.audio);
        EXPECT_EQ(blocks, stream.blocks);
    }
}

TEST(IcyParserTest, TakesTheLargestBlockAndStopsAtTheFirstZeroByte)
{
    // 255 * 16 = 4080 bytes of metadata, the most one length byte can announce.
    const std::string big = "StreamTitle='" + std::string(4080 - 15, 'x') + "';";
    IcyStream stream = MakeStream(8192, 3, { big });
    auto [audio, blocks] = Parse(stream, 8192, 4096);
    EXPECT_EQ(audio, stream.audio);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].size(), 4080u);

    std::string padded = "StreamTitle='Z';";
    padded += std::string(1, '\0') + "junk after the end";
    stream = MakeStream(50, 1, { padded });
    std::tie(audio, blocks) = Parse(stream, 50, 13);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], "StreamTitle='Z';");
}

TEST(IcyParserTest, WithoutAnIntervalEveryByteIsAudio)
{
    CIcyParser parser(0);
    std::vector<uint8_t> audio;
    const std::string bytes("\x05StreamTitle='x';", 17);
    parser.Feed(
        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), audio, [](const std::string&) { FAIL(); });
    EXPECT_EQ(std::string(audio.begin(), audio.end()), bytes);
}

TEST(IcyParserTest, BlocksThatAreNotKeyValueTextAreDropped)
{
    const std::vector<std::string> good = { "StreamTitle='Guns N' Roses - Don't Cry';StreamUrl='';", "StreamTitle='';",
        "StreamTitle='A;B';", "StreamTitle='Rock';n';Roll';", "StreamTitle='Caf\xE9\tBar';  " };
    const std::vector<std::string> bad = { "StreamTitle='Song';\xFF\xFB\x90\x64\x11\x83", "ck 2';", "\xFF\xFB\x90\x44",
        "StreamTitle='Line\r\nbreak';", "StreamTitle='Open", "StreamTitle=Song;", "='x';", "StreamTitle='x';junk" };
    std::vector<std::string> metadata = good;
    metadata.insert(metadata.end(), bad.begin(), bad.end());
    const IcyStream stream = MakeStream(64, int(metadata.size()), metadata);
    const auto [audio, blocks] = Parse(stream, 64, 29);
    EXPECT_EQ(audio, stream.audio);
    EXPECT_EQ(blocks, good);
}
