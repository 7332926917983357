#include "tests/support/TestMedia.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"

#include <QTemporaryDir>

#include <string>
#include <vector>

namespace testing_support
{

QString MediaExtension(MediaFormat format)
{
    switch (format) {
    case MediaFormat::Mp3:
        return QStringLiteral("mp3");
    case MediaFormat::Mp2:
        return QStringLiteral("mp2");
    case MediaFormat::AacAdts:
        return QStringLiteral("aac");
    case MediaFormat::M4a:
        return QStringLiteral("m4a");
    case MediaFormat::OggVorbis:
        return QStringLiteral("ogg");
    case MediaFormat::OggOpus:
        return QStringLiteral("opus");
    case MediaFormat::WavPcm:
    case MediaFormat::WavFloat:
        return QStringLiteral("wav");
    case MediaFormat::Wma:
        return QStringLiteral("wma");
    case MediaFormat::Flac:
        return QStringLiteral("flac");
    }
    return QString();
}

bool GenerateSine(const QString& path, MediaFormat format, const SineOptions& options)
{
    std::vector<std::string> arguments
        = { "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
              QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3")
                  .arg(options.frequencyHz)
                  .arg(options.sampleRate)
                  .arg(options.seconds)
                  .toStdString(),
              "-ac", std::to_string(options.channels) };
    const std::string bitrate = std::to_string(options.bitrateKbps) + "k";
    switch (format) {
    case MediaFormat::Mp3:
        arguments.insert(arguments.end(), { "-c:a", "libmp3lame", "-b:a", bitrate, "-f", "mp3" });
        break;
    case MediaFormat::Mp2:
        arguments.insert(arguments.end(), { "-c:a", "mp2", "-b:a", bitrate, "-f", "mp2" });
        break;
    case MediaFormat::AacAdts:
        arguments.insert(arguments.end(), { "-c:a", "aac", "-b:a", bitrate, "-f", "adts" });
        break;
    case MediaFormat::M4a:
        arguments.insert(arguments.end(), { "-c:a", "aac", "-b:a", bitrate, "-f", "ipod" });
        break;
    case MediaFormat::OggVorbis:
        arguments.insert(arguments.end(), { "-c:a", "libvorbis", "-b:a", bitrate, "-f", "ogg" });
        break;
    case MediaFormat::OggOpus:
        arguments.insert(arguments.end(), { "-c:a", "libopus", "-b:a", bitrate, "-f", "ogg" });
        break;
    case MediaFormat::WavPcm:
        arguments.insert(arguments.end(), { "-c:a", "pcm_s16le", "-f", "wav" });
        break;
    case MediaFormat::WavFloat:
        arguments.insert(arguments.end(), { "-c:a", "pcm_f32le", "-f", "wav" });
        break;
    case MediaFormat::Wma:
        arguments.insert(arguments.end(), { "-c:a", "wmav2", "-b:a", bitrate, "-f", "asf" });
        break;
    case MediaFormat::Flac:
        arguments.insert(arguments.end(), { "-c:a", "flac", "-f", "flac" });
        break;
    }
    if (!options.title.isEmpty())
        arguments.insert(arguments.end(), { "-metadata", "title=" + options.title.toStdString() });
    if (!options.artist.isEmpty())
        arguments.insert(arguments.end(), { "-metadata", "artist=" + options.artist.toStdString() });
    arguments.push_back(path.toStdString());
    return ChildProcess::Run(arguments, 60000) == 0;
}

QByteArray GenerateSineBytes(MediaFormat format, const SineOptions& options)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sine.") + MediaExtension(format));
    if (!folder.isValid() || !GenerateSine(path, format, options))
        return QByteArray();
    return ReadBytes(path);
}

} // namespace testing_support
