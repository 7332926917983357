#include "core/HttpClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

using testing_support::HttpConnection;
using testing_support::LoopbackHttpServer;
using testing_support::ScopedCLocale;
using testing_support::ScopedEnvironment;

namespace
{

using Clock = std::chrono::steady_clock;

qint64 MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class HttpClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Loopback is never proxied, whatever the machine's settings.
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    }

    CHttpClient::Request RequestFor(const char* path) const
    {
        CHttpClient::Request request;
        request.url = server.Url(QString::fromLatin1(path));
        return request;
    }

    LoopbackHttpServer server;
};

TEST_F(HttpClientTest, SendsTheAgentExtraHeadersAndNoCacheRequestsOnlyWhenAsked)
{
    server.RouteFixed("/a", 200, "text/plain", "hello");
    CHttpClient::Request request = RequestFor("/a");
    request.agent = "Kavrilune 1.2.3.4";
    request.headers.append("Referer: http://example.test/stations?title=x");
    request.noCache = true;
    QByteArray body;
    CHttpClient::Result result = CHttpClient::Get(request, body);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(body, "hello");
    EXPECT_EQ(result.bytes, 5);

    request.agent.clear();
    request.headers.clear();
    request.noCache = false;
    ASSERT_TRUE(CHttpClient::Get(request, body).ok);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].Header("user-agent"), "Kavrilune 1.2.3.4");
    EXPECT_EQ(requests[0].Header("referer"), "http://example.test/stations?title=x");
    EXPECT_EQ(requests[0].Header("cache-control"), "no-cache");
    EXPECT_EQ(requests[0].Header("pragma"), "no-cache");
    EXPECT_TRUE(requests[1].Header("user-agent").isEmpty());
    EXPECT_TRUE(requests[1].Header("cache-control").isEmpty());
    EXPECT_TRUE(requests[1].Header("referer").isEmpty());
}

TEST_F(HttpClientTest, ABoundedReadStopsAtTheLimitAndCountsAsSuccess)
{
    QByteArray big;
    for (int i = 0; i < 10000; ++i)
        big.append(char('a' + i % 26));
    server.RouteFixed("/big", 200, "text/plain", big);
    CHttpClient::Request request = RequestFor("/big");
    request.maxBytes = 1000;
    QByteArray body;
    const CHttpClient::Result result = CHttpClient::Get(request, body);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(body, big.left(1000));

    request.maxBytes = 0;
    EXPECT_TRUE(CHttpClient::Get(request, body).ok);
    EXPECT_TRUE(body.isEmpty());
}

TEST_F(HttpClientTest, ErrorStatusesStillDeliverTheirBodyAndRedirectsAreFollowed)
{
    server.RouteFixed("/old", 302, "text/html", "moved", "Location: /new\r\n");
    server.RouteFixed("/new", 200, "text/plain", "arrived");
    QByteArray body;
    CHttpClient::Result result = CHttpClient::Get(RequestFor("/old"), body);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(body, "arrived");

    result = CHttpClient::Get(RequestFor("/missing"), body);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.status, 404);
    EXPECT_TRUE(body.contains("Not found"));
}

TEST_F(HttpClientTest, ABodyCutShortIsAFailureWithTheBytesThatArrived)
{
    server.Route("/cut", [](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\nConnection: close\r\n\r\n");
        connection.Send(QByteArray(4000, 'x'));
    });
    QByteArray body;
    const CHttpClient::Result result = CHttpClient::Get(RequestFor("/cut"), body);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(result.bytes, 4000);
}

TEST_F(HttpClientTest, ASilentServerRunsIntoTheStallTimeOut)
{
    server.Route("/silent", [](HttpConnection& connection) { connection.Sleep(60000); });
    server.Route("/slow-body", [](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst bytes");
        connection.Sleep(60000);
    });
    CHttpClient::Request request = RequestFor("/silent");
    request.timeouts.stallMs = 500;
    QByteArray body;
    const auto start = Clock::now();
    CHttpClient::Result result = CHttpClient::Get(request, body);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.status, 0);

    request.url = server.Url("/slow-body");
    result = CHttpClient::Get(request, body);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(body, "first bytes");
    EXPECT_LT(MsSince(start), 20000); // not the server's minute
}

