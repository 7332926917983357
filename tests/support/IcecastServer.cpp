#include "tests/support/IcecastServer.h"

#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

namespace testing_support
{

namespace
{

uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

QString RandomPassword()
{
    std::random_device device;
    return QStringLiteral("pw%1").arg(device(), 8, 16, QLatin1Char('0'));
}

QString XmlEscaped(const QString& text)
{
    return text.toHtmlEscaped();
}

size_t CollectBody(char* data, size_t size, size_t count, void* user)
{
    static_cast<QByteArray*>(user)->append(data, qsizetype(size * count));
    return size * count;
}

} // namespace

IcecastServer::IcecastServer()
    : m_sourcePassword(RandomPassword())
    , m_adminPassword(RandomPassword())
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    // Icecast drops to nobody when run as root: that user must reach the folder and write the logs.
    ::chmod(QFile::encodeName(m_folder.path()).constData(), 0755);
    QDir(m_folder.path()).mkpath(QStringLiteral("log"));
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("nobody");
        const group* nogroup = ::getgrnam("nogroup");
        if (user && nogroup)
            ::chown(
                QFile::encodeName(m_folder.filePath(QStringLiteral("log"))).constData(), user->pw_uid, nogroup->gr_gid);
    }
    for (int attempt = 0; attempt < 3 && !StartServer(); ++attempt)
        m_server.Stop();
}

IcecastServer::~IcecastServer()
{
    for (auto& [mount, source] : m_sources)
        source->Stop();
    m_sources.clear();
    m_server.Stop();
}

bool IcecastServer::WriteConfig()
{
    const bool root = ::geteuid() == 0;
    const QString config = QStringLiteral(
        "<icecast>\n"
        "  <location>loopback</location><admin>test@localhost</admin>\n"
        "  <hostname>127.0.0.1</hostname>\n"
        "  <limits><clients>100</clients><sources>20</sources><queue-size>524288</queue-size>\n"
        "    <client-timeout>30</client-timeout><header-timeout>15</header-timeout>\n"
        "    <source-timeout>10</source-timeout><burst-on-connect>1</burst-on-connect>\n"
        "    <burst-size>65535</burst-size></limits>\n"
        "  <authentication><source-password>%1</source-password><relay-password>%1</relay-password>\n"
        "    <admin-user>admin</admin-user><admin-password>%2</admin-password></authentication>\n"
        "  <listen-socket><port>%3</port><bind-address>127.0.0.1</bind-address></listen-socket>\n"
        "  <fileserve>1</fileserve>\n"
        "  <paths><basedir>/usr/share/icecast2</basedir><logdir>%4</logdir>\n"
        "    <webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
        "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>\n"
        "  <security><chroot>0</chroot>%5</security>\n"
        "</icecast>\n")
                               .arg(m_sourcePassword, m_adminPassword, QString::number(m_port),
                                   XmlEscaped(m_folder.filePath(QStringLiteral("log"))),
                                   root ? QStringLiteral(
                                       "<changeowner><user>nobody</user><group>nogroup</group></changeowner>")
                                        : QString());
    return WriteBytes(m_folder.filePath(QStringLiteral("icecast.xml")), config.toUtf8());
}

bool IcecastServer::StartServer()
{
    m_port = FreeLoopbackPort();
    if (m_port == 0 || !WriteConfig()) {
        m_error = QStringLiteral("cannot prepare the configuration");
        return false;
    }
    if (!m_server.Start({ "icecast2", "-c", m_folder.filePath(QStringLiteral("icecast.xml")).toStdString() },
            m_folder.filePath(QStringLiteral("icecast.out")))) {
        m_error = QStringLiteral("cannot start icecast2");
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        Get(QStringLiteral("/status-json.xsl"), &status, false, 1000);
        if (status == 200) {
            m_error.clear();
            return true;
        }
        if (!m_server.IsRunning())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_error = QStringLiteral("icecast2 did not answer on port %1: %2")
                  .arg(m_port)
                  .arg(QString::fromUtf8(ReadBytes(m_folder.filePath(QStringLiteral("icecast.out")))));
    return false;
}

bool IcecastServer::IsRunning()
{
    return m_server.IsRunning();
}

QString IcecastServer::Url(const QString& mount) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(mount);
}

QByteArray IcecastServer::Get(const QString& pathAndQuery, int* status, bool admin, int timeoutMs)
{
    QByteArray body;
    CURL* curl = curl_easy_init();
    if (!curl)
        return body;
    const QByteArray url = Url(pathAndQuery).toUtf8();
    const QByteArray credentials = (AdminUser() + QLatin1Char(':') + m_adminPassword).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    if (admin)
        curl_easy_setopt(curl, CURLOPT_USERPWD, credentials.constData());
    long code = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_cleanup(curl);
    if (status)
        *status = int(code);
    return body;
}

