#pragma once

#include <string>
#include <string_view>
#include <vector>

// Playlists a station address may lead to: PLS, M3U/M3U8 lists of addresses, and ASX.
class CPlaylistParser
{
public:
    enum class Kind { None, Pls, M3u, Asx };

    // Decides from the content type, the address and the first bytes of the body whether they are a
    // playlist. Segment lists of HTTP live streaming are not playlists of stations: None.
    static Kind Detect(std::string_view contentType, std::string_view url, std::string_view head);
    // The entries in playlist order, as written (XML entities of ASX decoded).
    static std::vector<std::string> Parse(Kind kind, std::string_view body);
    // An entry made absolute against the playlist's own address or file path.
    static std::string Resolve(const std::string& base, const std::string& entry);
};
