// The player object, its thread, device and network set-up, stream creation, the stop and fade
// sequences, stall handling, decoder checks and the device list.

#include "audio/RadioPlayer.h"

#include "core/ErrorLog.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "core/Thread.h"
#include "core/WindowMessage.h"

#include <QFile>

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

namespace
{

constexpr int kMinNetBuffer = 2000;
constexpr int kMaxNetBuffer = 15000;
constexpr int kMaxSourceBytes = 2000;
constexpr int kMaxDeviceNameLength = 255;
constexpr uint32_t kStreamFlags = AUDIO_STREAM_STATUS | AUDIO_STREAM_BLOCK | AUDIO_STREAM_AUTOFREE; // 0x940000
constexpr uint32_t kLibraryVersion = 0x0204;
constexpr char kUserAgent[] = "Internet%20Explorer%207";

// Registered at start-up, like every message the program uses.
[[maybe_unused]] const int kStatusMessageRegistered = PlayerStatusMessage();

std::once_flag pluginsOnce;

// The library's 8-bit form of a source: the file-system encoding for paths (UTF-8 here), and the same
// for URLs. Empty when it would not fit the library's 2000-byte limit.
QByteArray SourceBytes(const QString& source)
{
    const QByteArray bytes = QFile::encodeName(source);
    return bytes.size() < kMaxSourceBytes ? bytes : QByteArray();
}

} // namespace

int PlayerStatusMessage()
{
    static const int message = RegisterWindowMessage("WM_KAVRILUNE_UPDATE_STATUS_");
    return message;
}

// --- object ---

RadioPlayer::RadioPlayer(const QString& name, const QString& source, AudioStream previousChannel, int device,
    int volume, bool crossfade, QObject* notifyWindow, int netBufferMs, int recorderBitrate, bool recorderPreBuffer)
    : m_device(device == 0 ? -1 : device)
    , m_source(source)
    , m_previousChannel(previousChannel)
    , m_notifyWindow(notifyWindow)
    , m_netBuffer(netBufferMs)
    , m_volume(volume)
{
    LoadAudioPlugins();
    m_stationName = name;
    if (!name.isEmpty())
        AddTitleToHistory(name);
    m_recorder.SetStreamInfo(recorderBitrate, recorderPreBuffer);
    SetCrossfade(crossfade);
    // Alone, the new thread initialises the chosen device afresh.
    if (!previousChannel)
        BASS_Free();
}

RadioPlayer::~RadioPlayer()
{
    // A stop aborted this player's stream creation for good; another player may come to this address.
    BASS_StreamAbortCreate(this, false);
}

