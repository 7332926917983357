// What the player does to and with the sound: normaliser, equaliser, spectrum, buffer fill, elapsed
// time, and the two feeds of its recorder.

#include "audio/RadioPlayer.h"

#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "core/StdioFileUTF8.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace
{

constexpr float kNormalizeThreshold = 1638.35f; // 5% of full scale
constexpr float kNormalizeTarget = 7500.0f;
constexpr float kMinGain = 0.4f;
constexpr float kMaxGain = 5.0f;
constexpr float kStepFactor = 0.001f * 0.01f;
constexpr float kMaxStep = 0.02f;

constexpr int kFftBins = 1024;
constexpr int kEqualizerBands = 5;
constexpr uint32_t kEqualizerAddOnVersion = 0x0204;

} // namespace

const float RadioPlayer::kEqualizerPresets[4][15] = {
    // Jazz
    { 0.7f, 0.3f, 0.3f, 0.5f, 0.7f, 50, 125, 900, 3200, 6300, -6, 2, 4, -4, -6 },
    // Pop
    { 0.7f, 2.0f, 0.7f, 2.0f, 0.7f, 125, 315, 1000, 2000, 5000, 4, -4, 3, -4, 5 },
    // Rock
    { 0.7f, 0.7f, 0.5f, 1.0f, 0.7f, 125, 200, 1200, 2200, 6300, 5, 2, -4, 4, 2 },
    // Classic
    { 0.7f, 0.7f, 0.5f, 0.7f, 0.7f, 80, 315, 1000, 2600, 6300, 3, 4, 0, 2, -3 },
};

// --- normaliser ---

void RadioPlayer::NormalizeSamples(int16_t* samples, size_t count, float& gain, float& levelSum, int& levelCount)
{
    // Measure the block as it will sound with the gain it starts with.
    const float startGain = gain;
    double sum = 0.0;
    int measured = 1;
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
        const int x = samples[i];
        const int magnitude = x < 0 ? -x : x;
        if (float(magnitude) > kNormalizeThreshold) {
            sum += double(x) * double(x);
            ++measured;
            peak = std::max(peak, magnitude);
        }
    }
    const float level = float(std::sqrt(sum * double(startGain) * double(startGain) / measured));

    if (float(peak) > kNormalizeThreshold) {
        ++levelCount;
        levelSum += level;
    }
    const bool haveAverage = levelCount > 0;
    const float average = haveAverage ? levelSum / float(levelCount) : 0.0f;
    if (levelCount > 2) {
        // From now on each block weighs one third.
        levelSum = 2.0f * average;
        levelCount = 2;
    }

    gain = std::clamp(gain, kMinGain, kMaxGain);
    if (peak > 0 && 32767.0f / float(peak) < gain)
        gain = 32767.0f / float(peak);

    const float g = gain;
    for (size_t i = 0; i < count; ++i) {
        const float scaled = float(samples[i]) * g;
        int value = samples[i] > 0 ? int(scaled + 0.5f) : int(scaled - 0.5f);
        value = std::clamp(value, -32768, 32767);
        samples[i] = int16_t(value);
    }

    if (haveAverage) {
        const float step = std::min(std::fabs(average - kNormalizeTarget) * kStepFactor, kMaxStep);
        if (average < kNormalizeTarget)
            gain += step;
        else if (average > kNormalizeTarget)
            gain -= step;
    }
}

void RadioPlayer::NormalizeBlock(void* buffer, uint32_t length)
{
    if (!m_normalize)
        return;
    float gain = m_gain.load(std::memory_order_relaxed);
    NormalizeSamples(static_cast<int16_t*>(buffer), length / 2, gain, m_levelSum, m_levelCount);
    m_gain.store(gain, std::memory_order_relaxed);
}

