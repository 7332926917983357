#pragma once

#include "tests/support/ChildProcess.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <memory>

namespace testing_support
{

enum class IcecastFormat { Mp3, Aac, OggVorbis, OggOpus };

// What a source sends: a sine tone encoded by ffmpeg in real time.
struct IcecastSourceOptions {
    IcecastFormat format = IcecastFormat::Mp3;
    int frequencyHz = 440;
    int sampleRate = 44100;
    int channels = 2;
    int bitrateKbps = 128; // also announced to listeners as icy-br
    QString name = QStringLiteral("Test Station");
    QString description = QStringLiteral("A sine tone");
    QString genre = QStringLiteral("Testing");
    QString url = QStringLiteral("http://127.0.0.1/");
    // An ffmpeg lavfi source in place of the sine tone ("anoisesrc=c=pink"), when set.
    QString lavfiSource;
};

// An Icecast server on 127.0.0.1 and a free port for one test, fed by ffmpeg sources (one per
// mount). Run as root it drops to nobody/nogroup and logs into a folder that user may write.
// Everything it started is stopped by the destructor.
//
//     IcecastServer server;
//     ASSERT_TRUE(server.IsRunning()) << server.Error();
//     ASSERT_TRUE(server.StartSource("/mp3"));
//     ... connect to server.Url("/mp3") ...
//     server.SetTitle("/mp3", "Artist - Song");
//     server.StopSource("/mp3"); server.RestartSource("/mp3");
class IcecastServer
{
public:
    static constexpr int kMetadataInterval = 16000; // Icecast's default icy-metaint

    IcecastServer();
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    bool IsRunning();
    QString Error() const { return m_error; }
    uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" + mount
    QString Url(const QString& mount) const;
    QString AdminUser() const { return QStringLiteral("admin"); }
    QString AdminPassword() const { return m_adminPassword; }

    // Starts a source on mount ("/mp3") and waits until Icecast serves it.
    bool StartSource(const QString& mount, const IcecastSourceOptions& options = {});
    // Ends the source: Icecast drops the mount and disconnects its listeners.
    void StopSource(const QString& mount);
    // Starts the same source again.
    bool RestartSource(const QString& mount);
    bool IsMountLive(const QString& mount);
    bool WaitForMount(const QString& mount, bool live, int timeoutMs);
    // Listeners connected to mount, -1 when unknown.
    int ListenerCount(const QString& mount);

    // Changes the title through the admin interface (ICY metadata for MP3 and AAC; for Ogg Icecast
    // starts a new logical stream with the new comments).
    bool SetTitle(const QString& mount, const QString& title);
    // Ogg: title and artist as separate comments.
    bool SetOggTags(const QString& mount, const QString& title, const QString& artist);

    // A plain GET against the server (admin calls, status); returns the body, status in *status.
    QByteArray Get(const QString& pathAndQuery, int* status = nullptr, bool admin = false, int timeoutMs = 5000);

private:
    bool StartServer();
    bool WriteConfig();

    QTemporaryDir m_folder;
    uint16_t m_port = 0;
    QString m_sourcePassword;
    QString m_adminPassword;
    QString m_error;
    ChildProcess m_server;
    std::map<QString, std::unique_ptr<ChildProcess>> m_sources;
    std::map<QString, IcecastSourceOptions> m_options;
};

} // namespace testing_support
