#pragma once

#include "audio/Recorder.h"
#include "audio/library/AudioLibrary.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

// What a player tells the main window, as wParam of WM_KAVRILUNE_UPDATE_STATUS_ (lParam: the player,
// or 0 for the manager's watchdog).
enum PlayerStatusCode : int {
    PlayerStatusInitializing = 1,
    PlayerStatusInitFailed = 2,
    PlayerStatusInitDone = 3,
    PlayerStatusStopping = 4,
    PlayerStatusStopped = 5,
    PlayerStatusConnecting = 6,
    PlayerStatusCannotConnect = 7,
    PlayerStatusBuffering = 8,
    PlayerStatusConnectionError = 9, // never posted; the display keeps a text for it
    PlayerStatusPlaying = 10,
    PlayerStatusTagsRead = 11,
    PlayerStatusFinished = 12,
    PlayerStatusStoppedByItself = 13,
    PlayerStatusNewStreamTitle = 14,
    PlayerStatusRecordingError = 15,
    PlayerStatusBitrateChanged = 16,
};

// Plays one stream (a station's URL or a local file) on a thread of its own. The manager creates one
// per play request and deletes it when it reports PlayerStatusFinished; during a crossfade two are
// alive, the new one fading the old one's channel out. A player never calls the manager: everything it
// has to say is posted to the notify object.
//
// Threads: the main window's thread calls the public operations; the player's own thread runs the
// connect and stop sequences; the library's threads run the download callback, the syncs and the DSPs.
// Recorder, syncs, DSPs and tags are touched only under the library's lock of this player's channel.
class RadioPlayer
{
public:
    RadioPlayer(const QString& name, const QString& source, AudioStream previousChannel, int device, int volume,
        bool crossfade, QObject* notifyWindow, int netBufferMs, int recorderBitrate, bool recorderPreBuffer);
    virtual ~RadioPlayer();

    RadioPlayer(const RadioPlayer&) = delete;
    RadioPlayer& operator=(const RadioPlayer&) = delete;

    bool StartThread();
    // Waits at most ms for the player's thread to end; true once it has (or never started).
    bool WaitForThread(int ms);
    // From now on nothing is posted to the notify window; a post under way finishes first.
    void DetachNotifyWindow();

    // Stop operations: each sets the stopping flag, the timings and the status posted at the end, aborts
    // a stream creation still under way, stops the recorder and wakes the player's thread, which then
    // fades out and ends with PlayerStatusFinished. The first stop decides; later ones on a stopping
    // player do nothing.
    void Stop(bool crossfade); // replaced by a new station; posts nothing of its own
    void StopNow(bool fade); // user stop: 4 now, 5 when the channel is stopped
    void StopWithStatus(int code); // failed open: code when the channel is stopped
    // At shutdown: ends any stop (or stream creation) under way at once, without a fade, a delay or a
    // status of its own.
    void Abort();

    void SetCrossfade(bool crossfade);
    void SetVolumeZero();
    void SetVolume(int volume);
    void SetMute(bool mute);
    void SlideVolume(int volume, int ms);
    void SetNormalize(bool normalize) { m_normalize = normalize; }
    // Before the thread starts: a player that is to bring a station's sound back ends before it
    // connects when no sound device can be opened, instead of playing to no one.
    void SetOutputRequired(bool required) { m_outputRequired = required; }
    void SetEqualizerPreset(int preset);
    int GetEqualizerPreset() const;

    AudioStream GetHandle() const { return m_channel.load(); }
    bool IsPlaying() const;
    uint32_t GetChannelType() const;
    bool IsStopping() const { return m_stopping.load(); }
    // No sound device could be opened for this player: it plays to no one (a recording still works).
    bool PlaysWithoutSound() const { return m_withoutSound.load(); }
    // The player ended because its output went away with its sound server or device, or because no
    // output could be opened while one was required.
    bool LostOutput() const { return m_outputLost.load(); }

    void PostStatus(int code);
    void PostFinished() { PostStatus(PlayerStatusFinished); }

    // --- stream metadata ---
    QString GetStreamName() const; // the current song title
    QString GetNextTitle(); // the next entry of the title history, in turn
    QString GetInfoText() const; // the codec name
    int GetBitrate() const; // kbit/s, 0 when not known
    QString GetStationName() const;
    QString GetOwnStreamName() const; // the station's own name from its headers
    QString GetArtist() const;
    QString GetSongTitle() const;
    QString GetAlbum() const;
    QStringList GetTitleHistory() const;

