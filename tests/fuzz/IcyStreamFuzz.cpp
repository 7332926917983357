// An ICY stream split into audio and metadata: whatever the interval and however the network cuts the
// bytes into blocks, the audio and the metadata that come out are the same.

#include "audio/library/IcyParser.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace
{

struct Split {
    std::vector<uint8_t> audio;
    std::vector<std::string> metadata;
};

Split Feed(uint32_t interval, const QByteArray& stream, size_t blockSize)
{
    CIcyParser parser(interval);
    Split split;
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.constData());
    const size_t size = size_t(stream.size());
    for (size_t at = 0; at < size; at += blockSize) {
        std::vector<uint8_t> audio;
        parser.Feed(bytes + at, std::min(blockSize, size - at), audio,
            [&split](const std::string& text) { split.metadata.push_back(text); });
        split.audio.insert(split.audio.end(), audio.begin(), audio.end());
    }
    return split;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    FuzzInput input(data, size);
    const uint8_t shape = input.TakeByte();
    // Small intervals put many length bytes into a short input; real servers use thousands.
    const uint32_t interval = (shape & 0x80) ? input.TakeUint16() : shape & 0x1F;
    const size_t blockSize = 1 + input.TakeByte() % 97;
    const QByteArray stream = input.TakeRest();

    const Split whole = Feed(interval, stream, stream.isEmpty() ? 1 : size_t(stream.size()));
    const Split pieces = Feed(interval, stream, blockSize);
    if (whole.audio != pieces.audio || whole.metadata != pieces.metadata)
        std::abort();
    if (whole.audio.size() > size_t(stream.size()))
        std::abort();
    for (const std::string& text : whole.metadata) {
        if (text.empty() || text.size() > 255 * 16 || text.find('\0') != std::string::npos)
            std::abort();
    }
    return 0;
}
