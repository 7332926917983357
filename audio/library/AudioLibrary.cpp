#include "audio/library/AudioLibrary.h"

#include "audio/library/AudioEngine.h"
#include "audio/library/Channel.h"
#include "audio/library/PlaylistParser.h"
#include "core/CodePage.h"
#include "core/RegularFile.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <map>
#include <set>

namespace
{

thread_local int lastError = AUDIO_OK;
// The channels whose lock this thread holds, so that it can release one that was freed meanwhile.
thread_local std::map<uint32_t, std::pair<std::shared_ptr<CChannel>, int>> heldLocks;

constexpr size_t kPlaylistFileLimit = 1 << 20;

template <typename T> T Fail(int code, T result)
{
    lastError = code;
    return result;
}

bool Succeed()
{
    lastError = AUDIO_OK;
    return true;
}

std::shared_ptr<CChannel> FindChannel(uint32_t handle)
{
    std::shared_ptr<CChannel> channel = CAudioEngine::Instance().FindChannel(handle);
    if (!channel)
        lastError = AUDIO_ERROR_HANDLE;
    return channel;
}

// 8-bit text from the caller: UTF-8 when it is valid UTF-8, otherwise Windows-1252.
QString FromCaller(const char* text)
{
    return DecodeUtf8OrAnsi(QByteArrayView(text));
}

std::string LocalPath(const char* path)
{
    return FromCaller(path).toUtf8().toStdString();
}

// A URL as libcurl takes it: UTF-8, with blanks and bytes outside ASCII percent-encoded.
std::string NormaliseUrl(const char* url)
{
    const QByteArray utf8 = FromCaller(url).trimmed().toUtf8();
    std::string result;
    for (const char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F) {
            result += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            result += escaped;
        }
    }
    return result;
}

// creator: whom BASS_StreamAbortCreate names to abort this creation (null: nobody can).
template <typename Opener>
AudioStream CreateStream(const std::string& name, uint32_t flags, const void* creator, Opener&& open)
{
    CAudioEngine& engine = CAudioEngine::Instance();
    if (!engine.IsInitialised())
        return Fail(AUDIO_ERROR_NOT_INIT, 0u);
    const uint32_t handle = engine.NewHandle();
    auto channel = std::make_shared<CChannel>(
        handle, flags, engine.Config(), engine.OutputRate(), engine.OutputLatencyFrames(), name);
    const int added = engine.AddChannel(channel, creator);
    if (added != AUDIO_OK)
        return Fail(added, 0u);
    const int result = open(*channel);
    engine.CreationEnded(handle);
    if (result != AUDIO_OK || channel->IsFreed()) {
        channel->Free();
        engine.RemoveChannel(handle);
        return Fail(result != AUDIO_OK ? result : AUDIO_ERROR_NOT_INIT, 0u);
    }
    Succeed();
    return handle;
}

AudioStream CreateUrlStream(
    const std::string& url, uint32_t flags, AudioDownloadProc proc, void* user, const void* creator)
{
    return CreateStream(url, flags, creator, [&](CChannel& channel) { return channel.OpenUrl(proc, user); });
}

AudioStream CreateFileStream(
    const std::string& path, uint32_t flags, const void* creator, int depth, std::set<std::string>& visited)
{
    if (depth > CNetSource::kMaxPlaylistDepth || !visited.insert(path).second)
        return Fail(AUDIO_ERROR_PLAYLIST, 0u);
    if (CAudioEngine::Instance().Config().playlistMode >= 2) {
        std::string head;
        if (std::FILE* file = OpenRegularFileForReading(path.c_str())) {
            head.resize(kPlaylistFileLimit);
            head.resize(std::fread(head.data(), 1, head.size(), file));
            std::fclose(file);
        }
        const CPlaylistParser::Kind kind = CPlaylistParser::Detect("", path, head);
        if (kind != CPlaylistParser::Kind::None) {
            const std::vector<std::string> entries = CPlaylistParser::Parse(kind, head);
            int error = AUDIO_ERROR_FILE_FORMAT;
            for (const std::string& entry : entries) {
                const std::string target = CPlaylistParser::Resolve(path, entry);
                const AudioStream stream = target.find("://") != std::string::npos
                    ? CreateUrlStream(target, flags, nullptr, nullptr, creator)
                    : CreateFileStream(target, flags, creator, depth + 1, visited);
                if (stream)
                    return stream;
                error = lastError;
                if (error == AUDIO_ERROR_PLAYLIST)
                    break;
            }
            return Fail(error, 0u);
        }
    }
    return CreateStream(path, flags, creator, [&](CChannel& channel) { return channel.OpenFile(path); });
}

} // namespace