    // The history feeds a rotating line: a few dozen texts are plenty, and a station sending thousands
    // of header lines cannot make it grow further.
    static constexpr int kMaxHistoryEntries = 32;
    // Items read from one tag in one pass; the rest of a longer tag is ignored.
    static constexpr int kMaxTagItemsPerPass = 100;
    // Tag passes come with every metadata block; "tags read" goes out at most once in this time.
    static constexpr int kTagsReadStatusIntervalMs = 250;

    // Readers of one kind of tag, given the raw tag bytes the library hands out (null: nothing).
    // They run under the channel lock; tests call them directly.
    void ReadMetaTag(const char* tag);
    void ReadOggTags(const char* tag);
    void ReadIcyHeaders(const char* tag);
    void ReadWmaTags(const char* tag);
    void ReadLocalFileTag(const QString& path);
    void SetTitle(const QString& title, const QString& artist);
    void SetStreamName(const QString& name);
    void SetBitrate(int kbps);
    void ParseMp3Bitrate(const void* block, int length);
    void ParseVorbisBitrate(const void* block, int length);

    // --- sound processing and meters ---
    bool GetSpectrum(float* values, int count);
    int GetBufferPercent();
    int64_t GetElapsed() const;
    void NormalizeBlock(void* buffer, uint32_t length);
    // The normaliser's present gain; any thread.
    float GetGain() const { return m_gain.load(std::memory_order_relaxed); }

    bool StartRecording(const QString& path, int bitrateSetting, bool dontOverwrite);
    void StopRecording();
    void StopRecordingOnError();
    bool IsRecording();
    bool IsRecordingDiscarded();
    // Whether the last recording started on this player stopped on a file error.
    bool HasRecordingFailed() const { return m_recordingFailed.load(); }

    // --- pure helpers ---
    // One tag item: the bytes up to the next null, decoded, with every run of control characters
    // turned into one blank. Returns the start of the next item, or null when reading stops here (null
    // tag, empty item, item of 256 bytes or more); item is then untouched.
    static const char* ReadTagItem(const char* position, QString& item);
    // Bytes as strict UTF-8, else as the 8-bit code page (Windows-1252).
    static QString DecodeTagText(const char* bytes, int length);
    // Percent escapes decoded.
    static QString UrlDecodeTagText(const QString& text);
    // Key: first token delimited by any of "=,:; ", upper-cased; value: the rest after that delimiter,
    // trimmed. False when the value is empty.
    static bool SplitKeyValue(const QString& item, QString& key, QString& value);
    static bool TitlesEqual(const QString& a, const QString& b);
    // The text announced for a title and an artist; artist and title receive its two parts.
    static QString ComposeTitle(QString& title, QString& artist);
    // Kbit/s from the first frame-sync word of a raw MP3 block; -1 when it gives nothing.
    static int Mp3BitrateOf(const uint8_t* block, int length);
    // Kbit/s from a Vorbis identification header at the start of an Ogg page; -1 when there is none.
    static int VorbisBitrateOf(const uint8_t* block, int length);
    static QString CodecName(uint32_t streamType);
    // The normaliser on n interleaved 16-bit samples, with its state.
    static void NormalizeSamples(int16_t* samples, size_t count, float& gain, float& levelSum, int& levelCount);
    // count bands in 0..1 from the 1024 magnitudes of a 2048-point FFT.
    static void SpectrumBands(const float* magnitudes, float* values, int count);

    // Five peaking bands per preset: the five Q values, the five centres (Hz), the five gains (dB).
    static const float kEqualizerPresets[4][15];

    // Every installed player callback, by the library's signatures.
    static void DownloadProc(const void* buffer, uint32_t length, void* user);
    static void StallSyncProc(AudioSync handle, uint32_t channel, uint32_t data, void* user);
    static void MetaSyncProc(AudioSync handle, uint32_t channel, uint32_t data, void* user);
    static void WmaMetaSyncProc(AudioSync handle, uint32_t channel, uint32_t data, void* user);
    static void RecordDspProc(AudioDsp handle, uint32_t channel, void* buffer, uint32_t length, void* user);
    static void NormalizeDspProc(AudioDsp handle, uint32_t channel, void* buffer, uint32_t length, void* user);

private:
    // Holds the library's lock of a channel for its scope; Locked() is false when it could not be had
    // (no channel, or the channel is gone).
    class ChannelLock
    {
    public:
        explicit ChannelLock(uint32_t channel)
            : m_channel(channel)
            , m_locked(channel && BASS_ChannelLock(channel, true))
        {
        }
        ~ChannelLock()
        {
            if (m_locked)
                BASS_ChannelLock(m_channel, false);
        }
        ChannelLock(const ChannelLock&) = delete;
        ChannelLock& operator=(const ChannelLock&) = delete;
        bool Locked() const { return m_locked; }

    private:
        uint32_t m_channel;
        bool m_locked;
    };