void RadioPlayer::NormalizeDspProc(AudioDsp, uint32_t channel, void* buffer, uint32_t length, void* user)
{
    InstallSeTranslator();
    ChannelLock lock(channel);
    if (!lock.Locked())
        return;
    try {
        auto* player = static_cast<RadioPlayer*>(user);
        if (buffer && player)
            player->NormalizeBlock(buffer, length);
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

// --- equaliser ---

void RadioPlayer::SetEqualizerPreset(int preset)
{
    std::lock_guard lock(m_equalizerMutex);
    m_equalizerPreset = preset;
    ApplyEqualizer(preset);
}

int RadioPlayer::GetEqualizerPreset() const
{
    std::lock_guard lock(m_equalizerMutex);
    return m_equalizerPreset;
}

void RadioPlayer::ApplyEqualizer(int preset)
{
    const AudioStream channel = m_channel.load();
    if (m_equalizerEffect) {
        BASS_ChannelRemoveFX(channel, m_equalizerEffect);
        m_equalizerEffect = 0;
    }
    if (preset < 0 || preset > 3 || (BASS_FX_GetVersion() >> 16) != kEqualizerAddOnVersion)
        return;
    m_equalizerEffect = BASS_ChannelSetFX(channel, AUDIO_FX_PEAK_EQ, 2);
    if (!m_equalizerEffect)
        return;
    const float* table = kEqualizerPresets[preset];
    for (int band = 0; band < kEqualizerBands; ++band) {
        AudioPeakEqParams parameters {};
        parameters.band = band;
        parameters.bandwidth = 0.0f; // so that Q applies
        parameters.q = table[band];
        parameters.center = table[kEqualizerBands + band];
        parameters.gain = table[2 * kEqualizerBands + band];
        parameters.channel = -1; // all channels
        BASS_FXSetParameters(m_equalizerEffect, &parameters);
    }
}

// --- spectrum ---

void RadioPlayer::SpectrumBands(const float* magnitudes, float* values, int count)
{
    int start = 0;
    for (int i = 0; i < count; ++i) {
        const double exponent = count > 1 ? double(i) * 10.0 / double(count - 1) : 0.0;
        int end = int(std::pow(2.0, exponent));
        end = std::min(end, kFftBins - 1);
        if (end <= start)
            end = start + 1;
        // Very many bands push the ends past the last bin: those bands stay empty.
        float sum = 0.0f;
        for (int bin = start + 1; bin <= std::min(end, kFftBins - 1); ++bin)
            sum += magnitudes[bin];
        const float value = float(std::sqrt(sum / std::log10(double(end - start + 10)))) - 0.02f;
        values[i] = std::clamp(value, 0.0f, 1.0f);
        start = end;
    }
}

bool RadioPlayer::GetSpectrum(float* values, int count)
{
    float magnitudes[kFftBins];
    const AudioStream channel = m_channel.load();
    {
        ChannelLock lock(channel);
        if (!lock.Locked())
            return false;
        if (BASS_ChannelGetData(channel, magnitudes, AUDIO_DATA_FFT2048) == uint32_t(-1))
            return false;
    }
    if (values && count > 0)
        SpectrumBands(magnitudes, values, count);
    return true;
}

// --- meters ---

int RadioPlayer::GetBufferPercent()
{
    const AudioStream channel = m_channel.load();
    if (!channel)
        return 0;
    const uint32_t type = GetChannelType();
    if (type == AUDIO_CTYPE_MP3)
        m_bitrateKnown = false; // the next downloaded block measures the bitrate again

    constexpr uint64_t kError = uint64_t(-1);
    int64_t percent = 0;
    if (type == AUDIO_CTYPE_WMA) {
        const uint64_t fill = BASS_StreamGetFilePosition(channel, AUDIO_FILEPOS_WMA_BUFFER);
        percent = fill == kError ? 0 : int64_t(fill);
    } else {
        const uint64_t current = BASS_StreamGetFilePosition(channel, AUDIO_FILEPOS_CURRENT);
        const uint64_t downloaded = BASS_StreamGetFilePosition(channel, AUDIO_FILEPOS_DOWNLOAD);
        const uint64_t end = BASS_StreamGetFilePosition(channel, AUDIO_FILEPOS_END);
        if (current != kError && downloaded != kError && end != kError && end != 0)
            percent = (int64_t(downloaded) - int64_t(current)) * 100 / int64_t(end);
    }
    return int(std::clamp<int64_t>(percent, 0, 100));
}

int64_t RadioPlayer::GetElapsed() const
{
    return int64_t(std::time(nullptr)) - m_startTime.load();
}

// --- recorder feeds ---

void RadioPlayer::RecordDspProc(AudioDsp, uint32_t channel, void* buffer, uint32_t length, void* user)
{
    InstallSeTranslator();
    ChannelLock lock(channel);
    if (!lock.Locked())
        return;
    auto* player = static_cast<RadioPlayer*>(user);
    try {
        if (player && buffer) {
            if (!player->m_recorder.PutPcm(buffer, length)) {
                WriteErrorLog("RadioPlayer", __LINE__, QStringLiteral("Error in recording buffer with encoding."));
                player->StopRecordingOnError();
            }
        }
    } catch (const CFileException&) {
        WriteErrorLog("RadioPlayer", __LINE__, QStringLiteral("CFileException in LAME recording."));
        player->StopRecordingOnError();
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

void RadioPlayer::DownloadProc(const void* buffer, uint32_t length, void* user)
{
    InstallSeTranslator();
    auto* player = static_cast<RadioPlayer*>(user);
    if (!player)
        return;
    ChannelLock lock(player->m_channel.load());
    if (!lock.Locked())
        return;
    try {
        if (!buffer || length == 0)
            return; // a status text of the connection
        if (!player->m_bitrateKnown.load()) {
            if (player->GetChannelType() == AUDIO_CTYPE_MP3)
                player->ParseMp3Bitrate(buffer, int(length));
            else
                player->ParseVorbisBitrate(buffer, int(length));
        }
        player->m_downloadedBytes += int(length);
        if (!player->m_recorder.PutRaw(buffer, length)) {
            WriteErrorLog("RadioPlayer", __LINE__, QStringLiteral("Error in recording buffer without encoding."));
            player->StopRecordingOnError();
        }
    } catch (const CFileException&) {
        // A full or failing disk: the recording stops here, as the encoded feed's does, rather than
        // failing again with every block.
        WriteErrorLog("RadioPlayer", __LINE__, QStringLiteral("CFileException in MP3 recording."));
        player->StopRecordingOnError();
    } catch (CSeException* e) {
        e->Log("RadioPlayer", __LINE__);
        e->Delete();
    }
}

// --- recording ---

bool RadioPlayer::StartRecording(const QString& path, int bitrateSetting, bool dontOverwrite)
{
    const AudioStream channel = m_channel.load();
    ChannelLock lock(channel);
    {
        std::lock_guard texts(m_textLock);
        m_recorder.SetTags(m_streamName, m_songTitle, m_artist, m_album);
    }
    if (lock.Locked()) {
        const QString extension = GetChannelType() == AUDIO_CTYPE_AAC ? QStringLiteral("aac") : QStringLiteral("mp3");
        m_recordingFailed = false;
        m_recorder.Start(path, extension, bitrateSetting, dontOverwrite);
    }
    return m_recorder.IsRecording();
}

void RadioPlayer::StopRecording()
{
    ChannelLock lock(m_channel.load());
    if (lock.Locked())
        m_recorder.Stop();
}

void RadioPlayer::StopRecordingOnError()
{
    ChannelLock lock(m_channel.load());
    if (!m_recorder.IsRecording())
        return;
    if (lock.Locked())
        m_recorder.Stop();
    m_recordingFailed = true;
    PostStatus(PlayerStatusRecordingError);
}

bool RadioPlayer::IsRecording()
{
    ChannelLock lock(m_channel.load());
    return m_recorder.IsRecording();
}

bool RadioPlayer::IsRecordingDiscarded()
{
    ChannelLock lock(m_channel.load());
    return m_recorder.IsDiscarded();
}
