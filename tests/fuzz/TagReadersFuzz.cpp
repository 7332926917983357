// The readers of stream tags (ICY metadata, Ogg comments, HTTP and ICY headers, WMA script data),
// the bitrate readers of MPEG and Vorbis headers and the ID3v1 tag of a local file.

#include "audio/RadioPlayer.h"
#include "audio/TagFile.h"
#include "audio/library/ChannelTags.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzScratch.h"

#include <string>
#include <vector>

namespace
{

std::vector<std::string> Lines(const QByteArray& text)
{
    std::vector<std::string> lines;
    for (const QByteArray& line : text.split('\n'))
        lines.emplace_back(line.constData(), size_t(line.size()));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    static RadioPlayer player(
        QStringLiteral("Station"), QStringLiteral("/nonexistent.mp3"), 0, 0, 50, false, nullptr, 4000, 0, false);

    // The raw tag as the library hands it out: strings ended by an empty one.
    QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    raw.append('\0').append('\0');
    player.ReadMetaTag(raw.constData());
    player.ReadOggTags(raw.constData());
    player.ReadIcyHeaders(raw.constData());
    player.ReadWmaTags(raw.constData());
    player.ParseMp3Bitrate(data, int(size));
    player.ParseVorbisBitrate(data, int(size));

    // The same bytes through the channel's tag store, the way a stream's headers and metadata arrive.
    FuzzInput input(data, size);
    const bool icy = input.TakeByte() & 1;
    CChannelTags tags;
    tags.SetHeaders(Lines(input.TakeUntil('\0')), icy);
    tags.SetMeta(input.TakeUntil('\0').toStdString());
    tags.SetOgg(Lines(input.TakeRest()));
    player.ReadMetaTag(tags.Get(AUDIO_TAG_META));
    player.ReadOggTags(tags.Get(AUDIO_TAG_OGG));
    player.ReadIcyHeaders(tags.Get(AUDIO_TAG_ICY));
    player.ReadIcyHeaders(tags.Get(AUDIO_TAG_HTTP));
    player.ReadIcyHeaders(tags.Headers());

    player.GetStreamName();
    player.GetNextTitle();
    player.GetTitleHistory();

    const QString path = WriteScratchFile(QStringLiteral("tagged.mp3"), data, size);
    player.ReadLocalFileTag(path);
    CTagFile tag;
    if (tag.Open(path) == 0) {
        tag.SetTitle(tag.GetTitle() + tag.GetArtist());
        tag.SetComment(tag.GetAlbum() + tag.GetComment());
        tag.WriteTag();
    }
    return 0;
}