bool IcecastServer::StartSource(const QString& mount, const IcecastSourceOptions& options)
{
    StopSource(mount);
    std::vector<std::string> arguments = { "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f",
        "lavfi", "-i",
        (options.lavfiSource.isEmpty()
                ? QStringLiteral("sine=frequency=%1:sample_rate=%2").arg(options.frequencyHz).arg(options.sampleRate)
                : options.lavfiSource)
            .toStdString(),
        "-ac", std::to_string(options.channels) };
    const std::string bitrate = std::to_string(options.bitrateKbps) + "k";
    std::string contentType;
    switch (options.format) {
    case IcecastFormat::Mp3:
        arguments.insert(arguments.end(), { "-c:a", "libmp3lame", "-b:a", bitrate, "-f", "mp3" });
        contentType = "audio/mpeg";
        break;
    case IcecastFormat::Aac:
        arguments.insert(arguments.end(), { "-c:a", "aac", "-b:a", bitrate, "-f", "adts" });
        contentType = "audio/aac";
        break;
    case IcecastFormat::OggVorbis:
        arguments.insert(
            arguments.end(), { "-c:a", "libvorbis", "-b:a", bitrate, "-page_duration", "250000", "-f", "ogg" });
        contentType = "application/ogg";
        break;
    case IcecastFormat::OggOpus:
        arguments.insert(
            arguments.end(), { "-c:a", "libopus", "-b:a", bitrate, "-page_duration", "250000", "-f", "ogg" });
        contentType = "audio/ogg";
        break;
    }
    // A plain HTTP PUT rather than ffmpeg's icecast protocol, so that the source can announce its
    // bitrate (icy-br) besides name, description, genre and URL.
    const QString headers = QStringLiteral("Ice-Name: %1\r\nIce-Description: %2\r\nIce-Genre: %3\r\nIce-Url: %4\r\n"
                                           "Ice-Bitrate: %5\r\nIce-Public: 0\r\n")
                                .arg(options.name, options.description, options.genre, options.url)
                                .arg(options.bitrateKbps);
    arguments.insert(arguments.end(),
        { "-method", "PUT", "-chunked_post", "0", "-send_expect_100", "1", "-content_type", contentType, "-headers",
            headers.toStdString(),
            QStringLiteral("http://source:%1@127.0.0.1:%2%3")
                .arg(m_sourcePassword)
                .arg(m_port)
                .arg(mount)
                .toStdString() });
    auto process = std::make_unique<ChildProcess>();
    const QString log = m_folder.filePath(
        QStringLiteral("source%1.log").arg(QString(mount).replace(QLatin1Char('/'), QLatin1Char('_'))));
    if (!process->Start(arguments, log))
        return false;
    m_sources[mount] = std::move(process);
    m_options[mount] = options;
    return WaitForMount(mount, true, 10000);
}

void IcecastServer::StopSource(const QString& mount)
{
    const auto it = m_sources.find(mount);
    if (it == m_sources.end())
        return;
    it->second->Stop();
    m_sources.erase(it);
    WaitForMount(mount, false, 5000);
}

bool IcecastServer::RestartSource(const QString& mount)
{
    const auto it = m_options.find(mount);
    return it != m_options.end() && StartSource(mount, IcecastSourceOptions(it->second));
}

bool IcecastServer::IsMountLive(const QString& mount)
{
    int status = 0;
    const QByteArray body = Get(QStringLiteral("/status-json.xsl"), &status, false, 2000);
    return status == 200 && body.contains(QStringLiteral("\"listenurl\":\"%1\"").arg(Url(mount)).toUtf8());
}

bool IcecastServer::WaitForMount(const QString& mount, bool live, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (IsMountLive(mount) != live) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

int IcecastServer::ListenerCount(const QString& mount)
{
    int status = 0;
    const QByteArray body = Get(QStringLiteral("/admin/listclients?mount=") + mount, &status, true, 2000);
    const int start = body.indexOf("<Listeners>");
    if (status != 200 || start < 0)
        return -1;
    return body.mid(start + 11, body.indexOf('<', start + 11) - start - 11).toInt();
}

bool IcecastServer::SetTitle(const QString& mount, const QString& title)
{
    int status = 0;
    const QByteArray body = Get(QStringLiteral("/admin/metadata?mount=%1&mode=updinfo&charset=UTF-8&song=%2")
                                    .arg(mount, QString::fromLatin1(QUrl::toPercentEncoding(title))),
        &status, true);
    return status == 200 && body.contains("<return>1</return>");
}

bool IcecastServer::SetOggTags(const QString& mount, const QString& title, const QString& artist)
{
    int status = 0;
    const QByteArray body = Get(QStringLiteral("/admin/metadata?mount=%1&mode=updinfo&charset=UTF-8&title=%2&artist=%3")
                                    .arg(mount, QString::fromLatin1(QUrl::toPercentEncoding(title)),
                                        QString::fromLatin1(QUrl::toPercentEncoding(artist))),
        &status, true);
    return status == 200 && body.contains("<return>1</return>");
}

} // namespace testing_support