bool BASS_Init(int device, uint32_t freq, uint32_t, void*, const void*)
{
    const int result = CAudioEngine::Instance().Init(device, freq);
    return result == AUDIO_OK ? Succeed() : Fail(result, false);
}

bool BASS_Free()
{
    const int result = CAudioEngine::Instance().Free();
    return result == AUDIO_OK ? Succeed() : Fail(result, false);
}

uint32_t BASS_GetVersion()
{
    return AUDIO_LIBRARY_VERSION;
}

bool BASS_GetDeviceInfo(uint32_t device, AudioDeviceInfo* info)
{
    if (!info)
        return Fail(AUDIO_ERROR_PARAMETER, false);
    int error = AUDIO_OK;
    return CAudioEngine::Instance().DeviceInfo(device, *info, error) ? Succeed() : Fail(error, false);
}

bool BASS_SetConfig(uint32_t option, uint32_t value)
{
    const int result = CAudioEngine::Instance().SetConfig(option, value);
    return result == AUDIO_OK ? Succeed() : Fail(result, false);
}

bool BASS_SetConfigPtr(uint32_t option, const void* value)
{
    const int result = CAudioEngine::Instance().SetConfigPtr(option, value);
    return result == AUDIO_OK ? Succeed() : Fail(result, false);
}

AudioPlugin BASS_PluginLoad(const char* file, uint32_t)
{
    int error = AUDIO_OK;
    const AudioPlugin plugin = CAudioEngine::Instance().LoadPlugin(file, error);
    if (!plugin)
        return Fail(error, 0u);
    Succeed();
    return plugin;
}

int BASS_ErrorGetCode()
{
    return lastError;
}

AudioStream BASS_StreamCreateURL(const char* url, uint32_t offset, uint32_t flags, AudioDownloadProc proc, void* user)
{
    if (!url || offset != 0)
        return Fail(AUDIO_ERROR_PARAMETER, 0u);
    return CreateUrlStream(NormaliseUrl(url), flags, proc, user, user);
}

AudioStream BASS_StreamCreateFile(
    bool inMemory, const void* file, uint64_t offset, uint64_t length, uint32_t flags, const void* creator)
{
    if (inMemory || !file || offset != 0 || length != 0)
        return Fail(AUDIO_ERROR_PARAMETER, 0u);
    std::set<std::string> visited;
    return CreateFileStream(LocalPath(static_cast<const char*>(file)), flags, creator, 0, visited);
}

bool BASS_StreamAbortCreate(const void* user, bool abort)
{
    if (!user)
        return Fail(AUDIO_ERROR_PARAMETER, false);
    CAudioEngine::Instance().AbortCreations(user, abort);
    return Succeed();
}

uint64_t BASS_StreamGetFilePosition(AudioStream handle, uint32_t mode)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return uint64_t(-1);
    int error = AUDIO_OK;
    const uint64_t position = channel->FilePosition(mode, error);
    if (error != AUDIO_OK)
        return Fail(error, uint64_t(-1));
    Succeed();
    return position;
}

bool BASS_ChannelGetInfo(uint32_t handle, AudioChannelInfo* info)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    if (!info)
        return Fail(AUDIO_ERROR_PARAMETER, false);
    channel->GetInfo(*info);
    return Succeed();
}

const char* BASS_ChannelGetTags(uint32_t handle, uint32_t tags)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return nullptr;
    const char* text = channel->Tags(tags);
    if (!text)
        return Fail(AUDIO_ERROR_NOT_AVAILABLE, static_cast<const char*>(nullptr));
    Succeed();
    return text;
}

bool BASS_ChannelPlay(uint32_t handle, bool)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    int error = AUDIO_OK;
    return channel->Play(error) ? Succeed() : Fail(error, false);
}

bool BASS_ChannelStop(uint32_t handle)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    channel->Stop();
    return Succeed();
}

uint32_t BASS_ChannelIsActive(uint32_t handle)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return AUDIO_ACTIVE_STOPPED;
    Succeed();
    return channel->State();
}

bool BASS_ChannelSetAttribute(uint32_t handle, uint32_t attrib, float value)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    if (attrib != AUDIO_ATTRIB_VOLUME || !(value == value))
        return Fail(AUDIO_ERROR_PARAMETER, false);
    channel->SetVolume(value);
    return Succeed();
}

bool BASS_ChannelSlideAttribute(uint32_t handle, uint32_t attrib, float value, uint32_t time)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    if (attrib != AUDIO_ATTRIB_VOLUME || !(value == value))
        return Fail(AUDIO_ERROR_PARAMETER, false);
    channel->SlideVolume(value, time);
    return Succeed();
}

