#include "audio/library/Channel.h"

#include "audio/library/FftAnalyzer.h"
#include "audio/library/FileSource.h"
#include "audio/library/MixKernels.h"
#include "audio/library/StreamBuffer.h"
#include "audio/library/WmaObject.h"

#include "core/ErrorLog.h"
#include "core/SeException.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

constexpr size_t kMinNetBufferBytes = 16384;
constexpr size_t kCurlBlock = 16384; // the largest block a download delivers at once
constexpr int64_t kDefaultByteRate = 16000; // 128 kbit/s until the stream tells better
constexpr double kMeasureSeconds = 0.25; // decoded audio before the byte rate is measured
constexpr size_t kFftHistoryMargin = 4096;
// The decoding thread's waits: the least and most while playing, and the poll while waiting for the
// pre-buffer, for Play or for a stalled stream to resume.
constexpr int kMinSleepMs = 5;
constexpr int kMaxSleepMs = 100;
constexpr int kIdleSleepMs = 10;
constexpr int kRefillSlackMs = 50; // more than one block of the usual outputs
constexpr int kMaxNetRestMs = 250; // a download's rest between reads while playing
constexpr auto kThreadJoinWait = std::chrono::seconds(10);

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs a caller's callback; whatever it throws is logged and does not take the library's thread down.
template <typename Call> void CallUser(Call&& call)
{
    try {
        call();
    } catch (CSeException* e) {
        e->Log("Channel", __LINE__);
        e->Delete();
    } catch (const std::exception& e) {
        WriteErrorLog("Channel", __LINE__, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        WriteErrorLog("Channel", __LINE__, QStringLiteral("A stream callback threw an unknown exception."));
    }
}

} // namespace

CChannel::CChannel(
    uint32_t handle, uint32_t flags, const AudioConfig& config, int outputRate, int latencyFrames, std::string name)
    : m_handle(handle)
    , m_flags(flags)
    , m_config(config)
    , m_outputRate(outputRate)
    , m_latencyFrames(latencyFrames)
    , m_name(std::move(name))
{
    m_volume.Set(1.0f, NowNs());
}

CChannel::~CChannel() = default;

// ---- creation ----------------------------------------------------------------------------------

int CChannel::OpenUrl(AudioDownloadProc proc, void* user)
{
    m_downloadProc = proc;
    m_downloadUser = user;
    m_buffer = std::make_unique<CStreamBuffer>(size_t(m_config.netBufferMs * kDefaultByteRate / 1000) + kCurlBlock);
    CNetSource::Settings settings;
    settings.url = m_name;
    settings.timeoutMs = m_config.netTimeoutMs;
    settings.userAgent = m_config.userAgent;
    settings.followPlaylists = m_config.playlistMode >= 1;
    m_net = std::make_unique<CNetSource>(settings, *m_buffer, *this);
    m_buffer->SetRoomCallback([net = m_net.get()] { net->Wake(); });
    m_source = m_buffer.get();
    if (!BeginOpening())
        return AUDIO_ERROR_UNKNOWN;
    if (!StartThread([this] { m_net->Run(); }))
        return AUDIO_ERROR_MEMORY;
    return StartDecoding(std::string());
}

int CChannel::OpenFile(const std::string& localPath)
{
    m_file = std::make_unique<CFileSource>();
    if (!m_file->Open(localPath))
        return AUDIO_ERROR_FILE_OPEN;
    m_source = m_file.get();
    if (!BeginOpening())
        return AUDIO_ERROR_UNKNOWN;
    return StartDecoding(localPath);
}

// The sources are set up before this, and threads start only after it: false when the creation was
// aborted meanwhile.
bool CChannel::BeginOpening()
{
    std::lock_guard lock(m_openMutex);
    m_opening = !m_openAborted;
    return m_opening;
}

void CChannel::AbortOpen()
{
    {
        std::lock_guard lock(m_openMutex);
        if (m_openSignalled || m_openAborted)
            return;
        m_openAborted = true;
        if (!m_opening)
            return; // BeginOpening refuses to start
    }
    // As when freeing: every wait of the download, the decoder's reads and FFmpeg's probing watch these.
    m_cancel = true;
    if (m_buffer)
        m_buffer->Cancel();
    if (m_net)
        m_net->Cancel();
    m_wake.notify_all();
}