void RadioPlayer::PostStatus(int code)
{
    try {
        std::lock_guard lock(m_notifyMutex);
        if (m_notifyWindow)
            PostWindowMessage(m_notifyWindow, PlayerStatusMessage(), WPARAM(code), LPARAM(this));
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

// --- decoders and devices ---

void RadioPlayer::LoadAudioPlugins()
{
    std::call_once(pluginsOnce, [] {
        try {
            // WMA and AAC streams need their decoders; without them such streams fail to open.
            const QByteArray folder = QFile::encodeName(GetAppFolder());
            if (!BASS_PluginLoad((folder + "decoder-wma").constData(), 0))
                MessageBox(QStringLiteral("Cannot load the WMA decoder"), QString(), MB_OK | MB_ICONERROR);
            if (!BASS_PluginLoad((folder + "decoder-aac").constData(), 0))
                MessageBox(QStringLiteral("Cannot load the AAC decoder"), QString(), MB_OK | MB_ICONERROR);
            if ((BASS_GetVersion() >> 16) != kLibraryVersion)
                MessageBox(QStringLiteral("An incorrect version of the audio library was loaded"), QString(),
                    MB_OK | MB_ICONERROR);
        } catch (CSeException* e) {
            e->Log("RadioPlayer", __LINE__);
            e->Delete();
        }
    });
}

void EnumerateAudioDevices(QStringList& list)
{
    try {
        for (uint32_t device = 1; device < 20; ++device) {
            AudioDeviceInfo info {};
            if (!BASS_GetDeviceInfo(device, &info) || !info.name)
                continue;
            // The library's 8-bit text: UTF-8 when it is valid as such, else the code page.
            list.append(
                RadioPlayer::DecodeTagText(info.name, int(strnlen(info.name, 1024))).left(kMaxDeviceNameLength));
        }
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

void ShutdownAudio()
{
    BASS_Free();
}

uint32_t AudioLibraryVersion()
{
    return BASS_GetVersion();
}

// --- thread ---

bool RadioPlayer::StartThread()
{
    const std::shared_ptr<ThreadState> state = m_threadState;
    {
        std::lock_guard lock(state->mutex);
        state->done = false;
    }
    auto markEnded = [state] {
        {
            std::lock_guard lock(state->mutex);
            state->done = true;
        }
        state->ended.notify_all();
    };
    // The player may be deleted as soon as its last status is handled: the thread keeps only the state.
    const bool started = BeginThread(
        [this, markEnded] {
            ThreadProc(this);
            markEnded();
        },
        true);
    if (!started)
        markEnded();
    return started;
}

bool RadioPlayer::WaitForThread(int ms)
{
    std::unique_lock lock(m_threadState->mutex);
    return m_threadState->ended.wait_for(
        lock, std::chrono::milliseconds(std::max(ms, 0)), [this] { return m_threadState->done; });
}

void RadioPlayer::DetachNotifyWindow()
{
    std::lock_guard lock(m_notifyMutex);
    m_notifyWindow = nullptr;
}

void RadioPlayer::ThreadProc(RadioPlayer* player)
{
    InstallSeTranslator();
    try {
        player->Run();
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

void RadioPlayer::Run()
{
    InitAudio();
    OpenAndPlay();
    WaitForStopEvent();
    PauseUnlessAborted(m_stopDelay.load());
    const int fadeOut = m_fadeOut.load();
    SlideVolume(0, fadeOut);
    RemoveSyncsAndDsps();
    PauseUnlessAborted(fadeOut + 100);
    StopChannel();
    // The manager deletes this object when it handles this message: nothing may follow.
    PostFinished();
}

void RadioPlayer::WaitForStopEvent()
{
    std::unique_lock lock(m_eventMutex);
    m_eventCondition.wait(lock, [this] { return m_eventSignalled; });
    m_eventSignalled = false;
}

void RadioPlayer::PauseUnlessAborted(int ms)
{
    if (ms <= 0)
        return;
    std::unique_lock lock(m_eventMutex);
    m_eventCondition.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_aborted; });
}

void RadioPlayer::Abort()
{
    m_stopping = true;
    m_fadeOut = 0;
    m_stopDelay = 0;
    m_statusOnStop = 0;
    AbortStreamCreation();
    {
        ChannelLock lock(m_channel.load());
        if (lock.Locked())
            m_recorder.Stop();
    }
    {
        std::lock_guard lock(m_eventMutex);
        m_aborted = true;
        m_eventSignalled = true;
    }
    m_eventCondition.notify_all();
}

void RadioPlayer::AbortStreamCreation()
{
    // A stream still connecting would hold the thread until the server or the time-out ends it. Set
    // after the stopping flag: a creation that starts later fails at once.
    BASS_StreamAbortCreate(this, true);
}

void RadioPlayer::SignalStopEvent()
{
    {
        std::lock_guard lock(m_eventMutex);
        m_eventSignalled = true;
    }
    m_eventCondition.notify_all();
}

bool RadioPlayer::LibraryPlaysToNoOne()
{
    AudioDeviceInfo info {};
    return BASS_GetDeviceInfo(AUDIO_DEVICE_NO_SOUND, &info) && (info.flags & AUDIO_DEVICE_INIT);
}

void RadioPlayer::InitAudio()
{
    try {
        PostStatus(PlayerStatusInitializing);
        const bool initialised = BASS_Init(m_device, 44100, AUDIO_INIT_SPEAKERS, nullptr, nullptr)
            || BASS_ErrorGetCode() == AUDIO_ERROR_ALREADY;
        // Without a device the stream would play to no one: the user is told as for a device that
        // failed, and a player that is to bring the sound back gives up before it connects.
        if (!initialised || LibraryPlaysToNoOne()) {
            m_withoutSound = initialised;
            PostStatus(PlayerStatusInitFailed);
            if (m_outputRequired) {
                m_outputLost = true;
                StopWithStatus(PlayerStatusCannotConnect);
            }
        }

        BASS_SetConfig(AUDIO_CONFIG_VOLUME_CURVE, 0);
        BASS_SetConfig(AUDIO_CONFIG_BUFFER, 500);
        m_netBuffer = std::clamp(m_netBuffer, kMinNetBuffer, kMaxNetBuffer);
        BASS_SetConfig(AUDIO_CONFIG_NET_BUFFER, uint32_t(m_netBuffer));
        BASS_SetConfig(AUDIO_CONFIG_NET_PREBUFFER, 100);
        BASS_SetConfig(AUDIO_CONFIG_NET_TIMEOUT, 30000);
        BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 2);
        BASS_SetConfig(AUDIO_CONFIG_UPDATE_THREADS, 4);
        BASS_SetConfigPtr(AUDIO_CONFIG_NET_AGENT, kUserAgent);
        PostStatus(PlayerStatusInitDone);
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

void RadioPlayer::OpenAndPlay()
{
    try {
        m_bitrate = 0;
        {
            std::lock_guard lock(m_textLock);
            m_streamName.clear();
        }
        PostStatus(PlayerStatusConnecting);

        AudioStream stream = 0;
        bool attempted = false;
        if (!m_stopping) {
            const QByteArray source = SourceBytes(m_source);
            if (m_source.contains(QStringLiteral("://"))) {
                BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 1);
                if (!source.isEmpty()) {
                    attempted = true;
                    stream = BASS_StreamCreateURL(source.constData(), 0, kStreamFlags, DownloadProc, this);
                }
            } else {
                BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 2);
                ReadLocalFileTag(m_source);
                if (!source.isEmpty()) {
                    attempted = true;
                    stream = BASS_StreamCreateFile(false, source.constData(), 0, 0, kStreamFlags, this);
                }
            }
        }
        if (!stream) {
            // After a source that is no audio the next player initialises the library afresh.
            if (attempted && BASS_ErrorGetCode() == AUDIO_ERROR_FILE_FORMAT)
                BASS_Free();
            if (!m_stopping)
                StopWithStatus(PlayerStatusCannotConnect);
            return;
        }
        m_channel = stream;
        BASS_ChannelSetAttribute(stream, AUDIO_ATTRIB_VOLUME, 0.0f);
        if (m_stopping)
            return;

        ReadTagsAndNotify();
        ReadWmaTagsAndNotify();
        PostStatus(PlayerStatusBuffering);
        if (!BASS_ChannelPlay(stream, false)) {
            if (!m_stopping)
                StopWithStatus(PlayerStatusCannotConnect);
            return;
        }
        if (m_stopping)
            return;

        if (m_previousChannel)
            BASS_ChannelSlideAttribute(m_previousChannel, AUDIO_ATTRIB_VOLUME, 0.0f, uint32_t(m_fadeOut.load()));
        SlideVolume(m_volume.load(), 500);
        PostStatus(PlayerStatusPlaying);
        m_startTime = int64_t(std::time(nullptr));

        {
            ChannelLock lock(stream);
            constexpr uint32_t mixtime = AUDIO_SYNC_MIXTIME;
            m_stallSync = BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | mixtime, 0, StallSyncProc, this);
            m_metaSync = BASS_ChannelSetSync(stream, AUDIO_SYNC_META | mixtime, 0, MetaSyncProc, this);
            m_wmaMetaSync = BASS_ChannelSetSync(stream, AUDIO_SYNC_WMA_META | mixtime, 0, WmaMetaSyncProc, this);
            m_wmaChangeSync = BASS_ChannelSetSync(stream, AUDIO_SYNC_WMA_CHANGE | mixtime, 0, WmaMetaSyncProc, this);
            m_oggChangeSync = BASS_ChannelSetSync(stream, AUDIO_SYNC_OGG_CHANGE | mixtime, 0, MetaSyncProc, this);

            m_recordDsp = BASS_ChannelSetDSP(stream, RecordDspProc, this, 0);
            if (m_normalize)
                m_normalizeDsp = BASS_ChannelSetDSP(stream, NormalizeDspProc, this, 10);

            // The recorder learns the decoded format now; a stall that ends tells it again.
            UpdateRecorderFormat();
        }
        SetEqualizerPreset(GetEqualizerPreset());
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

// --- stopping ---

void RadioPlayer::SetCrossfade(bool crossfade)
{
    m_fadeOut = crossfade ? 2000 : 100;
    m_stopDelay = crossfade ? 5000 : 0;
}

void RadioPlayer::StopSequence(int fadeOutMs, int stopDelayMs, int statusOnStop)
{
    // The first stop decides: a player replaced right after a user stop (or a watchdog restart) still
    // ends with the stop's status and timing.
    if (m_stopping.exchange(true))
        return;
    m_fadeOut = fadeOutMs;
    m_stopDelay = stopDelayMs;
    m_statusOnStop = statusOnStop;
    AbortStreamCreation();
    {
        ChannelLock lock(m_channel.load());
        if (lock.Locked())
            m_recorder.Stop();
    }
    SignalStopEvent();
}

void RadioPlayer::Stop(bool crossfade)
{
    StopSequence(crossfade ? 2000 : 100, crossfade ? 5000 : 0, 0);
}

void RadioPlayer::StopNow(bool fade)
{
    if (m_stopping)
        return;
    PostStatus(PlayerStatusStopping);
    StopSequence(fade ? 2000 : 100, 0, PlayerStatusStopped);
}

void RadioPlayer::StopWithStatus(int code)
{
    StopSequence(0, 0, code);
}

void RadioPlayer::RemoveSyncsAndDsps()
{
    const AudioStream channel = m_channel.load();
    ChannelLock lock(channel);
    if (!lock.Locked())
        return;
    for (AudioSync* sync : { &m_stallSync, &m_metaSync, &m_wmaMetaSync, &m_wmaChangeSync, &m_oggChangeSync }) {
        if (*sync)
            BASS_ChannelRemoveSync(channel, *sync);
        *sync = 0;
    }
    for (AudioDsp* dsp : { &m_normalizeDsp, &m_recordDsp }) {
        if (*dsp)
            BASS_ChannelRemoveDSP(channel, *dsp);
        *dsp = 0;
    }
}

void RadioPlayer::StopChannel()
{
    if (const AudioStream channel = m_channel.load()) {
        // Stopping frees the stream. A lock that cannot be had means that the library is freeing it on
        // another thread, where a callback of ours may still be finishing: stopping it anyway returns
        // only once none can run, so the manager may delete this player after our last status.
        ChannelLock lock(channel);
        BASS_ChannelStop(channel);
    }
    const int status = m_statusOnStop.load();
    if (status != 0)
        PostStatus(status);
}

// --- volume ---

void RadioPlayer::SetVolumeZero()
{
    BASS_ChannelSetAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, 0.0f);
}

void RadioPlayer::SetVolume(int volume)
{
    m_volume = volume;
    if (!m_muted)
        BASS_ChannelSlideAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, float(volume) * 0.01f, 100);
}

void RadioPlayer::SetMute(bool mute)
{
    m_muted = mute;
    if (mute)
        BASS_ChannelSlideAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, 0.0f, 100);
    else
        BASS_ChannelSlideAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, float(m_volume.load()) * 0.01f, 1000);
}

