#pragma once

#include "tests/support/LoopbackHttpServer.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

// Encodes generated sound with the ffmpeg command: args are the input and codec options, format the
// muxer ("mp3", "adts", "ogg"). Empty when ffmpeg fails.
inline QByteArray GenerateMedia(const QStringList& args, const QString& format)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("media"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
        QStringList {
            QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y") }
            + args + QStringList { QStringLiteral("-f"), format, path });
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Pink noise with a tone, so that no two frames of the encoded stream are alike.
inline QStringList NoiseInput(int seconds, int sampleRate = 44100)
{
    const QString duration = QString::number(seconds);
    return { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("anoisesrc=d=%1:c=pink:a=0.15:r=%2:seed=7").arg(duration).arg(sampleRate), QStringLiteral("-f"),
        QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("sine=f=440:d=%1:r=%2").arg(duration).arg(sampleRate), QStringLiteral("-filter_complex"),
        QStringLiteral("amix=inputs=2,aformat=channel_layouts=stereo"), QStringLiteral("-ar"),
        QString::number(sampleRate) };
}

// Serves a fixed series of audio bytes as an internet radio station would: "ICY 200 OK" with the
// station headers, a metadata block every metaInterval audio bytes when the client asks for them, a
// burst at the start and then the bytes at their playing rate. The stream title may change at given
// audio offsets. What each connection sent is kept for the test to compare.
class IcyTestStream
{
public:
    QByteArray audio;
    QByteArray statusLine = "ICY 200 OK";
    QByteArray contentType = "audio/mpeg";
    QByteArray stationHeaders = "icy-name: Loopback Radio\r\nicy-genre: Test\r\nicy-br: 128\r\n";
    // More header lines for connection n (counting from 1), sent after the station headers.
    std::function<QByteArray(int)> extraHeaders;
    int metaInterval = 8192;
    bool icyMetadata = true; // offered when the client asks for it
    bool titleInEveryBlock = false; // as many servers do, instead of empty blocks while it stays
    int bytesPerSecond = 16000;
    // How long the station takes to answer a connection, as a slow or distant server does.
    int answerDelayMs = 0;
    int burstBytes = 48000;
    // The source ends after the audio (the connection closes) and stays away until the test brings
    // it back: meanwhile connections are answered 404, as a server answers for a missing source (after
    // 300 ms, so that a connection made just before the source returns is served).
    bool goDownAtEnd = false;
    // The connection closes after the audio and the next one starts it again, so that the player's
    // stream reconnects over and over.
    bool closeAtEnd = false;
    std::atomic<bool> up { true };
    // Title of the metadata block sent after audio offset n: the entry with the largest offset <= n.
    std::vector<std::pair<qint64, QByteArray>> titles { { 0, "Loopback - First" } };

    void Install(testing_support::LoopbackHttpServer& server, const QByteArray& path)
    {
        server.Route(path, [this](testing_support::HttpConnection& connection) { Serve(connection); });
    }

    // Audio offset at which the title at index i was first sent, -1 when it was not (last connection).
    qint64 TitleSentAt(size_t index) const
    {
        std::lock_guard lock(m_mutex);
        return index < m_titleSentAt.size() ? m_titleSentAt[index] : -1;
    }
    qint64 AudioBytesSent() const { return m_audioSent.load(); }
    int TitleBlocksSent() const { return m_titleBlocks.load(); }
    int Connections() const { return m_connections.load(); }
    void Stop() { m_stopped = true; }

private:
    QByteArray MetaBlock(const QByteArray& title) const
    {
        QByteArray text = "StreamTitle='" + title + "';";
        const int units = int((text.size() + 15) / 16);
        text.resize(units * 16, '\0');
        return char(units) + text;
    }

    int TitleIndexAt(qint64 offset) const
    {
        int index = 0;
        for (size_t i = 0; i < titles.size(); ++i) {
            if (titles[i].first <= offset)
                index = int(i);
        }
        return index;
    }

    void Serve(testing_support::HttpConnection& connection)
    {
        const bool withMeta = icyMetadata && connection.Request().Header("icy-metadata") == "1";
        const int number = ++m_connections;
        if (answerDelayMs > 0 && !connection.Sleep(answerDelayMs))
            return;
        if (!up && connection.Sleep(300) && !up) {
            connection.SendResponse(404, "text/html", "<html><body>Source not found</body></html>");
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_titleSentAt.assign(titles.size(), -1);
        }
        QByteArray head = statusLine + "\r\nContent-Type: " + contentType + "\r\n" + stationHeaders;
        if (extraHeaders)
            head += extraHeaders(number);
        if (withMeta)
            head += "icy-metaint: " + QByteArray::number(metaInterval) + "\r\n";
        if (!connection.Send(head + "\r\n"))
            return;

        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        qint64 offset = 0;
        int lastTitle = -1;
        while (offset < audio.size() && !m_stopped) {
            const qint64 untilMeta = withMeta ? metaInterval - offset % metaInterval : 4096;
            const qint64 chunk = std::min<qint64>({ untilMeta, 4096, audio.size() - offset });
            if (offset >= burstBytes) {
                const auto due = start + std::chrono::milliseconds((offset - burstBytes) * 1000 / bytesPerSecond);
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
                if (wait > 0 && !connection.Sleep(int(wait)))
                    return;
            }
            if (!connection.Send(audio.mid(offset, chunk)))
                return;
            offset += chunk;
            m_audioSent = offset;
            if (withMeta && offset % metaInterval == 0) {
                const int index = TitleIndexAt(offset);
                QByteArray block(1, '\0');
                if (index != lastTitle || titleInEveryBlock) {
                    block = MetaBlock(titles[size_t(index)].second);
                    ++m_titleBlocks;
                    std::lock_guard lock(m_mutex);
                    if (m_titleSentAt[size_t(index)] < 0)
                        m_titleSentAt[size_t(index)] = offset;
                    lastTitle = index;
                }
                if (!connection.Send(block))
                    return;
            }
        }
        if (goDownAtEnd)
            up = false;
        if (goDownAtEnd || closeAtEnd)
            return;
        // Keep the connection open but silent until the test ends: the player sees a stall.
        while (!m_stopped && connection.Sleep(100)) { }
    }

    mutable std::mutex m_mutex;
    std::vector<qint64> m_titleSentAt; // guarded by m_mutex
    std::atomic<qint64> m_audioSent { 0 };
    std::atomic<bool> m_stopped { false };
    std::atomic<int> m_connections { 0 };
    std::atomic<int> m_titleBlocks { 0 };
};