int CChannel::StartDecoding(const std::string& fileName)
{
    m_decoder = std::make_unique<CDecoder>(*m_source, m_cancel, [this] { PollEvents(); });
    if (!StartThread([this, fileName] { DecodeThread(fileName); })) {
        m_cancel = true;
        if (m_net)
            m_net->Cancel();
        return AUDIO_ERROR_MEMORY;
    }
    return WaitOpened();
}

// Runs work on a library thread that holds the stream alive and counts as one of its threads.
bool CChannel::StartThread(std::function<void()> work)
{
    {
        std::lock_guard lock(m_threadMutex);
        ++m_threadCount;
    }
    std::shared_ptr<CChannel> self = shared_from_this();
    const bool started = CAudioEngine::Instance().StartThread([self, work = std::move(work)] {
        self->ThreadBegins();
        struct Ending {
            CChannel& channel;
            ~Ending() { channel.ThreadEnds(); }
        } ending { *self };
        work();
    });
    if (!started) {
        std::lock_guard lock(m_threadMutex);
        --m_threadCount;
        m_threadsChanged.notify_all();
    }
    return started;
}

void CChannel::ThreadBegins()
{
    std::lock_guard lock(m_threadMutex);
    m_threadIds.push_back(std::this_thread::get_id());
}

void CChannel::ThreadEnds()
{
    std::lock_guard lock(m_threadMutex);
    std::erase(m_threadIds, std::this_thread::get_id());
    --m_threadCount;
    m_threadsChanged.notify_all();
}

bool CChannel::IsOwnThread() const
{
    std::lock_guard lock(m_threadMutex);
    return std::find(m_threadIds.begin(), m_threadIds.end(), std::this_thread::get_id()) != m_threadIds.end();
}

// Waits until the stream's threads have ended, all but the calling one.
void CChannel::JoinThreads()
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(m_threadMutex);
    const bool ended = m_threadsChanged.wait_for(lock, kThreadJoinWait, [&] {
        const bool own = std::find(m_threadIds.begin(), m_threadIds.end(), self) != m_threadIds.end();
        return m_threadCount == (own ? 1 : 0);
    });
    if (!ended)
        WriteErrorLog("Channel", __LINE__, QStringLiteral("A stream thread did not end in time."));
}

void CChannel::WaitUntilFreed()
{
    // The first caller waits for the lock's holder and for the stream's threads: those must not wait
    // for it. Neither can run a callback of this stream any more.
    if (m_lock.HeldByCaller() || IsOwnThread())
        return;
    std::unique_lock lock(m_threadMutex);
    m_threadsChanged.wait(lock, [this] { return m_freeDone; });
}

int CChannel::WaitOpened()
{
    std::unique_lock lock(m_openMutex);
    m_openChanged.wait(lock, [this] { return m_openSignalled; });
    // An abort that came as the stream opened still fails it: its threads may have seen the cancel.
    return m_openAborted ? AUDIO_ERROR_UNKNOWN : m_openResult;
}

void CChannel::SignalOpened(int result)
{
    std::lock_guard lock(m_openMutex);
    if (m_openSignalled)
        return;
    m_openSignalled = true;
    m_openResult = result;
    m_openChanged.notify_all();
}

// ---- decoding thread ---------------------------------------------------------------------------