TEST_F(HttpClientTest, TheTotalTimeOutEndsATrickle)
{
    server.Route("/trickle", [](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        while (connection.Send("x") && connection.Sleep(50)) { }
    });
    CHttpClient::Request request = RequestFor("/trickle");
    request.timeouts.totalMs = 700;
    QByteArray body;
    const CHttpClient::Result result = CHttpClient::Get(request, body);
    EXPECT_FALSE(result.ok);
    EXPECT_GT(result.bytes, 0);
}

TEST_F(HttpClientTest, TheCancelFlagStopsAHangingTransfer)
{
    server.Route("/hang", [](HttpConnection& connection) { connection.Sleep(60000); });
    std::atomic<bool> cancel { false };
    CHttpClient::Request request = RequestFor("/hang");
    request.cancel = &cancel;
    std::thread canceller([&] {
        while (server.Requests().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cancel = true;
    });
    QByteArray body;
    const auto start = Clock::now();
    const CHttpClient::Result result = CHttpClient::Get(request, body);
    canceller.join();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(MsSince(start), 10000);
}

TEST_F(HttpClientTest, ARefusedConnectionAndARefusingSinkAreFailures)
{
    CHttpClient::Request request;
    {
        LoopbackHttpServer closed;
        request.url = closed.Url("/x");
    }
    QByteArray body;
    CHttpClient::Result result = CHttpClient::Get(request, body);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());

    server.RouteFixed("/a", 200, "text/plain", "hello");
    result = CHttpClient::Get(RequestFor("/a"), [](const char*, qint64) { return false; });
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.bytes, 0);
}

// Open descriptors of this process.
int OpenDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

TEST_F(HttpClientTest, ASinkThatThrowsStopsTheTransferCleanlyAndTheCallerGetsTheException)
{
    server.RouteFixed("/a", 200, "text/plain", QByteArray(20000, 'x'));
    const int before = OpenDescriptors();
    for (int i = 0; i < 5; ++i) {
        EXPECT_THROW(CHttpClient::Get(RequestFor("/a"),
                         [](const char*, qint64) -> bool { throw std::runtime_error("cannot take this"); }),
            std::runtime_error);
    }
    // The server closes its side when the client has gone; the client keeps nothing open.
    const auto start = Clock::now();
    while (OpenDescriptors() > before && MsSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(OpenDescriptors(), before);

    QByteArray body;
    EXPECT_TRUE(CHttpClient::Get(RequestFor("/a"), body).ok) << "the next transfer works as usual";
    EXPECT_EQ(body.size(), 20000);
}

TEST_F(HttpClientTest, ABodyPastTheSizeLimitFailsWhetherAnnouncedOrNot)
{
    const QByteArray big(5000, 'x');
    server.RouteFixed("/announced", 200, "text/plain", big);
    server.Route("/unannounced", [&big](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        connection.Send(big);
    });
    server.RouteFixed("/fits", 200, "text/plain", big.left(1000));
    for (const char* path : { "/announced", "/unannounced" }) {
        SCOPED_TRACE(path);
        CHttpClient::Request request = RequestFor(path);
        request.sizeLimit = 1000;
        QByteArray body;
        const CHttpClient::Result result = CHttpClient::Get(request, body);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.tooLarge);
        EXPECT_TRUE(result.error.contains("larger than 1000 bytes")) << result.error.toStdString();
        EXPECT_LE(body.size(), 1000);
    }
    CHttpClient::Request request = RequestFor("/fits");
    request.sizeLimit = 1000;
    QByteArray body;
    EXPECT_TRUE(CHttpClient::Get(request, body).ok);
    EXPECT_EQ(body.size(), 1000);
}

TEST_F(HttpClientTest, OtherSchemesAreRefused)
{
    CHttpClient::Request request;
    request.url = QStringLiteral("file:///etc/hostname");
    QByteArray body;
    EXPECT_FALSE(CHttpClient::Get(request, body).ok);
    EXPECT_TRUE(body.isEmpty());

    server.RouteFixed("/to-file", 302, "text/html", "", "Location: file:///etc/hostname\r\n");
    EXPECT_FALSE(CHttpClient::Get(RequestFor("/to-file"), body).ok);
    EXPECT_TRUE(body.isEmpty());
}

