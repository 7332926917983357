#include "audio/LameStream.h"

#include <lame/lame.h>

#include <atomic>
#include <dlfcn.h>
#include <new>

struct BeStream {
    lame_t flags = nullptr;
    int channels = 0;
    uint32_t outputSize = 0; // what beInitStream announced; every call writes at most this much
};

namespace
{

// The libmp3lame entry points the interface uses.
struct LameApi {
    decltype(&lame_init) init;
    decltype(&lame_set_in_samplerate) setInSampleRate;
    decltype(&lame_set_out_samplerate) setOutSampleRate;
    decltype(&lame_set_num_channels) setNumChannels;
    decltype(&lame_set_mode) setMode;
    decltype(&lame_set_VBR) setVbr;
    decltype(&lame_set_brate) setBitrate;
    decltype(&lame_set_bWriteVbrTag) setWriteVbrTag;
    decltype(&lame_set_write_id3tag_automatic) setWriteId3TagAutomatic;
    decltype(&lame_set_copyright) setCopyright;
    decltype(&lame_set_original) setOriginal;
    decltype(&lame_set_error_protection) setErrorProtection;
    decltype(&lame_set_extension) setExtension;
    decltype(&lame_init_params) initParams;
    decltype(&lame_get_framesize) getFrameSize;
    decltype(&lame_encode_buffer) encodeBuffer;
    decltype(&lame_encode_buffer_interleaved) encodeBufferInterleaved;
    decltype(&lame_encode_flush) encodeFlush;
    decltype(&lame_close) close;
    decltype(&get_lame_version_numerical) versionNumerical;
};

// Bound while a player is constructed on the main window's thread, before any stream opens; streams
// only read it afterwards.
LameApi lame {};
std::atomic<bool> bound = false;

template <typename Function> bool Resolve(void* module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(module, name));
    return function != nullptr;
}

bool ResolveAll(void* module, LameApi& api)
{
    return Resolve(module, "lame_init", api.init) && Resolve(module, "lame_set_in_samplerate", api.setInSampleRate)
        && Resolve(module, "lame_set_out_samplerate", api.setOutSampleRate)
        && Resolve(module, "lame_set_num_channels", api.setNumChannels) && Resolve(module, "lame_set_mode", api.setMode)
        && Resolve(module, "lame_set_VBR", api.setVbr) && Resolve(module, "lame_set_brate", api.setBitrate)
        && Resolve(module, "lame_set_bWriteVbrTag", api.setWriteVbrTag)
        && Resolve(module, "lame_set_write_id3tag_automatic", api.setWriteId3TagAutomatic)
        && Resolve(module, "lame_set_copyright", api.setCopyright)
        && Resolve(module, "lame_set_original", api.setOriginal)
        && Resolve(module, "lame_set_error_protection", api.setErrorProtection)
        && Resolve(module, "lame_set_extension", api.setExtension)
        && Resolve(module, "lame_init_params", api.initParams)
        && Resolve(module, "lame_get_framesize", api.getFrameSize)
        && Resolve(module, "lame_encode_buffer", api.encodeBuffer)
        && Resolve(module, "lame_encode_buffer_interleaved", api.encodeBufferInterleaved)
        && Resolve(module, "lame_encode_flush", api.encodeFlush) && Resolve(module, "lame_close", api.close)
        && Resolve(module, "get_lame_version_numerical", api.versionNumerical);
}

bool IsMpegSampleRate(uint32_t rate)
{
    switch (rate) {
    case 8000:
    case 11025:
    case 12000:
    case 16000:
    case 22050:
    case 24000:
    case 32000:
    case 44100:
    case 48000:
        return true;
    default:
        return false;
    }
}

// The encoder's documented worst case for one call: 1.25 times the samples per channel plus 7200 bytes,
// which also covers the final flush.
uint32_t WorstCaseOutput(uint32_t samplesPerChannel)
{
    return samplesPerChannel + samplesPerChannel / 4 + 7200;
}

} // namespace

