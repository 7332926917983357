#include "tests/support/FfmpegTools.h"

#include <QProcess>
#include <QStringList>

namespace testing_support
{

namespace
{

bool Run(const QString& program, const QStringList& arguments, QByteArray& output, QString& error)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        error = program + QStringLiteral(" did not start");
        return false;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        error = program + QStringLiteral(" did not finish");
        return false;
    }
    output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = QString::fromUtf8(process.readAllStandardError());
        return false;
    }
    return true;
}

} // namespace

QByteArray GenerateSinePcm(double seconds, int sampleRate, int channels, int frequency)
{
    const QString source
        = QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3").arg(frequency).arg(sampleRate).arg(seconds);
    QByteArray pcm;
    QString error;
    Run(QStringLiteral("ffmpeg"),
        { "-v", "error", "-f", "lavfi", "-i", source, "-ac", QString::number(channels), "-f", "s16le", "-" }, pcm,
        error);
    return pcm;
}

ProbedAudio ProbeAudio(const QString& path)
{
    ProbedAudio probed;
    QByteArray text;
    if (!Run(QStringLiteral("ffprobe"),
            { "-v", "error", "-select_streams", "a:0", "-show_entries",
                "stream=codec_name,sample_rate,channels,bit_rate:format=format_name,duration", "-of",
                "default=noprint_wrappers=1", path },
            text, probed.error))
        return probed;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "codec_name")
            probed.codecName = value;
        else if (key == "format_name")
            probed.formatName = value;
        else if (key == "sample_rate")
            probed.sampleRate = value.toInt();
        else if (key == "channels")
            probed.channels = value.toInt();
        else if (key == "bit_rate")
            probed.bitRate = value.toLongLong();
        else if (key == "duration")
            probed.duration = value.toDouble();
    }

    QByteArray pcm;
    if (!Run(QStringLiteral("ffmpeg"), { "-v", "error", "-i", path, "-f", "s16le", "-acodec", "pcm_s16le", "-" }, pcm,
            probed.error))
        return probed;
    if (probed.channels > 0)
        probed.decodedSamples = pcm.size() / (2 * probed.channels);
    probed.ok = true;
    return probed;
}

} // namespace testing_support
