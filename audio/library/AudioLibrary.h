#pragma once

// The audio library: output devices, URL and file streams, decoding, volume and slides, syncs, DSPs
// and the peak-equaliser effect, tags, FFT data and the per-channel lock.
//
// Strings passed in are 8-bit: UTF-8 when they are valid UTF-8, otherwise Windows-1252. Tag texts come
// back as the bytes the stream carried. Handles are 32-bit and 0 means failure; after a failure
// BASS_ErrorGetCode() tells why (the code is kept per thread).
//
// Threads: streams are decoded on a thread of their own per stream, URL streams download on another;
// download callbacks, DSPs and syncs run on those threads, always with the channel lock held (see
// BASS_ChannelLock). Once a stream has been freed none of its callbacks runs any more; a handle that
// is no longer found belongs to such a stream.

#include <cstdint>

using AudioStream = uint32_t;
using AudioSync = uint32_t;
using AudioDsp = uint32_t;
using AudioFx = uint32_t;
using AudioPlugin = uint32_t;

// Callbacks. `user` is the pointer given when the callback was set.
// Download: every block of stream bytes as the server sent it, stream metadata removed. While
// connecting (with AUDIO_STREAM_STATUS) the response headers arrive with length 0 as a series of
// null-terminated strings ended by an empty one.
using AudioDownloadProc = void (*)(const void* buffer, uint32_t length, void* user);
// Sync: data depends on the sync type (stall: 0 stalled, 1 resumed).
using AudioSyncProc = void (*)(AudioSync sync, uint32_t channel, uint32_t data, void* user);
// DSP: changes the 16-bit interleaved samples of one block in place; length is in bytes.
using AudioDspProc = void (*)(AudioDsp dsp, uint32_t channel, void* buffer, uint32_t length, void* user);

// Version of the library and of its effects, one byte per part, major first (2.4.1.0).
constexpr uint32_t AUDIO_LIBRARY_VERSION = 0x02040100;

// Error codes (BASS_ErrorGetCode).
constexpr int AUDIO_OK = 0;
constexpr int AUDIO_ERROR_MEMORY = 1; // out of memory
constexpr int AUDIO_ERROR_FILE_OPEN = 2; // the file or URL cannot be opened (missing file, HTTP error status)
constexpr int AUDIO_ERROR_DRIVER = 3; // the sound system cannot be used
constexpr int AUDIO_ERROR_HANDLE = 5; // not a valid handle
constexpr int AUDIO_ERROR_NOT_INIT = 8; // BASS_Init has not been called
constexpr int AUDIO_ERROR_SSL = 10; // the TLS connection failed (certificate not verified)
constexpr int AUDIO_ERROR_ALREADY = 14; // already initialised
constexpr int AUDIO_ERROR_PARAMETER = 20; // an illegal parameter
constexpr int AUDIO_ERROR_DEVICE = 23; // no such device
constexpr int AUDIO_ERROR_NO_NET = 32; // no connection could be made
constexpr int AUDIO_ERROR_NOT_AVAILABLE = 37; // the requested data is not available
constexpr int AUDIO_ERROR_TIMEOUT = 40; // the connection timed out
constexpr int AUDIO_ERROR_FILE_FORMAT = 41; // unsupported format: the data is no audio this library decodes
constexpr int AUDIO_ERROR_PLAYLIST = 44; // a playlist refers to itself or nests too deeply
constexpr int AUDIO_ERROR_UNKNOWN = -1; // any other failure; also a stream creation that was aborted

// Devices (BASS_Init, BASS_GetDeviceInfo).
constexpr int AUDIO_DEVICE_DEFAULT = -1; // the system's default output
// A clocked output that plays nothing. The default device falls back to it when no output can be
// opened; device 0 then shows AUDIO_DEVICE_INIT, as when it was chosen.
constexpr int AUDIO_DEVICE_NO_SOUND = 0;
constexpr uint32_t AUDIO_INIT_SPEAKERS = 0x800; // accepted; output is always stereo

struct AudioDeviceInfo {
    const char* name; // valid until the process ends
    const char* driver;
    uint32_t flags; // AUDIO_DEVICE_*
};
constexpr uint32_t AUDIO_DEVICE_ENABLED = 1;
constexpr uint32_t AUDIO_DEVICE_IS_DEFAULT = 2;
constexpr uint32_t AUDIO_DEVICE_INIT = 4;

// Configuration options (BASS_SetConfig, BASS_SetConfigPtr). They apply to streams created later.
constexpr uint32_t AUDIO_CONFIG_BUFFER = 0; // playback buffer, ms (default 500)
constexpr uint32_t AUDIO_CONFIG_VOLUME_CURVE = 7; // 0: linear volume (the only curve)
constexpr uint32_t AUDIO_CONFIG_NET_TIMEOUT = 11; // connection and data time-out, ms (default 5000)
constexpr uint32_t AUDIO_CONFIG_NET_BUFFER = 12; // network buffer, ms (default 5000)
constexpr uint32_t AUDIO_CONFIG_NET_PREBUFFER = 15; // percent of the network buffer filled before playing (default 75)
constexpr uint32_t AUDIO_CONFIG_NET_AGENT = 16; // user agent (string, sent as given)
constexpr uint32_t AUDIO_CONFIG_NET_PLAYLIST = 21; // playlists: 0 never, 1 in URL streams, 2 in file and URL streams
constexpr uint32_t AUDIO_CONFIG_UPDATE_THREADS
    = 24; // accepted for compatibility; each stream decodes on its own thread