void RadioPlayer::SlideVolume(int volume, int ms)
{
    if (m_muted)
        BASS_ChannelSlideAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, 0.0f, 50);
    else
        BASS_ChannelSlideAttribute(
            m_channel.load(), AUDIO_ATTRIB_VOLUME, float(volume) * 0.01f, uint32_t(std::max(ms, 0)));
    m_volume = volume;
}

// --- channel state ---

bool RadioPlayer::IsPlaying() const
{
    const AudioStream channel = m_channel.load();
    return channel && BASS_ChannelIsActive(channel) == AUDIO_ACTIVE_PLAYING;
}

uint32_t RadioPlayer::GetChannelType() const
{
    const AudioStream channel = m_channel.load();
    AudioChannelInfo info {};
    if (!channel || !BASS_ChannelGetInfo(channel, &info))
        return 0;
    return info.ctype;
}

void RadioPlayer::StallSyncProc(AudioSync, uint32_t channel, uint32_t data, void* user)
{
    InstallSeTranslator();
    auto* player = static_cast<RadioPlayer*>(user);
    ChannelLock lock(channel);
    if (!lock.Locked() || !player)
        return;
    try {
        player->OnStall(data);
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

void RadioPlayer::OnStall(uint32_t data)
{
    CheckActiveState();
    SetVolumeZero();
    if (data != 1)
        return;
    UpdateCurrentBitrate();
    if (m_muted)
        BASS_ChannelSlideAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, 0.0f, 50);
    else
        BASS_ChannelSlideAttribute(m_channel.load(), AUDIO_ATTRIB_VOLUME, float(m_volume.load()) * 0.01f, 500);
    UpdateRecorderFormat();
}

void RadioPlayer::UpdateRecorderFormat()
{
    AudioChannelInfo info {};
    if (!BASS_ChannelGetInfo(m_channel.load(), &info))
        return;
    m_rawRecordable = info.ctype == AUDIO_CTYPE_MP3 || info.ctype == AUDIO_CTYPE_AAC;
    m_recorder.SetFormat(int(info.freq), int(info.chans), m_rawRecordable);
}

void RadioPlayer::CheckActiveState()
{
    const AudioStream channel = m_channel.load();
    switch (BASS_ChannelIsActive(channel)) {
    case AUDIO_ACTIVE_STOPPED:
        SetVolumeZero();
        PostStatus(PlayerStatusStoppedByItself);
        if (!m_stopping && !BASS_ChannelPlay(channel, false) && BASS_ErrorGetCode() == AUDIO_ERROR_DRIVER) {
            // The output went away with its sound server or device: nothing plays on it any more. The
            // player ends, and the manager brings the station back once an output opens again.
            m_outputLost = true;
            StopWithStatus(PlayerStatusCannotConnect);
        }
        break;
    case AUDIO_ACTIVE_PLAYING:
        PostStatus(PlayerStatusPlaying);
        break;
    case AUDIO_ACTIVE_STALLED:
        PostStatus(PlayerStatusBuffering);
        SetVolumeZero();
        break;
    default:
        break;
    }
}

void RadioPlayer::UpdateCurrentBitrate()
{
    if (m_bitrateKnown || GetChannelType() != AUDIO_CTYPE_WMA)
        return;
    // The WMA decoder's own figure of the stream's current bitrate, in bit/s.
    CWmaMediaObject* media = BASS_WMA_GetWMObject(m_channel.load());
    CWmaHeaderInfo* header = media ? media->QueryHeaderInfo() : nullptr;
    uint32_t bitsPerSecond = 0;
    if (header && header->GetAttributeByName(0, "CurrentBitrate", bitsPerSecond))
        SetBitrate(int(bitsPerSecond / 4000 * 4));
}
