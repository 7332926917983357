#pragma once

#include "audio/library/AudioEngine.h"
#include "audio/library/AudioLibrary.h"
#include "audio/library/ChannelLock.h"
#include "audio/library/ChannelTags.h"
#include "audio/library/Decoder.h"
#include "audio/library/DspChain.h"
#include "audio/library/NetSource.h"
#include "audio/library/PcmRing.h"
#include "audio/library/PeakEqualizer.h"
#include "audio/library/SampleConverter.h"
#include "audio/library/SyncList.h"
#include "audio/library/VolumeSlide.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFileSource;
class CFftAnalyzer;
class CStreamBuffer;
class CWmaObject;

// One stream: its source (download or file), its decoding thread, DSPs and effects, syncs, tags,
// volume, and the samples on their way to the output with the history for the FFT.
//
// The DSPs run as the stream is decoded. The effects (equaliser bands) are applied where the output
// takes the samples, so that a change is heard as soon as the output's own queue allows, not after the
// playback buffer too; the DSPs after them in the chain get their result at decoding time, on a copy.
//
// Threads: API callers; the download thread (URL streams: download callback, metadata, META syncs);
// the decoding thread (decoding, DSPs and effects, stall/end/Ogg syncs, other syncs); the output
// (Render only: never blocks, never calls back). Every callback runs with the channel lock held.
class CChannel : public std::enable_shared_from_this<CChannel>, public INetSourceListener
{
public:
    CChannel(uint32_t handle, uint32_t flags, const AudioConfig& config, int outputRate, int latencyFrames,
        std::string name);
    ~CChannel() override;
    CChannel(const CChannel&) = delete;
    CChannel& operator=(const CChannel&) = delete;

    // Creation, on the creating thread: start the threads and wait until the stream can play or
    // failed. Return AUDIO_OK or an error code.
    int OpenUrl(AudioDownloadProc proc, void* user);
    int OpenFile(const std::string& localPath);
    // From another thread: a creation still under way ends promptly and fails; an opened stream is not
    // touched.
    void AbortOpen();

    uint32_t Handle() const { return m_handle; }
    bool Play(int& error);
    // Stops playing; an auto-free stream is freed.
    void Stop();
    uint32_t State() const { return m_state.load(); }
    void GetInfo(AudioChannelInfo& info) const;
    const char* Tags(uint32_t kind) const;
    uint64_t FilePosition(uint32_t mode, int& error) const;

    void SetVolume(float value);
    void SlideVolume(float value, uint32_t ms);
    // The volume now, a slide included.
    float CurrentVolume() const;

    AudioSync SetSync(AudioSync handle, uint32_t type, AudioSyncProc proc, void* user);
    bool RemoveSync(AudioSync sync);
    void SetDsp(AudioDsp handle, AudioDspProc proc, void* user, int priority);
    void SetEffect(AudioFx handle, int priority);
    bool RemoveDsp(uint32_t handle);
    bool SetEffectParameters(AudioFx effect, const AudioPeakEqParams& params);

    bool GetFft(float* magnitudes);
    bool Lock() { return m_lock.Lock(); }
    bool Unlock() { return m_lock.Unlock(); }
    CWmaMediaObject* WmaObject();

    // Ends the stream: closes its lock, waits for the callbacks running on other threads and for the
    // stream's threads to end. Once this returns no callback runs any more (but one the calling thread
    // is in). A second caller waits for the first to finish, unless it holds the lock or is one of the
    // stream's threads (the first caller waits for those).
    void Free();
    bool IsFreed() const { return m_freed.load(); }

    // The mixer, on the output's thread or with the output held: hands over up to frames of its sound
    // as stereo frames, before its volume; fewer when it runs dry (then it stalls, or ends once
    // decoding has ended). Never blocks, never calls back.
    size_t Take(int16_t* stereo, size_t frames, bool starve);
    // The frames it can hand over now without running dry.
    size_t Available() const;
    // The volume as its callers set it, with the version of that change: without waiting (false while
    // a caller is changing it), or waiting for the caller.
    bool TryVolume(CVolumeSlide::State& state, uint32_t& version) const { return m_volume.TryGet(state, version); }
    CVolumeSlide::State Volume(uint32_t& version) const { return m_volume.Get(version); }
    // For an output without a clock: whether the channel can give frames now; if not, its decoding
    // thread is woken to refill.
    bool CanRender(int frames);
    // The output is gone: a playing channel stops, and its stall syncs tell its owner.
    void OutputLost();

private:
    void OnResponseHeaders(const std::vector<std::string>& lines, bool icy, bool first) override;
    void OnStreamBytes(const uint8_t* data, size_t size) override;
    void OnMetadata(const std::string& text) override;

