#include "audio/library/PlaylistParser.h"

#include <gtest/gtest.h>

using Kind = CPlaylistParser::Kind;

TEST(PlaylistParserTest, RecognisesPlaylistsByContentTypeAndContent)
{
    EXPECT_EQ(CPlaylistParser::Detect("audio/x-scpls", "http://h/a", "[playlist]\nFile1=http://x/\n"), Kind::Pls);
    EXPECT_EQ(CPlaylistParser::Detect("text/html", "http://h/a", "\xEF\xBB\xBF  [Playlist]\r\n"), Kind::Pls);
    EXPECT_EQ(CPlaylistParser::Detect("", "http://h/a", "#EXTM3U\n#EXTINF:-1,X\nhttp://x/\n"), Kind::M3u);
    EXPECT_EQ(CPlaylistParser::Detect("audio/x-mpegurl", "http://h/a", "http://x/stream\n"), Kind::M3u);
    EXPECT_EQ(CPlaylistParser::Detect("text/plain", "http://h/list.m3u8?x=1", "http://x/stream\n"), Kind::M3u);
    EXPECT_EQ(
        CPlaylistParser::Detect("video/x-ms-asf", "http://h/a", "<ASX version=\"3.0\"><Entry><Ref href=\"http://x\"/>"),
        Kind::Asx);
    EXPECT_EQ(CPlaylistParser::Detect("", "http://h/a", "<asx version=\"3\">"), Kind::Asx);

    // Not playlists: audio, HTML, binary ASF, and segment lists of live streaming.
    EXPECT_EQ(CPlaylistParser::Detect("audio/mpeg", "http://h/a.m3u", "\xFF\xFB\x90\x64"), Kind::None);
    EXPECT_EQ(CPlaylistParser::Detect("text/html", "http://h/", "<!DOCTYPE html><html>"), Kind::None);
    EXPECT_EQ(CPlaylistParser::Detect("video/x-ms-asf", "http://h/a", std::string("\x30\x26\xB2\x75\x8E\x66", 6)),
        Kind::None);
    EXPECT_EQ(CPlaylistParser::Detect(
                  "application/vnd.apple.mpegurl", "http://h/a.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:10\nseg1.ts\n"),
        Kind::None);
    EXPECT_EQ(CPlaylistParser::Detect("text/plain", "http://h/readme.txt", "http://x/stream\n"), Kind::None);
}

TEST(PlaylistParserTest, ReadsEntriesInPlaylistOrder)
{
    EXPECT_EQ(CPlaylistParser::Parse(Kind::Pls,
                  "[playlist]\r\nFile2=http://b/\r\nTitle1=A\r\nfile1 = http://a/ \r\n"
                  "File3=\r\nFileX=http://no/\r\nNumberOfEntries=2\r\n"),
        (std::vector<std::string> { "http://a/", "http://b/" }));
    EXPECT_EQ(
        CPlaylistParser::Parse(Kind::M3u, "\xEF\xBB\xBF#EXTM3U\n#EXTINF:-1,Radio\nhttp://a/\n\n  relative.mp3  \r\n"),
        (std::vector<std::string> { "http://a/", "relative.mp3" }));
    EXPECT_EQ(CPlaylistParser::Parse(Kind::Asx,
                  "<asx version=\"3.0\"><entry><REF HREF = 'http://a/x?b=1&amp;c=2' />"
                  "</entry><entryref href=\"http://b/list.asx\"/><reference href=\"no\"/>"
                  "<ref href=http://c/ /></asx>"),
        (std::vector<std::string> { "http://a/x?b=1&c=2", "http://b/list.asx", "http://c/" }));
    EXPECT_TRUE(CPlaylistParser::Parse(Kind::Asx, "<asx><ref href=").empty());
}

TEST(PlaylistParserTest, ResolvesRelativeEntries)
{
    EXPECT_EQ(CPlaylistParser::Resolve("http://h:8000/dir/list.pls?x=1", "stream"), "http://h:8000/dir/stream");
    EXPECT_EQ(CPlaylistParser::Resolve("http://h:8000/dir/list.pls", "/live"), "http://h:8000/live");
    EXPECT_EQ(CPlaylistParser::Resolve("https://h/dir/list.pls", "//other/x"), "https://other/x");
    EXPECT_EQ(CPlaylistParser::Resolve("http://h", "x"), "http://h/x");
    EXPECT_EQ(CPlaylistParser::Resolve("http://h/a", "http://elsewhere/"), "http://elsewhere/");
    EXPECT_EQ(CPlaylistParser::Resolve("/music/lists/a.m3u", "../b.mp3"), "/music/lists/../b.mp3");
    EXPECT_EQ(CPlaylistParser::Resolve("/music/a.m3u", "/abs/b.mp3"), "/abs/b.mp3");
}