void CChannel::DecodeThread(const std::string& fileName)
{
    m_decodeThreadId = std::this_thread::get_id();
    try {
        int result = m_decoder->Open(fileName, m_buffer ? m_config.netTimeoutMs : 0);
        if (result != AUDIO_OK) {
            if (m_buffer && m_buffer->Written() == 0 && m_buffer->Error() != AUDIO_OK)
                result = m_buffer->Error(); // the download failed before any byte came
            SignalOpened(m_cancel ? AUDIO_ERROR_UNKNOWN : result);
            return;
        }
        SetUpAfterOpen();
        const auto openedAt = std::chrono::steady_clock::now();
        bool signalled = false;
        bool refilling = true;
        while (!m_cancel) {
            PollEvents();
            if (m_cancel || m_ended)
                break;
            // Refill once a tenth of a second has been played, then up to the full playback buffer:
            // fewer wake-ups than topping up every block. The thread sleeps until the ring is due to be
            // down to that mark; the output takes whole blocks, so on waking a fill within one block of
            // the mark counts as due.
            const size_t fill = m_ring.Fill();
            const size_t low = m_playFrames - std::min(m_playFrames / 2, size_t(m_outputRate) / 10);
            const size_t block = std::max(size_t(m_outputRate) * kRefillSlackMs / 1000, size_t(m_latencyFrames));
            const size_t due = std::min(low + block, m_playFrames);
            // Before playing and while stalled the buffer must fill up completely.
            const bool wantFull = refilling || !signalled || m_state.load() == AUDIO_ACTIVE_STALLED;
            if (!m_decodeEnded && (fill < due || (wantFull && fill < m_playFrames))) {
                refilling = true;
                if (!DecodeBlock())
                    break;
            } else {
                refilling = false;
                const bool consuming = m_state.load() == AUDIO_ACTIVE_PLAYING;
                // Playing: until the refill mark, or once decoding has ended until the ring has run out.
                const size_t mark = m_decodeEnded ? 0 : low;
                const int64_t untilMark = fill > mark ? int64_t(fill - mark) * 1000 / m_outputRate : 0;
                SleepFor(consuming && signalled ? int(std::clamp<int64_t>(untilMark, kMinSleepMs, kMaxSleepMs))
                                                : kIdleSleepMs);
            }
            if (!signalled && PrebufferDone(openedAt)) {
                signalled = true;
                AllowNetRests(true);
                SignalOpened(AUDIO_OK);
            }
        }
        SignalOpened(m_cancel ? AUDIO_ERROR_UNKNOWN : AUDIO_OK);
    } catch (CSeException* e) {
        e->Log("Channel", __LINE__);
        e->Delete();
        SignalOpened(AUDIO_ERROR_UNKNOWN);
    } catch (const std::bad_alloc&) {
        WriteErrorLog("Channel", __LINE__, QStringLiteral("Out of memory while decoding a stream."));
        SignalOpened(AUDIO_ERROR_MEMORY);
    } catch (const std::exception& e) {
        WriteErrorLog("Channel", __LINE__, QString::fromLocal8Bit(e.what()));
        SignalOpened(AUDIO_ERROR_UNKNOWN);
    }
    m_decoder.reset(); // frees FFmpeg's contexts on this thread
}

void CChannel::SetUpAfterOpen()
{
    m_format = m_decoder->Format();
    m_sourceRate = m_format.sampleRate;
    m_playFrames = std::max<size_t>(size_t(m_config.bufferMs) * size_t(m_outputRate) / 1000, 1024);
    const size_t history = CFftAnalyzer::kPoints + size_t(m_latencyFrames) + kFftHistoryMargin;
    m_ring.Reset(m_format.channels, m_playFrames, history);
    if (m_format.ctype == AUDIO_CTYPE_OGG || m_format.ctype == AUDIO_CTYPE_OPUS)
        m_tags.SetOgg(m_decoder->OggComments());
    if (m_buffer) {
        int64_t byteRate = m_format.bitRate / 8;
        if (byteRate <= 0 && m_net->IcyBitrateKbps() > 0)
            byteRate = int64_t(m_net->IcyBitrateKbps()) * 125;
        SetByteRate(byteRate > 0 ? byteRate : kDefaultByteRate);
        m_decoderHeld = m_decoder->HeldBytes();
    }
}

void CChannel::SetByteRate(int64_t byteRate)
{
    // The network buffer holds the configured time of audio; the download may overshoot it by a block.
    m_byteRate = std::max<int64_t>(byteRate, 1000);
    const size_t bytes = std::max(kMinNetBufferBytes, size_t(int64_t(m_config.netBufferMs) * m_byteRate / 1000));
    m_netBufferBytes = bytes;
    m_buffer->SetLimit(bytes + kCurlBlock);
}

