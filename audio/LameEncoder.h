#pragma once

#include "audio/LameStream.h"

#include <cstdint>
#include <memory>

// Encodes 16-bit PCM into MP3 frames at a constant bitrate, joint stereo or mono, for the recorder.
// The encoder library (libmp3lame) is looked for once per process, when the first encoder is
// constructed: first beside the program, then on the system. Without it every Init fails.
//
// One encoder belongs to one recorder and is used under that player's channel lock.
class CLameEncoder
{
public:
    CLameEncoder();
    ~CLameEncoder();

    CLameEncoder(const CLameEncoder&) = delete;
    CLameEncoder& operator=(const CLameEncoder&) = delete;

    bool IsOpen() const { return m_stream != nullptr; }
    // Opens a new stream (closing one still open). False without the library, for a channel count
    // other than 1 or 2, a bitrate outside 32..320 kbit/s, or when the library refuses the format.
    bool Init(int sampleRate, int channels, int kbps);
    // Encodes whole samples from pcm, at most one chunk's worth; the caller loops until all of its data
    // are consumed. The output stays valid until the next call. False when the encoder failed, which
    // also closes the stream. Fewer than 2 bytes: true, nothing consumed.
    bool EncodeChunk(const void* pcm, uint32_t byteCount, uint32_t& consumedBytes, const uint8_t*& outputBuffer,
        uint32_t& outputBytes);
    // Flushes the last frames and closes the stream; true when final data were produced.
    bool Finish(const uint8_t*& outputBuffer, uint32_t& outputBytes);

    uint32_t GetChunkSize() const { return m_chunkSize; }

    // Whether the library was found and offers everything the encoder needs.
    static bool IsLibraryLoaded();
    // Tests: forget the library (it stays mapped) so that the next construction looks for it again,
    // beside the program only when systemLibrary is false.
    static void ResetLibraryForTesting(bool systemLibrary);

private:
    static void LoadLameLibrary();
    void CloseStream();

    uint32_t m_chunkSize = 0; // samples, all channels counted
    uint32_t m_outputSize = 0; // bytes
    HBE_STREAM m_stream = nullptr;
    std::unique_ptr<uint8_t[]> m_output;
};
