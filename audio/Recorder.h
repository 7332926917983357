#pragma once

#include "audio/LameEncoder.h"

#include <QString>
#include <cstdint>
#include <vector>

// Writes what a player plays into a file, in one of two ways chosen per stream:
// - raw: MP3 and AAC streams are written byte for byte as they arrive (PutRaw, from the download feed);
// - encoded: every other stream arrives decoded as 16-bit PCM (PutPcm, from the recording DSP) and is
//   encoded to MP3.
// Both feeds always run; the raw flag decides which one writes. While idle the recorder can keep in
// memory what it would have written (the pre-record buffer), so that a recording started in the
// middle of a song begins with that song. MP3 recordings get an ID3v1 tag when they stop.
//
// No lock of its own: every call comes from the owning player with that player's channel lock held,
// so all members are guarded by it.
//
// File errors while recording (disk full, ...) leave PutRaw and PutPcm as CFileException; the feeding
// callback logs them and stops the recording.
class CRecorder
{
public:
    CRecorder();
    ~CRecorder();

    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // The decoded stream's format; raw is set for streams recorded as received (MP3, AAC).
    void SetFormat(int sampleRate, int channels, bool raw);
    // The player's options: bitrate in kbit/s (0 = the stream's own) and whether to pre-record.
    void SetStreamInfo(int bitrateSetting, bool preBuffer);
    // The stream's bitrate in kbit/s as the player learns it, 0 while unknown.
    void SetBitrate(int kbps);
    // Forgets what was pre-recorded (called at every new song). Always true.
    bool ClearPreBuffer();
    bool IsRecording() const { return m_recording; }
    // Whether this recording goes to the null device because its file existed and must not be overwritten.
    bool IsDiscarded() const { return m_discarded; }
    // The tag values for the next recording: the station's announced name, the song's title, artist and album.
    void SetTags(const QString& streamName, const QString& title, const QString& artist, const QString& album);

    // Opens basePath + "." + extension (or a numbered variant, see MakeUniqueFileName), copies the
    // pre-record buffer into it and starts recording. The bitrate setting replaces the player's option.
    // False when the file cannot be opened or the pre-recorded data cannot be written.
    bool Start(const QString& basePath, const QString& extension, int bitrateSetting, bool dontOverwrite);
    // Feeds; false only after a processor fault or a failed encoding step (the caller then stops).
    bool PutRaw(const void* data, uint32_t byteCount);
    bool PutPcm(const void* data, uint32_t byteCount);
    // Flushes the encoder, closes the file and tags an MP3 recording. Nothing when not recording.
    void Stop();

    // One component of a recording path made safe as a file name: the characters < > : " / \ | ? *
    // become hyphens, runs of hyphens shrink, and white space is trimmed at both ends.
    static QString MakeSafeFileName(const QString& text);
    // The longest start of name, cut between characters, whose UTF-8 form has at most maxBytes bytes;
    // white space left at the end of a cut name goes too.
    static QString FitToBytes(const QString& name, int maxBytes);

    // The longest file name the file systems recordings go to accept, in bytes.
    static constexpr int kMaxFileNameBytes = 255;

    static constexpr size_t kPreBufferLimit = 10'000'000;
    static constexpr size_t kPreBufferStep = 1'048'576;
    static constexpr size_t kCopyBlockSize = 32000;

private:
    enum class Target { OutputFile, PreBuffer };

    QString MakeUniqueFileName(const QString& basePath, const QString& extension, bool dontOverwrite);
    bool InitEncoder();
    bool WriteRaw(Target target, const void* data, uint32_t byteCount);
    bool WritePcm(Target target, const void* data, uint32_t byteCount);
    void WriteTags(const QString& path);
    // Where a feed writes, or false when it drops its data.
    bool ChooseTarget(Target& target);
    void WriteTo(Target target, const void* data, size_t byteCount);
    void AppendToPreBuffer(const void* data, size_t byteCount);

    bool OpenOutput(const QString& path);
    void WriteOutput(const void* data, size_t byteCount);
    void CloseOutput();
    void CloseOutputQuietly();
    // Removes the closed output file when nothing was written to it; true when it did.
    bool RemoveOutputIfEmpty();

    CLameEncoder m_encoder;
    int m_output = -1; // file descriptor, open only while recording
    QString m_outputPath; // absolute path of the open output file
    uint64_t m_outputBytes = 0; // written to the output file since it was opened
    std::vector<uint8_t> m_preBuffer; // grows in steps of kPreBufferStep
    bool m_recording = false;
    bool m_raw = true;
    bool m_discarded = false;
    bool m_preBufferEnabled = false;
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_bitrateSetting = 0; // kbit/s, 0 = the stream's own
    int m_streamBitrate = 0; // kbit/s, 0 = not known
    QString m_extension;
    QString m_basePath;
    QString m_streamName;
    QString m_title;
    QString m_artist;
    QString m_album;
};