void CChannel::MeasureByteRate(int frames, int sampleRate)
{
    // Variable-rate streams (Ogg above all) may run far below their nominal rate: measure it from
    // the size of the packets decoded since the first block. A listener joins a live stream anywhere:
    // what comes before the first whole frame (the rest of one, or a false frame header and what it
    // swallowed) would make an AAC station seem to run at several times its rate, and its pre-buffer
    // wait seconds for audio it already holds.
    if (!m_measuring) {
        m_measuring = true;
        m_measureBaseBytes = m_decoder->PacketBytes();
        return;
    }
    m_decodedSeconds += double(frames) / sampleRate;
    const double seconds = m_decodedSeconds;
    if (seconds < kMeasureSeconds)
        return;
    const int64_t measured = int64_t(double(m_decoder->PacketBytes() - m_measureBaseBytes) / seconds);
    const int64_t current = m_byteRate;
    if (measured > 0 && (measured * 10 < current * 9 || measured * 10 > current * 11))
        SetByteRate(measured);
}

int64_t CChannel::BufferedMs() const
{
    int64_t ms = int64_t(m_ring.Fill()) * 1000 / m_outputRate;
    if (m_buffer) {
        const uint64_t bytes = m_buffer->Fill() + m_decoderHeld.load();
        ms += int64_t(bytes) * 1000 / std::max<int64_t>(m_byteRate.load(), 1);
    }
    return ms;
}

bool CChannel::PrebufferDone(std::chrono::steady_clock::time_point openedAt) const
{
    if (m_buffer && std::chrono::steady_clock::now() - openedAt > std::chrono::milliseconds(m_config.netTimeoutMs))
        return true; // play what there is; the channel stalls if it runs dry
    return BufferFilled();
}

bool CChannel::ResumeReady() const
{
    return !m_outputStarved.load() && BufferFilled();
}

// The playback buffer is full and, for a URL stream, the pre-buffer part of the network buffer
// holds audio too (or nothing more will come).
bool CChannel::BufferFilled() const
{
    if (m_decodeEnded)
        return true;
    if (m_ring.Fill() < m_playFrames)
        return false;
    if (!m_buffer || m_buffer->IsFinished())
        return true;
    const int64_t wanted = int64_t(m_config.netBufferMs) * std::clamp(m_config.netPrebufferPercent, 0, 100) / 100;
    const int64_t full = int64_t(m_netBufferBytes.load()) * 1000 / std::max<int64_t>(m_byteRate.load(), 1);
    return BufferedMs() >= std::min(wanted, int64_t(m_config.bufferMs) + full);
}

bool CChannel::DecodeBlock()
{
    m_block.clear();
    const int frames = m_decoder->Decode(m_block);
    if (frames < 0)
        return false;
    if (frames == 0) {
        m_decodeEnded = true;
        return true;
    }
    // A station that comes back after a reconnection may send at another rate.
    const int rate = m_decoder->Format().sampleRate;
    if (rate != m_sourceRate.load()) {
        m_sourceRate = rate;
        m_resampler.Reset();
    }
    if (m_buffer) {
        MeasureByteRate(frames, rate);
        m_decoderHeld = m_decoder->HeldBytes();
    }
    {
        CChannelLockGuard guard(m_lock);
        if (!guard.Locked())
            return false;
        if (m_decoder->TakeOggChange()) {
            m_tags.SetOgg(m_decoder->OggComments());
            FireSync(AUDIO_SYNC_OGG_CHANGE, 0);
        }
        RunDsp(m_block.data(), size_t(frames), rate);
    }
    if (rate == m_outputRate)
        return WriteToRing(m_block.data(), size_t(frames));
    m_resampled.clear();
    m_resampler.Resample(m_block.data(), frames, m_format.channels, rate, m_outputRate, m_resampled);
    return WriteToRing(m_resampled.data(), m_resampled.size() / size_t(m_format.channels));
}

bool CChannel::WriteToRing(const int16_t* samples, size_t frames)
{
    while (frames > 0) {
        const size_t n = std::min(frames, m_ring.Space());
        if (n == 0) {
            PollEvents();
            if (m_cancel || m_ended)
                return false;
            SleepFor(10);
            continue;
        }
        m_ring.Write(samples, n);
        samples += n * size_t(m_format.channels);
        frames -= n;
    }
    return true;
}

