// Playlists a station address may lead to: detected by content type, address and first bytes, parsed,
// and every entry made absolute against the playlist's address.

#include "audio/library/PlaylistParser.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const std::string contentType = input.TakeUntil('\n').toStdString();
    const std::string url = input.TakeUntil('\n').toStdString();
    const QByteArray bodyBytes = input.TakeRest();
    const std::string_view body(bodyBytes.constData(), size_t(bodyBytes.size()));

    const CPlaylistParser::Kind detected = CPlaylistParser::Detect(contentType, url, body.substr(0, 1024));
    for (CPlaylistParser::Kind kind :
        { detected, CPlaylistParser::Kind::Pls, CPlaylistParser::Kind::M3u, CPlaylistParser::Kind::Asx }) {
        const std::vector<std::string> entries = CPlaylistParser::Parse(kind, body);
        // Every entry is a piece of the body (or an entity-decoded one, never longer): a playlist
        // cannot make the player hold more than it received.
        size_t total = 0;
        for (const std::string& entry : entries) {
            total += entry.size();
            CPlaylistParser::Resolve(url, entry);
        }
        if (total > body.size())
            std::abort();
    }
    return 0;
}
