#pragma once

#include <cstddef>
#include <cstdint>

// The stream interface the MP3 encoder class drives: open a stream with a configuration record, encode
// interleaved 16-bit PCM chunk by chunk, flush the last frames, close. It runs over libmp3lame, which
// the encoder class opens at run time and binds here with BindLameLibrary.

using BE_ERR = uint32_t;
enum : BE_ERR {
    BE_ERR_SUCCESSFUL = 0x00000000,
    BE_ERR_INVALID_FORMAT = 0x00000001,
    BE_ERR_INVALID_FORMAT_PARAMETERS = 0x00000002,
    BE_ERR_NO_MORE_HANDLES = 0x00000003,
    BE_ERR_INVALID_HANDLE = 0x00000004,
    BE_ERR_BUFFER_TOO_SMALL = 0x00000005,
    BE_ERR_NO_LIBRARY = 0x00000100,
};

enum : uint32_t { BE_CONFIG_MP3 = 0 };
enum : uint8_t { BE_MP3_MODE_STEREO = 0, BE_MP3_MODE_JSTEREO = 1, BE_MP3_MODE_DUALCHANNEL = 2, BE_MP3_MODE_MONO = 3 };

#pragma pack(push, 1)
struct BE_CONFIG_MP3_FORMAT {
    uint32_t dwSampleRate; // Hz of the PCM handed in
    uint8_t byMode; // BE_MP3_MODE_*
    uint16_t wBitrate; // constant bitrate in kbit/s
    uint32_t bPrivate;
    uint32_t bCRC;
    uint32_t bCopyright;
    uint32_t bOriginal;
};

// 331 bytes without padding; every byte not named here is zero.
struct BE_CONFIG {
    uint32_t dwConfig; // BE_CONFIG_MP3
    union {
        BE_CONFIG_MP3_FORMAT mp3;
        uint8_t reserved[327];
    } format;
};
#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, format) + offsetof(BE_CONFIG_MP3_FORMAT, dwSampleRate) == 4);
static_assert(offsetof(BE_CONFIG, format) + offsetof(BE_CONFIG_MP3_FORMAT, byMode) == 8);
static_assert(offsetof(BE_CONFIG, format) + offsetof(BE_CONFIG_MP3_FORMAT, wBitrate) == 9);

struct BE_VERSION {
    uint8_t byDLLMajorVersion; // this interface
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion; // the encoder library
    uint8_t byMinorVersion;
};

struct BeStream;
using HBE_STREAM = BeStream*;

// Binds the interface to an opened libmp3lame (a dlopen handle). False, binding nothing, when the
// library lacks an entry point the interface needs. Called while no stream is open.
bool BindLameLibrary(void* module);

// Opens a stream. samples: the most 16-bit samples (all channels counted) one beEncodeChunk takes;
// bufferSize: the bytes its output buffer must hold (also enough for beDeinitStream).
BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samples, uint32_t* bufferSize, HBE_STREAM* stream);
// Encodes samples interleaved 16-bit values into output, which holds the announced buffer size.
BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* pcm, uint8_t* output, uint32_t* outputBytes);
// Flushes the frames still held by the encoder.
BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes);
BE_ERR beCloseStream(HBE_STREAM stream);
void beVersion(BE_VERSION* version);