void CChannel::RunDsp(int16_t* samples, size_t frames, int sampleRate)
{
    m_dsp.Snapshot(m_dspSnapshot);
    const size_t count = frames * size_t(m_format.channels);
    const uint32_t bytes = uint32_t(count * sizeof(int16_t));
    // What the DSPs write is heard; the effects are applied to it later, in Take. From the effects'
    // place on (also while the last one removed fades out) the DSPs get the sound as it will be heard.
    const int effectPriority = m_effectPriority.load();
    int16_t* block = samples;
    bool equalised = !m_chainEqualizer.Active();
    for (const CDspChain::Entry& entry : m_dspSnapshot) {
        if (!equalised && (entry.effect || entry.priority < effectPriority)) {
            m_effectCopy.assign(samples, samples + count);
            block = m_effectCopy.data();
            m_chainEqualizer.Process(block, frames, m_format.channels, sampleRate);
            equalised = true;
        }
        if (entry.effect || !m_dsp.Contains(entry.handle))
            continue; // an effect, or removed by an earlier callback of this block
        CallUser([&] { entry.proc(entry.handle, m_handle, block, bytes, entry.user); });
    }
}

// While the stream plays from a full buffer its download need not read every packet as it comes:
// resting between reads wakes the download thread a few times a second instead of for each packet.
// Before playing and while stalled it reads at once, so that nothing waits for it.
void CChannel::AllowNetRests(bool allow)
{
    if (m_net)
        m_net->SetRestMs(allow ? std::min(kMaxNetRestMs, m_config.netBufferMs / 8) : 0);
}

void CChannel::SleepFor(int ms)
{
    std::unique_lock lock(m_wakeMutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms));
}

void CChannel::PollEvents()
{
    if (m_stallPending.exchange(false)) {
        AllowNetRests(false);
        CChannelLockGuard guard(m_lock);
        if (guard.Locked())
            FireSync(AUDIO_SYNC_STALL, 0);
    }
    if (m_state.load() == AUDIO_ACTIVE_STALLED && ResumeReady()) {
        uint32_t expected = AUDIO_ACTIVE_STALLED;
        if (m_state.compare_exchange_strong(expected, AUDIO_ACTIVE_PLAYING)) {
            AllowNetRests(true);
            CChannelLockGuard guard(m_lock);
            if (guard.Locked())
                FireSync(AUDIO_SYNC_STALL, 1);
        }
    }
    if (m_endPending.exchange(false)) {
        m_ended = true;
        {
            CChannelLockGuard guard(m_lock);
            if (guard.Locked())
                FireSync(AUDIO_SYNC_END, 0);
        }
        std::shared_ptr<CChannel> removed = CAudioEngine::Instance().Mixer().Remove(this);
        if (m_flags & AUDIO_STREAM_AUTOFREE) {
            Free();
            CAudioEngine::Instance().RemoveChannel(m_handle);
        }
    }
    DeliverQueuedSyncs();
}

void CChannel::FireSync(uint32_t type, uint32_t data)
{
    std::vector<CSyncList::Entry> entries;
    m_syncs.Collect(type, entries);
    const bool decodingThread = std::this_thread::get_id() == m_decodeThreadId;
    for (const CSyncList::Entry& entry : entries) {
        if (!entry.mixtime && !decodingThread) {
            std::lock_guard lock(m_queueMutex);
            m_queuedSyncs.push_back({ entry.handle, type, data });
            continue;
        }
        if (m_syncs.Contains(entry.handle))
            CallUser([&] { entry.proc(entry.handle, m_handle, data, entry.user); });
    }
}

void CChannel::DeliverQueuedSyncs()
{
    std::vector<QueuedSync> queued;
    {
        std::lock_guard lock(m_queueMutex);
        queued.swap(m_queuedSyncs);
    }
    if (queued.empty())
        return;
    CChannelLockGuard guard(m_lock);
    if (!guard.Locked())
        return;
    for (const QueuedSync& item : queued) {
        std::vector<CSyncList::Entry> entries;
        m_syncs.Collect(item.type, entries);
        for (const CSyncList::Entry& entry : entries)
            if (entry.handle == item.handle && m_syncs.Contains(entry.handle))
                CallUser([&] { entry.proc(entry.handle, m_handle, item.data, entry.user); });
    }
}