TEST_F(HttpClientTest, AnHttpsPeerWithAnUntrustedCertificateIsRefused)
{
    using testing_support::ChildProcess;
    QTemporaryDir folder;
    const std::string key = (folder.path() + "/key.pem").toStdString();
    const std::string certificate = (folder.path() + "/certificate.pem").toStdString();
    ASSERT_EQ(ChildProcess::Run(
                  { "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                      "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", certificate },
                  60000),
        0);
    uint16_t port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    ChildProcess peer;
    ASSERT_TRUE(peer.Start({ "openssl", "s_server", "-quiet", "-www", "-accept", "127.0.0.1:" + std::to_string(port),
        "-cert", certificate, "-key", key }));
    bool listening = false;
    for (int i = 0; i < 100 && !listening; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        listening = socket.waitForConnected(100);
        if (!listening)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(listening);

    CHttpClient::Request request;
    request.url = QStringLiteral("https://127.0.0.1:%1/").arg(port);
    QByteArray body;
    const CHttpClient::Result result = CHttpClient::Get(request, body);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_TRUE(result.error.contains("certificate", Qt::CaseInsensitive)) << result.error.toStdString();
    peer.Stop();
}

TEST_F(HttpClientTest, TheProxyOfTheEnvironmentCarriesRequests)
{
    // The loopback server plays the proxy: it receives the absolute address of the wanted resource.
    server.RouteFixed("http://stations.invalid/kvdbms/stations.kvdx", 200, "text/plain", "via proxy");
    CHttpClient::Request request;
    request.url = QStringLiteral("http://stations.invalid/kvdbms/stations.kvdx");
    QByteArray body;
    CHttpClient::Result result;
    {
        ScopedEnvironment environment;
        environment.Set("http_proxy", server.Url().toLatin1());
        result = CHttpClient::Get(request, body);
    }
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(body, "via proxy");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "http://stations.invalid/kvdbms/stations.kvdx");
}

TEST_F(HttpClientTest, HostNamesOutsideAsciiAreAskedForInAsciiFormUnderTheCLocaleAlsoWhenARedirectionNamesThem)
{
    // Through the loopback server as the proxy, which sees the host name as it was sent.
    server.RouteFixed("http://xn--80aimyg.example/file", 200, "text/plain", "asked");
    server.RouteFixed("http://xn--80aimyg.example/moved", 200, "text/plain", "redirected");
    server.RouteFixed("/old", 302, "text/html", "moved",
        "Location: http://\xd1\x80\xd0\xb0\xd0\xb4\xd0\xb8\xd0\xbe.example/moved\r\n");
    ScopedEnvironment environment;
    environment.Set("http_proxy", server.Url().toLatin1());
    ScopedCLocale locale;

    CHttpClient::Request request;
    request.url = QString::fromUtf8("http://радио.example/file");
    QByteArray body;
    CHttpClient::Result result = CHttpClient::Get(request, body);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(body, "asked");

    result = CHttpClient::Get(RequestFor("/old"), body);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(body, "redirected") << "the redirection's own body is nobody's";
}

TEST_F(HttpClientTest, RedirectionsAreBoundedAndTheTotalTimeOutSpansThemAll)
{
    server.RouteFixed("/loop", 302, "text/html", "", "Location: /loop\r\n");
    QByteArray body;
    EXPECT_FALSE(CHttpClient::Get(RequestFor("/loop"), body).ok);
    EXPECT_EQ(server.Requests().size(), 11u) << "the address and ten redirections";

    server.Route("/slow", [](HttpConnection& connection) {
        if (connection.Sleep(400))
            connection.SendResponse(302, "text/html", "", "Location: /slow\r\n");
    });
    CHttpClient::Request request = RequestFor("/slow");
    request.timeouts.totalMs = 1000;
    const auto start = Clock::now();
    EXPECT_FALSE(CHttpClient::Get(request, body).ok);
    EXPECT_LT(MsSince(start), 2500) << "ten steps of 400 ms take 4 s";
}

TEST_F(HttpClientTest, APublicOnlyTransferReachesNeitherPlainHttpNorALocalAddressNorIsRedirectedThere)
{
    ScopedEnvironment environment;
    for (const char* name : { "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY" })
        environment.Set(name, QByteArray());
    LoopbackHttpServer local;
    local.RouteFixed("/secret", 200, "text/plain", "secret");
    const QString port = QString::number(local.Port());
    auto publicOnly = [this](const QString& url) {
        CHttpClient::Request request;
        request.url = url;
        request.reach = CHttpClient::Reach::PublicHttps;
        request.trustedOrigin = server.Url();
        request.timeouts = { 3000, 3000, 5000 };
        return request;
    };
    for (const char* url : { "http://127.0.0.1:%1/secret", "https://127.0.0.1:%1/secret", "https://localhost:%1/secret",
             "https://[::ffff:127.0.0.1]:%1/secret", "https://0.0.0.0:%1/secret", "https://2130706433:%1/secret" }) {
        QByteArray body;
        const CHttpClient::Result result = CHttpClient::Get(publicOnly(QString::fromLatin1(url).arg(port)), body);
        EXPECT_FALSE(result.ok) << url;
        EXPECT_TRUE(body.isEmpty()) << url;
    }

    // The trusted origin is reached as it stands; where it redirects to is checked like any address.
    server.RouteFixed("/own", 200, "text/plain", "own");
    server.RouteFixed("/within", 302, "text/html", "", "Location: /own\r\n");
    server.RouteFixed("/plain", 302, "text/html", "", "Location: " + local.Url("/secret").toLatin1() + "\r\n");
    server.RouteFixed(
        "/secure", 302, "text/html", "", "Location: https://localhost:" + port.toLatin1() + "/secret\r\n");
    QByteArray body;
    for (const char* path : { "/own", "/within" }) {
        const CHttpClient::Result result = CHttpClient::Get(publicOnly(server.Url(QString::fromLatin1(path))), body);
        EXPECT_TRUE(result.ok) << path << ": " << result.error.toStdString();
        EXPECT_EQ(body, "own");
    }
    for (const char* path : { "/plain", "/secure" }) {
        EXPECT_FALSE(CHttpClient::Get(publicOnly(server.Url(QString::fromLatin1(path))), body).ok) << path;
        EXPECT_TRUE(body.isEmpty()) << path;
    }
    EXPECT_EQ(local.ConnectionCount(), 0) << "nothing is sent to a local address, not even a greeting";
}

TEST_F(HttpClientTest, APublicOnlyTransferTakesTheProxyOfTheEnvironmentButNotToAnAddressWrittenOut)
{
    ScopedEnvironment environment;
    environment.Set("https_proxy", server.Url().toLatin1()).Set("all_proxy", QByteArray());
    CHttpClient::Request request;
    request.reach = CHttpClient::Reach::PublicHttps;
    request.timeouts = { 3000, 3000, 5000 };
    QByteArray body;
    for (const char* url : { "https://10.1.2.3/a.png", "https://[fd00::1]/a.png", "https://localhost/a.png" }) {
        request.url = QString::fromLatin1(url);
        EXPECT_FALSE(CHttpClient::Get(request, body).ok) << url;
    }
    EXPECT_EQ(server.ConnectionCount(), 0) << "refused before the proxy is asked";

    // The proxy, on loopback like many, is asked to open the way; this one refuses.
    request.url = QStringLiteral("https://pictures.example/a.png");
    EXPECT_FALSE(CHttpClient::Get(request, body).ok);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "CONNECT");
    EXPECT_EQ(requests[0].target, "pictures.example:443");
}

TEST_F(HttpClientTest, ThrottledReadsRestAfterABurst)
{
    // Two pieces 300 ms apart: the second arrives after the 100 ms burst has ended, so a rest of 600 ms
    // follows it before the transfer may finish.
    server.Route("/pieces", [](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 8000\r\n\r\n");
        connection.Send(QByteArray(4000, 'a'));
        connection.Sleep(300);
        connection.Send(QByteArray(4000, 'b'));
    });
    CHttpClient::Request request = RequestFor("/pieces");
    request.blockSize = 4000;
    request.burstMs = 100;
    request.pauseMs = 600;
    QByteArray body;
    const auto start = Clock::now();
    const CHttpClient::Result result = CHttpClient::Get(request, body);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(body, QByteArray(4000, 'a') + QByteArray(4000, 'b'));
    EXPECT_GE(MsSince(start), 900);
}

} // namespace