    bool StartThread(std::function<void()> work);
    void ThreadBegins();
    void ThreadEnds();
    bool IsOwnThread() const;
    void JoinThreads();
    void WaitUntilFreed();
    bool BeginOpening();
    int StartDecoding(const std::string& fileName);
    int WaitOpened();
    void SignalOpened(int result);
    void DecodeThread(const std::string& fileName);
    void SetUpAfterOpen();
    bool DecodeBlock();
    bool WriteToRing(const int16_t* samples, size_t frames);
    void RunDsp(int16_t* samples, size_t frames, int sampleRate);
    void PublishEffects();
    void SetByteRate(int64_t byteRate);
    void MeasureByteRate(int frames, int sampleRate);
    int64_t BufferedMs() const;
    bool PrebufferDone(std::chrono::steady_clock::time_point openedAt) const;
    bool ResumeReady() const;
    bool BufferFilled() const;
    void PollEvents();
    void AllowNetRests(bool allow);
    void FireSync(uint32_t type, uint32_t data); // caller holds the channel lock
    void DeliverQueuedSyncs();
    void SleepFor(int ms);

    const uint32_t m_handle;
    const uint32_t m_flags;
    const AudioConfig m_config;
    const int m_outputRate;
    const int m_latencyFrames;
    const std::string m_name;

    CChannelLock m_lock;
    std::atomic<bool> m_cancel { false };
    std::atomic<bool> m_freed { false };
    std::atomic<uint32_t> m_state { AUDIO_ACTIVE_STOPPED };
    std::atomic<bool> m_stallPending { false }; // set by the output, handled by the decoding thread
    std::atomic<bool> m_endPending { false }; // set by the output, handled by the decoding thread
    std::atomic<bool> m_decodeEnded { false };
    std::atomic<bool> m_ended { false }; // played to the end
    std::atomic<bool> m_outputStarved { false }; // the output simulates an underrun

    // Set before the threads start.
    AudioDownloadProc m_downloadProc = nullptr;
    void* m_downloadUser = nullptr;
    std::unique_ptr<CStreamBuffer> m_buffer;
    std::unique_ptr<CNetSource> m_net;
    std::unique_ptr<CFileSource> m_file;
    IByteSource* m_source = nullptr;
    std::unique_ptr<CDecoder> m_decoder; // decoding thread only, once started
    std::atomic<std::thread::id> m_decodeThreadId {}; // set by the decoding thread when it starts

    // Set by the decoding thread before it signals that the stream opened; read-only afterwards.
    DecodedFormat m_format;
    size_t m_playFrames = 0;
    // The stream's own rate now: a reconnection may bring another. Written by the decoding thread.
    std::atomic<int> m_sourceRate { 0 };
    std::atomic<int64_t> m_byteRate { 16000 }; // bytes per second of audio; written by the decoding thread
    std::atomic<size_t> m_netBufferBytes { 0 }; // the network buffer in bytes; written by the decoding thread
    double m_decodedSeconds = 0; // decoding thread only: audio decoded since the first block
    bool m_measuring = false; // decoding thread only
    uint64_t m_measureBaseBytes = 0; // decoding thread only: packet bytes up to the first block
    std::atomic<uint64_t> m_decoderHeld { 0 }; // bytes the demuxer read ahead; written by the decoding thread

    CPcmRing m_ring;
    CSampleConverter m_resampler; // decoding thread only
    std::vector<int16_t> m_block; // decoding thread only
    std::vector<int16_t> m_resampled; // decoding thread only
    std::vector<CDspChain::Entry> m_dspSnapshot; // decoding thread only

    CChannelTags m_tags;
    CSyncList m_syncs;
    CDspChain m_dsp;
    CVolumeSlide m_volume;

    std::mutex m_effectMutex; // hands the effects' bands to both equalisers in the order they changed
    std::atomic<int> m_effectPriority { 0 }; // of the last effect set: where the chain's equaliser runs
    CPeakEqualizer m_heardEqualizer; // the output's (Take)
    CPeakEqualizer m_chainEqualizer; // the decoding thread's, for the DSPs after the effects
    std::vector<int16_t> m_effectCopy; // decoding thread only

    mutable std::mutex m_threadMutex;
    std::condition_variable m_threadsChanged;
    int m_threadCount = 0; // guarded by m_threadMutex: threads started and not yet ended
    std::vector<std::thread::id> m_threadIds; // guarded by m_threadMutex: those already running
    bool m_freeDone = false; // guarded by m_threadMutex

    std::mutex m_openMutex;
    std::condition_variable m_openChanged;
    bool m_openSignalled = false; // guarded by m_openMutex
    int m_openResult = AUDIO_OK; // guarded by m_openMutex
    bool m_opening = false; // guarded by m_openMutex: the sources are set up, threads may run
    bool m_openAborted = false; // guarded by m_openMutex

    std::mutex m_wakeMutex;
    std::condition_variable m_wake; // wakes the decoding thread

    struct QueuedSync {
        AudioSync handle;
        uint32_t type;
        uint32_t data;
    };
    std::mutex m_queueMutex;
    std::vector<QueuedSync> m_queuedSyncs; // guarded by m_queueMutex

    std::mutex m_analyzerMutex;
    std::unique_ptr<CFftAnalyzer> m_analyzer; // guarded by m_analyzerMutex
    std::unique_ptr<CWmaObject> m_wma; // guarded by m_analyzerMutex
};