// ---- download thread ---------------------------------------------------------------------------

void CChannel::OnResponseHeaders(const std::vector<std::string>& lines, bool icy, bool first)
{
    CChannelLockGuard guard(m_lock);
    if (!guard.Locked())
        return;
    m_tags.SetHeaders(lines, icy);
    if (first && (m_flags & AUDIO_STREAM_STATUS) && m_downloadProc) {
        if (const char* block = m_tags.Headers())
            CallUser([&] { m_downloadProc(block, 0, m_downloadUser); });
    }
}

void CChannel::OnStreamBytes(const uint8_t* data, size_t size)
{
    if (!m_downloadProc)
        return;
    CChannelLockGuard guard(m_lock);
    if (guard.Locked())
        CallUser([&] { m_downloadProc(data, uint32_t(size), m_downloadUser); });
}

void CChannel::OnMetadata(const std::string& text)
{
    CChannelLockGuard guard(m_lock);
    if (!guard.Locked())
        return;
    m_tags.SetMeta(text);
    FireSync(AUDIO_SYNC_META, 0);
}

// ---- output thread -----------------------------------------------------------------------------

size_t CChannel::Take(int16_t* stereo, size_t frames, bool starve)
{
    if (m_outputStarved.load(std::memory_order_relaxed) != starve)
        m_outputStarved.store(starve, std::memory_order_relaxed);
    if (m_state.load(std::memory_order_acquire) != AUDIO_ACTIVE_PLAYING)
        return 0;
    // Read the end flag before the fill: once decoding has ended every frame is in the ring.
    const bool decodeEnded = m_decodeEnded.load(std::memory_order_acquire);
    const size_t available = starve ? 0 : m_ring.Fill();
    const size_t n = std::min(available, frames);
    if (n > 0) {
        const int channels = m_ring.Channels();
        int16_t* target = stereo;
        m_ring.Consume(n, [&](int16_t* samples, size_t run) {
            // In the ring, so that its history, which the FFT reads, holds what is heard.
            m_heardEqualizer.Process(samples, run, channels, m_outputRate);
            if (channels == 2) {
                std::memcpy(target, samples, run * 2 * sizeof(int16_t));
            } else {
                for (size_t i = 0; i < run; ++i)
                    target[i * 2] = target[i * 2 + 1] = samples[i];
            }
            target += run * 2;
        });
    }
    if (n < frames) {
        uint32_t expected = AUDIO_ACTIVE_PLAYING;
        if (decodeEnded && !starve) {
            if (m_state.compare_exchange_strong(expected, AUDIO_ACTIVE_STOPPED))
                m_endPending = true;
        } else if (m_state.compare_exchange_strong(expected, AUDIO_ACTIVE_STALLED)) {
            m_stallPending = true;
        }
    }
    return n;
}

size_t CChannel::Available() const
{
    return m_state.load(std::memory_order_acquire) == AUDIO_ACTIVE_PLAYING ? m_ring.Fill() : 0;
}

bool CChannel::CanRender(int frames)
{
    if (m_state.load() != AUDIO_ACTIVE_PLAYING || m_decodeEnded.load() || m_ring.Fill() >= size_t(frames))
        return true;
    // The decoding thread sleeps as if the output took the ring in real time: an output that takes it
    // faster wakes it.
    m_wake.notify_all();
    return false;
}

void CChannel::OutputLost()
{
    if (m_state.exchange(AUDIO_ACTIVE_STOPPED) == AUDIO_ACTIVE_STOPPED)
        return;
    m_stallPending = true;
    m_wake.notify_all();
}

// ---- API ---------------------------------------------------------------------------------------

bool CChannel::Play(int& error)
{
    if (m_freed) {
        error = AUDIO_ERROR_HANDLE;
        return false;
    }
    if (m_ended) {
        error = AUDIO_ERROR_NOT_AVAILABLE; // a stream in blocks cannot go back to its start
        return false;
    }
    uint32_t expected = AUDIO_ACTIVE_STOPPED;
    if (m_state.compare_exchange_strong(expected, AUDIO_ACTIVE_PLAYING)
        && !CAudioEngine::Instance().Mixer().Add(shared_from_this())) {
        m_state = AUDIO_ACTIVE_STOPPED;
        error = AUDIO_ERROR_DRIVER;
        return false;
    }
    return true;
}

