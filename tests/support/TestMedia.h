#pragma once

#include <QByteArray>
#include <QString>

namespace testing_support
{

enum class MediaFormat { Mp3, Mp2, AacAdts, M4a, OggVorbis, OggOpus, WavPcm, WavFloat, Wma, Flac };

struct SineOptions {
    double seconds = 2.0;
    int frequencyHz = 440;
    int sampleRate = 44100;
    int channels = 2;
    int bitrateKbps = 128; // compressed formats
    QString title; // written as the title tag when the format has tags
    QString artist;
};

// The file name extension ffmpeg picks the container by ("mp3", "aac", ...).
QString MediaExtension(MediaFormat format);
// Generates a sine tone file with ffmpeg's lavfi source. False when ffmpeg fails.
bool GenerateSine(const QString& path, MediaFormat format, const SineOptions& options = {});
// The same as bytes (through a temporary file).
QByteArray GenerateSineBytes(MediaFormat format, const SineOptions& options = {});

} // namespace testing_support
