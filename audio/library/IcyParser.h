#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Splits an ICY stream into audio bytes and metadata blocks. After every `interval` audio bytes the
// server sends one length byte (times 16) and that many bytes of metadata, padded with zero bytes;
// length 0 means "no change".
class CIcyParser
{
public:
    // interval 0: the stream carries no metadata and every byte is audio.
    explicit CIcyParser(uint32_t interval);

    // Appends the audio bytes of [data, data + size) to audio and calls onMetadata for each complete
    // metadata block (its text up to the first zero byte) that is text of key='value'; items. Other
    // blocks are dropped: a server whose length byte lies puts sound bytes there.
    void Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& audio,
        const std::function<void(const std::string&)>& onMetadata);

    uint32_t Interval() const { return m_interval; }

private:
    uint32_t m_interval;
    uint32_t m_audioLeft; // audio bytes before the next length byte
    size_t m_metaLeft = 0; // metadata bytes still to come in the current block
    bool m_inMeta = false;
    std::string m_meta;
};