void CChannel::Stop()
{
    std::shared_ptr<CChannel> removed = CAudioEngine::Instance().Mixer().Remove(this, true);
    m_state = AUDIO_ACTIVE_STOPPED;
    if (m_flags & AUDIO_STREAM_AUTOFREE) {
        // Freed before it leaves the handle table: a handle that cannot be found has no callbacks left.
        Free();
        CAudioEngine::Instance().RemoveChannel(m_handle);
    }
}

void CChannel::Free()
{
    if (m_freed.exchange(true)) {
        WaitUntilFreed();
        return;
    }
    // A stream still being created may be setting up its sources on the creating thread: they are
    // ours to touch only once that thread has passed BeginOpening, and a creation that has not gets
    // no further than it.
    bool sourcesSet = true;
    {
        std::lock_guard lock(m_openMutex);
        if (!m_openSignalled) {
            m_openAborted = true;
            sourcesSet = m_opening;
        }
    }
    m_state = AUDIO_ACTIVE_STOPPED;
    m_cancel = true;
    m_lock.Close();
    if (sourcesSet && m_buffer)
        m_buffer->Cancel();
    if (sourcesSet && m_net)
        m_net->Cancel();
    m_wake.notify_all();
    std::shared_ptr<CChannel> removed = CAudioEngine::Instance().Mixer().Remove(this, true);
    m_syncs.Clear();
    m_dsp.Clear();
    m_lock.WaitUntilReleasedByOthers();
    JoinThreads();
    {
        std::lock_guard lock(m_threadMutex);
        m_freeDone = true;
    }
    m_threadsChanged.notify_all();
}

void CChannel::GetInfo(AudioChannelInfo& info) const
{
    info.freq = uint32_t(m_sourceRate.load());
    info.chans = uint32_t(m_format.channels);
    info.flags = m_flags;
    info.ctype = m_format.ctype;
    info.origres = uint32_t(m_format.sourceBits);
    info.plugin = 0;
    info.filename = m_name.c_str();
}

const char* CChannel::Tags(uint32_t kind) const
{
    return m_tags.Get(kind);
}

uint64_t CChannel::FilePosition(uint32_t mode, int& error) const
{
    const bool wma = m_format.ctype == AUDIO_CTYPE_WMA || m_format.ctype == AUDIO_CTYPE_WMA_MP3;
    if (m_buffer) {
        const int64_t length = m_net->ContentLength();
        switch (mode) {
        case AUDIO_FILEPOS_CURRENT:
            return m_buffer->Consumed() - std::min(m_buffer->Consumed(), m_decoderHeld.load());
        case AUDIO_FILEPOS_DOWNLOAD:
            return m_buffer->Written();
        case AUDIO_FILEPOS_END:
            return length >= 0 ? uint64_t(length) : uint64_t(m_netBufferBytes.load());
        case AUDIO_FILEPOS_WMA_BUFFER:
            if (wma)
                return std::min<uint64_t>(
                    100, uint64_t(m_buffer->Fill()) * 100 / std::max<size_t>(m_netBufferBytes, 1));
            break;
        default:
            break;
        }
    } else if (m_file) {
        switch (mode) {
        case AUDIO_FILEPOS_CURRENT:
            return m_file->Position();
        case AUDIO_FILEPOS_DOWNLOAD:
        case AUDIO_FILEPOS_END:
            return uint64_t(m_file->Size());
        case AUDIO_FILEPOS_WMA_BUFFER:
            if (wma)
                return 100;
            break;
        default:
            break;
        }
    }
    error = mode == AUDIO_FILEPOS_WMA_BUFFER ? AUDIO_ERROR_NOT_AVAILABLE : AUDIO_ERROR_PARAMETER;
    return uint64_t(-1);
}

void CChannel::SetVolume(float value)
{
    m_volume.Set(value, NowNs());
    CAudioEngine::Instance().Mixer().VolumeChanged();
}

void CChannel::SlideVolume(float value, uint32_t ms)
{
    m_volume.Slide(value, int64_t(ms) * 1000000, NowNs());
    CAudioEngine::Instance().Mixer().VolumeChanged();
}