// Stream flags (BASS_StreamCreateURL, BASS_StreamCreateFile).
constexpr uint32_t AUDIO_STREAM_AUTOFREE = 0x40000; // the stream frees itself when it stops
constexpr uint32_t AUDIO_STREAM_BLOCK = 0x100000; // download in small blocks, never seek
constexpr uint32_t AUDIO_STREAM_STATUS = 0x800000; // response headers go to the download callback while connecting

// File positions (BASS_StreamGetFilePosition).
constexpr uint32_t AUDIO_FILEPOS_CURRENT = 0; // bytes taken by the decoder
constexpr uint32_t AUDIO_FILEPOS_DOWNLOAD = 1; // bytes received (the file size for a local file)
constexpr uint32_t AUDIO_FILEPOS_END = 2; // the length, or the network buffer size of a live stream
constexpr uint32_t AUDIO_FILEPOS_WMA_BUFFER = 1000; // buffer fill of a WMA stream in percent

// Channel states (BASS_ChannelIsActive).
constexpr uint32_t AUDIO_ACTIVE_STOPPED = 0;
constexpr uint32_t AUDIO_ACTIVE_PLAYING = 1;
constexpr uint32_t AUDIO_ACTIVE_STALLED = 2;

// Attributes (BASS_ChannelSetAttribute, BASS_ChannelSlideAttribute).
constexpr uint32_t AUDIO_ATTRIB_VOLUME = 2; // 0..1

// Sync types (BASS_ChannelSetSync). A mixtime sync is called at once on the thread that meets the
// event; any other from the stream's decoding thread soon after.
constexpr uint32_t AUDIO_SYNC_END = 2; // playback reached the end
constexpr uint32_t AUDIO_SYNC_META = 4; // new stream metadata (META tag)
constexpr uint32_t AUDIO_SYNC_STALL = 6; // data 0: playback stalled for want of data; 1: resumed
constexpr uint32_t AUDIO_SYNC_OGG_CHANGE = 12; // a new logical Ogg stream began (OGG tag refreshed)
constexpr uint32_t AUDIO_SYNC_WMA_CHANGE = 0x10100;
constexpr uint32_t AUDIO_SYNC_WMA_META = 0x10101;
constexpr uint32_t AUDIO_SYNC_MIXTIME = 0x40000000;

// Tag kinds (BASS_ChannelGetTags).
constexpr uint32_t AUDIO_TAG_OGG = 2; // Ogg comments "KEY=value", strings ended by an empty one
constexpr uint32_t AUDIO_TAG_HTTP = 3; // HTTP response: status line and headers
constexpr uint32_t AUDIO_TAG_ICY = 4; // "ICY 200 OK" response: status line and headers
constexpr uint32_t AUDIO_TAG_META = 5; // stream metadata, one string ("StreamTitle='...';...")
constexpr uint32_t AUDIO_TAG_WMA_META = 11; // WMA script metadata

// Sample data (BASS_ChannelGetData): 1024 FFT magnitudes of the last 2048 samples heard.
constexpr uint32_t AUDIO_DATA_FFT2048 = 0x80000003;

// Effects (BASS_ChannelSetFX) and their parameters (BASS_FXSetParameters).
constexpr uint32_t AUDIO_FX_PEAK_EQ = 0x10004;
struct AudioPeakEqParams {
    int band; // band number, 0 and up; a new number adds a band
    float bandwidth; // octaves; 0 = use q
    float q;
    float center; // Hz
    float gain; // dB, -15..15
    int channel; // -1 = all channels, else the channel index
};

// Stream types (AudioChannelInfo::ctype).
constexpr uint32_t AUDIO_CTYPE_OGG = 0x10002; // Ogg Vorbis
constexpr uint32_t AUDIO_CTYPE_MP1 = 0x10003;
constexpr uint32_t AUDIO_CTYPE_MP2 = 0x10004;
constexpr uint32_t AUDIO_CTYPE_MP3 = 0x10005;
constexpr uint32_t AUDIO_CTYPE_OPUS = 0x10020; // Ogg Opus
constexpr uint32_t AUDIO_CTYPE_WMA = 0x10300;
constexpr uint32_t AUDIO_CTYPE_WMA_MP3 = 0x10301;
constexpr uint32_t AUDIO_CTYPE_AAC = 0x10B00; // AAC with ADTS headers
constexpr uint32_t AUDIO_CTYPE_MP4 = 0x10B01; // AAC in an MP4 container
constexpr uint32_t AUDIO_CTYPE_WAV = 0x40000; // WAV holding anything but PCM
constexpr uint32_t AUDIO_CTYPE_WAV_PCM = 0x50001;
constexpr uint32_t AUDIO_CTYPE_WAV_FLOAT = 0x50003;