AudioSync BASS_ChannelSetSync(uint32_t handle, uint32_t type, uint64_t, AudioSyncProc proc, void* user)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return 0;
    const uint32_t base = type & ~AUDIO_SYNC_MIXTIME;
    const bool known = base == AUDIO_SYNC_END || base == AUDIO_SYNC_META || base == AUDIO_SYNC_STALL
        || base == AUDIO_SYNC_OGG_CHANGE || base == AUDIO_SYNC_WMA_CHANGE || base == AUDIO_SYNC_WMA_META;
    if (!proc || !known)
        return Fail(AUDIO_ERROR_PARAMETER, 0u);
    Succeed();
    return channel->SetSync(CAudioEngine::Instance().NewHandle(), type, proc, user);
}

bool BASS_ChannelRemoveSync(uint32_t handle, AudioSync sync)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    return channel->RemoveSync(sync) ? Succeed() : Fail(AUDIO_ERROR_HANDLE, false);
}

AudioDsp BASS_ChannelSetDSP(uint32_t handle, AudioDspProc proc, void* user, int priority)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return 0;
    if (!proc)
        return Fail(AUDIO_ERROR_PARAMETER, 0u);
    const AudioDsp dsp = CAudioEngine::Instance().NewHandle();
    channel->SetDsp(dsp, proc, user, priority);
    Succeed();
    return dsp;
}

bool BASS_ChannelRemoveDSP(uint32_t handle, AudioDsp dsp)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    return channel->RemoveDsp(dsp) ? Succeed() : Fail(AUDIO_ERROR_HANDLE, false);
}

uint32_t BASS_ChannelGetData(uint32_t handle, void* buffer, uint32_t length)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return uint32_t(-1);
    if (!buffer || length != AUDIO_DATA_FFT2048)
        return Fail(AUDIO_ERROR_PARAMETER, uint32_t(-1));
    if (!channel->GetFft(static_cast<float*>(buffer)))
        return Fail(AUDIO_ERROR_NOT_AVAILABLE, uint32_t(-1));
    Succeed();
    return 1024 * sizeof(float);
}

bool BASS_ChannelLock(uint32_t handle, bool lock)
{
    auto held = heldLocks.find(handle);
    if (!lock) {
        if (held == heldLocks.end())
            return Fail(AUDIO_ERROR_HANDLE, false);
        held->second.first->Unlock();
        if (--held->second.second == 0)
            heldLocks.erase(held);
        return Succeed();
    }
    std::shared_ptr<CChannel> channel = held != heldLocks.end() ? held->second.first : FindChannel(handle);
    if (!channel)
        return false;
    if (!channel->Lock())
        return Fail(AUDIO_ERROR_HANDLE, false); // freed meanwhile
    auto& entry = heldLocks[handle];
    entry.first = std::move(channel);
    ++entry.second;
    return Succeed();
}

uint32_t BASS_FX_GetVersion()
{
    return AUDIO_LIBRARY_VERSION;
}

AudioFx BASS_ChannelSetFX(uint32_t handle, uint32_t type, int priority)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return 0;
    if (type != AUDIO_FX_PEAK_EQ)
        return Fail(AUDIO_ERROR_PARAMETER, 0u);
    const AudioFx effect = CAudioEngine::Instance().NewHandle();
    CAudioEngine::Instance().AddEffect(effect, handle);
    channel->SetEffect(effect, priority);
    Succeed();
    return effect;
}

bool BASS_ChannelRemoveFX(uint32_t handle, AudioFx fx)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return false;
    if (!channel->RemoveDsp(fx))
        return Fail(AUDIO_ERROR_HANDLE, false);
    CAudioEngine::Instance().RemoveEffect(fx);
    return Succeed();
}

bool BASS_FXSetParameters(AudioFx fx, const void* params)
{
    const auto channel = CAudioEngine::Instance().FindChannel(CAudioEngine::Instance().EffectChannel(fx));
    if (!channel)
        return Fail(AUDIO_ERROR_HANDLE, false);
    if (!params)
        return Fail(AUDIO_ERROR_PARAMETER, false);
    return channel->SetEffectParameters(fx, *static_cast<const AudioPeakEqParams*>(params))
        ? Succeed()
        : Fail(AUDIO_ERROR_PARAMETER, false);
}

CWmaMediaObject* BASS_WMA_GetWMObject(uint32_t handle)
{
    const auto channel = FindChannel(handle);
    if (!channel)
        return nullptr;
    CWmaMediaObject* object = channel->WmaObject();
    if (!object)
        return Fail(AUDIO_ERROR_NOT_AVAILABLE, static_cast<CWmaMediaObject*>(nullptr));
    Succeed();
    return object;
}