bool BindLameLibrary(void* module)
{
    LameApi api {};
    if (!module || !ResolveAll(module, api))
        return false;
    lame = api;
    bound = true;
    return true;
}

BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samples, uint32_t* bufferSize, HBE_STREAM* stream)
{
    if (!bound)
        return BE_ERR_NO_LIBRARY;
    if (!config || !samples || !bufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != BE_CONFIG_MP3)
        return BE_ERR_INVALID_FORMAT;
    const BE_CONFIG_MP3_FORMAT& format = config->format.mp3;
    if (format.byMode > BE_MP3_MODE_MONO)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;

    lame_t flags = lame.init();
    if (!flags)
        return BE_ERR_NO_MORE_HANDLES;
    const int channels = format.byMode == BE_MP3_MODE_MONO ? 1 : 2;
    lame.setInSampleRate(flags, int(format.dwSampleRate));
    // Keep the stream's rate when MP3 has it; otherwise the encoder picks the nearest one.
    if (IsMpegSampleRate(format.dwSampleRate))
        lame.setOutSampleRate(flags, int(format.dwSampleRate));
    lame.setNumChannels(flags, channels);
    lame.setMode(flags, MPEG_mode(format.byMode));
    lame.setVbr(flags, vbr_off);
    lame.setBitrate(flags, format.wBitrate);
    // Frames only: no header frame that would need rewriting at the end, no tags of the encoder's own.
    lame.setWriteVbrTag(flags, 0);
    lame.setWriteId3TagAutomatic(flags, 0);
    lame.setCopyright(flags, format.bCopyright ? 1 : 0);
    lame.setOriginal(flags, format.bOriginal ? 1 : 0);
    lame.setErrorProtection(flags, format.bCRC ? 1 : 0);
    lame.setExtension(flags, format.bPrivate ? 1 : 0);
    if (lame.initParams(flags) < 0) {
        lame.close(flags);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }

    auto* opened = new (std::nothrow) BeStream;
    if (!opened) {
        lame.close(flags);
        return BE_ERR_NO_MORE_HANDLES;
    }
    const uint32_t frameSize = uint32_t(lame.getFrameSize(flags));
    opened->flags = flags;
    opened->channels = channels;
    opened->outputSize = WorstCaseOutput(frameSize);
    *samples = frameSize * uint32_t(channels);
    *bufferSize = opened->outputSize;
    *stream = opened;
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* pcm, uint8_t* output, uint32_t* outputBytes)
{
    if (!stream || !stream->flags)
        return BE_ERR_INVALID_HANDLE;
    if (!output || !outputBytes || (samples > 0 && !pcm))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    auto* data = const_cast<short*>(reinterpret_cast<const short*>(pcm));
    const int frames = int(samples / uint32_t(stream->channels));
    const int produced = stream->channels == 1
        ? lame.encodeBuffer(stream->flags, data, data, frames, output, int(stream->outputSize))
        : lame.encodeBufferInterleaved(stream->flags, data, frames, output, int(stream->outputSize));
    if (produced < 0) {
        *outputBytes = 0;
        return produced == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *outputBytes = uint32_t(produced);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes)
{
    if (!stream || !stream->flags)
        return BE_ERR_INVALID_HANDLE;
    if (!output || !outputBytes)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const int produced = lame.encodeFlush(stream->flags, output, int(stream->outputSize));
    if (produced < 0) {
        *outputBytes = 0;
        return BE_ERR_BUFFER_TOO_SMALL;
    }
    *outputBytes = uint32_t(produced);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beCloseStream(HBE_STREAM stream)
{
    if (!stream)
        return BE_ERR_INVALID_HANDLE;
    if (stream->flags)
        lame.close(stream->flags);
    delete stream;
    return BE_ERR_SUCCESSFUL;
}

void beVersion(BE_VERSION* version)
{
    if (!version)
        return;
    *version = BE_VERSION { 1, 0, 0, 0 };
    if (!bound)
        return;
    lame_version_t engine {};
    lame.versionNumerical(&engine);
    version->byMajorVersion = uint8_t(engine.major);
    version->byMinorVersion = uint8_t(engine.minor);
}