float CChannel::CurrentVolume() const
{
    return m_volume.At(NowNs());
}

AudioSync CChannel::SetSync(AudioSync handle, uint32_t type, AudioSyncProc proc, void* user)
{
    m_syncs.Add({ handle, type & ~AUDIO_SYNC_MIXTIME, (type & AUDIO_SYNC_MIXTIME) != 0, proc, user });
    return handle;
}

bool CChannel::RemoveSync(AudioSync sync)
{
    CChannelLockGuard guard(m_lock); // so that it is not running elsewhere when this returns
    return m_syncs.Remove(sync);
}

void CChannel::SetDsp(AudioDsp handle, AudioDspProc proc, void* user, int priority)
{
    CDspChain::Entry entry;
    entry.handle = handle;
    entry.priority = priority;
    entry.proc = proc;
    entry.user = user;
    m_dsp.Add(std::move(entry));
}

void CChannel::SetEffect(AudioFx handle, int priority)
{
    CDspChain::Entry entry;
    entry.handle = handle;
    entry.priority = priority;
    entry.effect = true;
    m_dsp.Add(std::move(entry));
    m_effectPriority = priority;
    PublishEffects();
}

bool CChannel::RemoveDsp(uint32_t handle)
{
    CChannelLockGuard guard(m_lock);
    if (!m_dsp.Remove(handle))
        return false;
    PublishEffects();
    return true;
}

bool CChannel::SetEffectParameters(AudioFx effect, const AudioPeakEqParams& params)
{
    AudioPeakEqParams band;
    if (!CPeakEqualizer::Check(params, band) || !m_dsp.SetEffectBand(effect, band))
        return false;
    PublishEffects();
    return true;
}

void CChannel::PublishEffects()
{
    std::lock_guard lock(m_effectMutex);
    std::vector<AudioPeakEqParams> bands = m_dsp.EffectBands();
    m_chainEqualizer.SetBands(bands);
    m_heardEqualizer.SetBands(std::move(bands));
}

bool CChannel::GetFft(float* magnitudes)
{
    const int channels = m_ring.Channels();
    if (m_format.sampleRate == 0)
        return false;
    std::vector<int16_t> frames(size_t(CFftAnalyzer::kPoints) * size_t(channels), 0);
    // What the output has queued ahead of the ear, where it tells; its usual latency otherwise.
    const int64_t unheardNs = CAudioEngine::Instance().Mixer().UnheardNs();
    const uint64_t lag = unheardNs < 0 ? uint64_t(m_latencyFrames)
                                       : std::min(uint64_t(unheardNs) * uint64_t(m_outputRate) / 1000000000,
                                           uint64_t(m_latencyFrames) + kFftHistoryMargin / 2);
    bool copied = false;
    for (int attempt = 0; attempt < 3 && !copied; ++attempt) {
        const uint64_t read = m_ring.ReadPosition();
        const uint64_t heard = read > lag ? read - lag : 0;
        if (heard < uint64_t(CFftAnalyzer::kPoints)) {
            // Less than one window heard so far: the rest is silence before the start.
            const size_t have = size_t(heard);
            const size_t offset = (CFftAnalyzer::kPoints - have) * size_t(channels);
            copied = have == 0 || m_ring.CopyHistory(heard, have, frames.data() + offset);
        } else {
            copied = m_ring.CopyHistory(heard, CFftAnalyzer::kPoints, frames.data());
        }
    }
    if (!copied)
        return false;
    std::lock_guard lock(m_analyzerMutex);
    if (!m_analyzer)
        m_analyzer = std::make_unique<CFftAnalyzer>();
    return m_analyzer->Compute(frames.data(), channels, magnitudes);
}

CWmaMediaObject* CChannel::WmaObject()
{
    if (m_format.ctype != AUDIO_CTYPE_WMA && m_format.ctype != AUDIO_CTYPE_WMA_MP3)
        return nullptr;
    std::lock_guard lock(m_analyzerMutex);
    if (!m_wma)
        m_wma = std::make_unique<CWmaObject>(m_format.bitRate);
    return m_wma.get();
}
