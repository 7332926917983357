#include "audio/library/PlaylistParser.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace
{

std::string Lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

std::string_view SkipBomAndSpace(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    return text;
}

std::vector<std::string_view> Lines(std::string_view body)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = body.size();
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool LooksLikeTextList(std::string_view head)
{
    for (std::string_view line : Lines(head)) {
        line = Trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        for (unsigned char c : line)
            if (c < 0x20 && c != '\t')
                return false;
        return line.find("://") != std::string_view::npos || line.front() == '/';
    }
    return false;
}

std::string DecodeXmlEntities(std::string_view text)
{
    static const std::pair<std::string_view, char> entities[]
        = { { "&amp;", '&' }, { "&lt;", '<' }, { "&gt;", '>' }, { "&quot;", '"' }, { "&apos;", '\'' } };
    std::string result;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [name, c] : entities) {
                if (StartsWithNoCase(text.substr(i), name)) {
                    result += c;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            result += text[i++];
    }
    return result;
}

std::vector<std::string> ParsePls(std::string_view body)
{
    std::multimap<long, std::string> entries;
    for (std::string_view line : Lines(body)) {
        line = Trim(line);
        if (!StartsWithNoCase(line, "file"))
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string number(Trim(line.substr(4, equals - 4)));
        char* end = nullptr;
        const long index = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0')
            continue;
        const std::string_view value = Trim(line.substr(equals + 1));
        if (!value.empty())
            entries.emplace(index, std::string(value));
    }
    std::vector<std::string> result;
    for (auto& [index, value] : entries)
        result.push_back(value);
    return result;
}

std::vector<std::string> ParseM3u(std::string_view body)
{
    std::vector<std::string> result;
    for (std::string_view line : Lines(SkipBomAndSpace(body))) {
        line = Trim(line);
        if (!line.empty() && line.front() != '#')
            result.emplace_back(line);
    }
    return result;
}

// Values of the href attributes of <ref> and <entryref> elements, in document order.
std::vector<std::string> ParseAsx(std::string_view body)
{
    std::vector<std::string> result;
    const std::string lower = Lower(body);
    size_t pos = 0;
    while ((pos = lower.find('<', pos)) != std::string::npos) {
        const size_t close = lower.find('>', pos);
        if (close == std::string::npos)
            break;
        const std::string_view tag = std::string_view(lower).substr(pos + 1, close - pos - 1);
        const bool isRef = tag.starts_with("ref") && tag.size() > 3 && std::isspace(static_cast<unsigned char>(tag[3]));
        const bool isEntryRef
            = tag.starts_with("entryref") && tag.size() > 8 && std::isspace(static_cast<unsigned char>(tag[8]));
        if (isRef || isEntryRef) {
            const size_t href = tag.find("href");
            size_t equals = href == std::string_view::npos ? href : tag.find('=', href);
            if (equals != std::string_view::npos) {
                size_t valueStart = equals + 1;
                while (valueStart < tag.size() && std::isspace(static_cast<unsigned char>(tag[valueStart])))
                    ++valueStart;
                if (valueStart < tag.size()) {
                    const char quote = tag[valueStart];
                    size_t valueEnd;
                    if (quote == '"' || quote == '\'') {
                        ++valueStart;
                        valueEnd = tag.find(quote, valueStart);
                    } else {
                        valueEnd = tag.find_first_of(" \t\r\n", valueStart);
                    }
                    if (valueEnd == std::string_view::npos)
                        valueEnd = tag.size();
                    // Take the value from the original text, not the lower-cased copy.
                    const std::string value
                        = DecodeXmlEntities(Trim(body.substr(pos + 1 + valueStart, valueEnd - valueStart)));
                    if (!value.empty())
                        result.push_back(value);
                }
            }
        }
        pos = close + 1;
    }
    return result;
}

} // namespace

CPlaylistParser::Kind CPlaylistParser::Detect(std::string_view contentType, std::string_view url, std::string_view head)
{
    std::string type = Lower(Trim(contentType.substr(0, contentType.find(';'))));
    const std::string_view text = SkipBomAndSpace(head);

    if (StartsWithNoCase(text, "#extm3u") && Lower(text).find("#ext-x-") != std::string::npos)
        return Kind::None; // segment list of live streaming
    if (StartsWithNoCase(text, "[playlist]"))
        return Kind::Pls;
    if (StartsWithNoCase(text, "#extm3u"))
        return Kind::M3u;
    if (StartsWithNoCase(text, "<asx"))
        return Kind::Asx;

    if (type == "audio/x-scpls" || type == "audio/scpls" || type == "application/pls+xml")
        return Kind::Pls;
    const bool xml = StartsWithNoCase(text, "<");
    if ((type == "video/x-ms-asf" || type == "audio/x-ms-asf" || type == "video/x-ms-asx" || type == "audio/x-ms-asx"
            || type == "video/x-ms-wax" || type == "audio/x-ms-wax" || type == "video/x-ms-wvx")
        && xml && Lower(text.substr(0, 4096)).find("<ref") != std::string::npos)
        return Kind::Asx;
    const bool m3uType = type == "audio/x-mpegurl" || type == "audio/mpegurl" || type == "application/x-mpegurl"
        || type == "application/mpegurl" || type == "application/vnd.apple.mpegurl";

    std::string path = Lower(url.substr(0, url.find_first_of("?#")));
    const bool m3uName = path.ends_with(".m3u") || path.ends_with(".m3u8");
    const bool textType = type.empty() || type.starts_with("text/") || type == "application/octet-stream";
    if ((m3uType || (m3uName && textType)) && LooksLikeTextList(head))
        return Kind::M3u;
    return Kind::None;
}

std::vector<std::string> CPlaylistParser::Parse(Kind kind, std::string_view body)
{
    switch (kind) {
    case Kind::Pls:
        return ParsePls(body);
    case Kind::M3u:
        return ParseM3u(body);
    case Kind::Asx:
        return ParseAsx(body);
    case Kind::None:
        break;
    }
    return {};
}

std::string CPlaylistParser::Resolve(const std::string& base, const std::string& entry)
{
    if (entry.find("://") != std::string::npos)
        return entry;
    const size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string::npos) {
        // A local playlist: relative entries lie beside it.
        if (!entry.empty() && entry.front() == '/')
            return entry;
        const size_t slash = base.rfind('/');
        return slash == std::string::npos ? entry : base.substr(0, slash + 1) + entry;
    }
    if (entry.starts_with("//"))
        return base.substr(0, schemeEnd + 1) + entry;
    const size_t pathStart = base.find('/', schemeEnd + 3);
    const std::string origin = pathStart == std::string::npos ? base : base.substr(0, pathStart);
    if (!entry.empty() && entry.front() == '/')
        return origin + entry;
    std::string directory = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    directory = directory.substr(0, directory.find_first_of("?#"));
    directory = directory.substr(0, directory.rfind('/') + 1);
    return origin + directory + entry;
}