struct AudioChannelInfo {
    uint32_t freq; // the stream's own sample rate
    uint32_t chans; // 1 or 2
    uint32_t flags; // the stream's creation flags
    uint32_t ctype; // AUDIO_CTYPE_*
    uint32_t origres; // bits per sample of the source, 0 when it is compressed
    AudioPlugin plugin; // always 0: every format is built in
    const char* filename; // the file or URL the stream was created from
};

// The WMA header information of a WMA stream (BASS_WMA_GetWMObject).
class CWmaHeaderInfo
{
public:
    virtual ~CWmaHeaderInfo() = default;
    // Reads a 4-byte attribute of a stream of the file ("CurrentBitrate", bit/s); false when unknown.
    virtual bool GetAttributeByName(uint16_t streamNumber, const char* name, uint32_t& value) = 0;
};
class CWmaMediaObject
{
public:
    virtual ~CWmaMediaObject() = default;
    virtual CWmaHeaderInfo* QueryHeaderInfo() = 0;
};

// Device and library.
bool BASS_Init(int device, uint32_t freq, uint32_t flags, void* window = nullptr, const void* reserved = nullptr);
bool BASS_Free();
uint32_t BASS_GetVersion();
bool BASS_GetDeviceInfo(uint32_t device, AudioDeviceInfo* info);
bool BASS_SetConfig(uint32_t option, uint32_t value);
bool BASS_SetConfigPtr(uint32_t option, const void* value);
AudioPlugin BASS_PluginLoad(const char* file, uint32_t flags);
int BASS_ErrorGetCode();

// Streams.
AudioStream BASS_StreamCreateURL(const char* url, uint32_t offset, uint32_t flags, AudioDownloadProc proc, void* user);
// Only a regular file is opened (a pipe or a device is refused with AUDIO_ERROR_FILE_OPEN). A playlist
// file is followed to the streams it names; creator (may be null) is whom BASS_StreamAbortCreate names to
// abort the creation.
AudioStream BASS_StreamCreateFile(
    bool inMemory, const void* file, uint64_t offset, uint64_t length, uint32_t flags, const void* creator = nullptr);
uint64_t BASS_StreamGetFilePosition(AudioStream handle, uint32_t mode); // (uint64_t)-1 on failure
// Aborts the creation of URL streams whose download callback has this user pointer (not null), and of
// file streams created for it: one under way on another thread ends promptly, and one that starts later
// fails at once, both with AUDIO_ERROR_UNKNOWN, until the abort is lifted (abort false). A stream that
// already exists is not touched. As with every failed creation, no callback of the stream runs once it
// has returned.
bool BASS_StreamAbortCreate(const void* user, bool abort);

// Channels.
bool BASS_ChannelGetInfo(uint32_t handle, AudioChannelInfo* info);
const char* BASS_ChannelGetTags(uint32_t handle, uint32_t tags);
bool BASS_ChannelPlay(uint32_t handle, bool restart);
// Stops the channel; an auto-free stream is freed. When another thread is freeing the stream, this
// waits until it has (unless the caller holds the channel lock).
bool BASS_ChannelStop(uint32_t handle);
uint32_t BASS_ChannelIsActive(uint32_t handle);
bool BASS_ChannelSetAttribute(uint32_t handle, uint32_t attrib, float value);
bool BASS_ChannelSlideAttribute(uint32_t handle, uint32_t attrib, float value, uint32_t time);
AudioSync BASS_ChannelSetSync(uint32_t handle, uint32_t type, uint64_t param, AudioSyncProc proc, void* user);
bool BASS_ChannelRemoveSync(uint32_t handle, AudioSync sync);
AudioDsp BASS_ChannelSetDSP(uint32_t handle, AudioDspProc proc, void* user, int priority);
bool BASS_ChannelRemoveDSP(uint32_t handle, AudioDsp dsp);
uint32_t BASS_ChannelGetData(uint32_t handle, void* buffer, uint32_t length); // bytes, (uint32_t)-1 on failure
// Locks the channel against its own processing and callbacks. Nests per thread; other threads wait.
// Fails once freeing the channel has begun, also for a thread that was waiting: a callback may still
// be finishing then; BASS_ChannelStop waits for it.
bool BASS_ChannelLock(uint32_t handle, bool lock);

// Effects.
uint32_t BASS_FX_GetVersion();
AudioFx BASS_ChannelSetFX(uint32_t handle, uint32_t type, int priority);
bool BASS_ChannelRemoveFX(uint32_t handle, AudioFx fx);
bool BASS_FXSetParameters(AudioFx fx, const void* params);

// WMA.
CWmaMediaObject* BASS_WMA_GetWMObject(uint32_t handle);