    static void ThreadProc(RadioPlayer* player);
    void Run();
    static bool LibraryPlaysToNoOne();
    void InitAudio();
    void OpenAndPlay();
    void WaitForStopEvent();
    void AbortStreamCreation();
    void SignalStopEvent();
    // Sleeps ms unless the player is aborted meanwhile.
    void PauseUnlessAborted(int ms);
    void StopSequence(int fadeOutMs, int stopDelayMs, int statusOnStop);
    void RemoveSyncsAndDsps();
    void StopChannel();
    void OnStall(uint32_t data);
    void CheckActiveState();
    void UpdateRecorderFormat();
    void ReadTagsAndNotify();
    void ReadWmaTagsAndNotify();
    void UpdateCurrentBitrate();
    void OnMetaStreamTitle(const QString& key, const QString& value);
    void OnNewStream();
    void AddTitleToHistory(const QString& text);
    bool HistoryContains(const QString& text) const;
    void PostTagsRead();
    void ApplyEqualizer(int preset);

    static void LoadAudioPlugins();

    // Set in the constructor, before the thread starts.
    const int m_device;
    QString m_source;
    const AudioStream m_previousChannel;
    // Cleared by DetachNotifyWindow before the window goes; m_notifyMutex guards it and each post.
    std::mutex m_notifyMutex;
    QObject* m_notifyWindow;
    // Whether the thread has ended; shared with the thread, which may outlive a deleted player's last
    // message by a few instructions.
    struct ThreadState {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = true; // guarded by mutex
    };
    std::shared_ptr<ThreadState> m_threadState = std::make_shared<ThreadState>();
    int m_netBuffer; // player thread only after the start
    bool m_normalize = false; // set before the thread starts
    bool m_outputRequired = false; // set before the thread starts

    std::atomic<int> m_volume;
    std::atomic<bool> m_muted { false };
    std::atomic<int> m_fadeOut { 100 };
    std::atomic<int> m_stopDelay { 0 };
    std::atomic<int> m_statusOnStop { PlayerStatusStoppedByItself };
    std::atomic<bool> m_stopping { false };
    std::atomic<AudioStream> m_channel { 0 };
    std::atomic<int64_t> m_startTime { 0 };
    std::atomic<int> m_bitrate { 0 };
    std::atomic<bool> m_bitrateKnown { false };
    std::atomic<bool> m_recordingFailed { false };
    std::atomic<bool> m_withoutSound { false };
    std::atomic<bool> m_outputLost { false };

    // The stop event: auto-reset, not signalled at first.
    std::mutex m_eventMutex;
    std::condition_variable m_eventCondition;
    bool m_eventSignalled = false; // guarded by m_eventMutex
    bool m_aborted = false; // guarded by m_eventMutex

    // Texts written under the channel lock (or before the channel exists) and read by the main
    // window's thread: guarded by m_textLock as well, the innermost lock.
    mutable std::recursive_mutex m_textLock;
    QString m_stationName;
    QString m_streamName;
    QStringList m_titleHistory; // at most kMaxHistoryEntries
    QSet<QString> m_historyKeys; // the comparison key of every history entry
    QString m_currentTitle;
    QString m_artist;
    QString m_songTitle;
    QString m_album;
    int m_historyCursor = 0; // main window's thread only

    // Channel lock (download callback, DSPs, syncs, and the player thread while it sets them up).
    int m_downloadedBytes = 0;
    int64_t m_tagsReadPostedMs = 0; // steady clock, 0 = never
    bool m_rawRecordable = true;
    AudioDsp m_recordDsp = 0;
    AudioDsp m_normalizeDsp = 0;
    AudioSync m_stallSync = 0;
    AudioSync m_metaSync = 0;
    AudioSync m_wmaMetaSync = 0;
    AudioSync m_wmaChangeSync = 0;
    AudioSync m_oggChangeSync = 0;

    // Normaliser state: its DSP only, but for the gain, which others may read.
    std::atomic<float> m_gain { 1.0f };
    float m_levelSum = 0.0f;
    int m_levelCount = 0;

    // Equaliser: set from the main window's thread and from the player's open sequence.
    mutable std::mutex m_equalizerMutex;
    int m_equalizerPreset = -1; // guarded by m_equalizerMutex
    AudioFx m_equalizerEffect = 0; // guarded by m_equalizerMutex

    CRecorder m_recorder; // channel lock
};

// Names of the output devices 1 to 19 that the library knows, in device order.
void EnumerateAudioDevices(QStringList& list);
// Releases the audio device and every stream; once, at exit.
void ShutdownAudio();
// The audio library's version number: one byte per part, major first.
uint32_t AudioLibraryVersion();
// The message that carries player status codes.
int PlayerStatusMessage();
