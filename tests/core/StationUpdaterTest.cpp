#include "core/StationUpdater.h"
#include "core/HttpClient.h"
#include "core/NamedMutex.h"
#include "core/ServerHosts.h"
#include "core/WindowMessage.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestZipWriter.h"

#include <BuildInfo.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

using testing_support::HttpConnection;
using testing_support::LoopbackHttpServer;
using testing_support::ReadBytes;
using testing_support::TempProgramFolder;
using testing_support::TestZipItem;
using testing_support::TestZipWriter;
using testing_support::WriteBytes;

namespace
{

const QByteArray kAgent = QByteArray(KAVRILUNE_PRODUCT_NAME) + ' ' + KAVRILUNE_PRODUCT_VERSION;
const QByteArray kOldCatalogue = "old catalogue\r\n";
const QByteArray kNewCatalogue = "new catalogue\r\n";

using Owner = testing_support::MessageRecorder;
using testing_support::PumpFor;
using testing_support::PumpUntil;

// A zip archive holding the given items in order.
QByteArray MakeZip(const QString& folder, const std::vector<std::pair<QByteArray, QByteArray>>& items)
{
    const QString path = folder + QStringLiteral("/made.zip");
    {
        TestZipWriter writer(path);
        for (const auto& [name, data] : items) {
            TestZipItem item;
            item.name = name;
            item.data = data;
            writer.Add(item);
        }
        writer.Close();
    }
    const QByteArray bytes = ReadBytes(path);
    QFile::remove(path);
    return bytes;
}

// A program folder with a Stations folder holding the shipped catalogue, and the web host on loopback.
class StationUpdaterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
        ASSERT_TRUE(scratch.isValid());
        CNamedMutex::SetFolderOverride(scratch.path());
        SetWebHostOverride(server.Url());
        savedTimeouts = CHttpClient::DefaultTimeouts();
        ASSERT_TRUE(QDir().mkpath(Stations()));
        ASSERT_TRUE(WriteBytes(Stations() + "stations.kvd", kOldCatalogue));
        if (!QCoreApplication::instance())
            app = std::make_unique<QCoreApplication>(argc, nullptr);
    }

    void TearDown() override
    {
        CHttpClient::SetDefaultTimeouts(savedTimeouts);
        SetWebHostOverride(QString());
        CNamedMutex::SetFolderOverride(QString());
    }

    QString Stations() const { return base.FilePath(QStringLiteral("Stations/")); }

    QStringList StationFiles() const { return QDir(Stations()).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase); }
    // Files a failed step could have left behind under a name of its own.
    QStringList HiddenFiles() const
    {
        return QDir(Stations()).entryList(QStringList { ".*" }, QDir::Files | QDir::Hidden, QDir::Name);
    }

    QByteArray Manifest(const QByteArray& fileName, const QByteArray& archivePath = "/files/stations-b.zip") const
    {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<BaseFile>\r\n  <FileName>" + fileName
            + "</FileName>\r\n  <DownloadName>" + server.Url().toLatin1() + archivePath
            + "</DownloadName>\r\n</BaseFile>\r\n";
    }

    void ServeManifest(const QByteArray& text) { server.RouteFixed("/kvdbms/stations.kvdx", 200, "text/xml", text); }
    void ServeArchive(const QByteArray& zip)
    {
        server.RouteFixed("/files/stations-b.zip", 200, "application/zip", zip);
    }

    // Runs one update in the program folder on this thread.
    int UpdateNow(CStationUpdater& updater)
    {
        QDateTime now = QDateTime::currentDateTime(); // a fresh time: stores the folder, starts nothing
        updater.CheckForUpdates(nullptr, now, base.Path());
        return updater.Update();
    }

    // The shipped catalogue is still there, alone, and nothing was unpacked.
    void ExpectCatalogueUntouched()
    {
        EXPECT_EQ(ReadBytes(Stations() + "stations.kvd"), kOldCatalogue);
        for (const QString& name : StationFiles())
            EXPECT_FALSE(name.endsWith(QStringLiteral(".kvd"), Qt::CaseInsensitive) && name != "stations.kvd")
                << name.toStdString();
    }

    int argc = 0;
    std::unique_ptr<QCoreApplication> app;
    TempProgramFolder base;
    QTemporaryDir scratch;
    LoopbackHttpServer server;
    CHttpClient::Timeouts savedTimeouts;
    const int downloaded = RegisterWindowMessage("WM_KAVRILUNE_STATIONS_UPDATER_DOWNLOADED_");
};

TEST_F(StationUpdaterTest, ANewCatalogueReplacesTheOldFilesAndIsAnnounced)
{
    ASSERT_TRUE(WriteBytes(Stations() + "stations-a.kvd", kOldCatalogue));
    ASSERT_TRUE(WriteBytes(Stations() + "last.zip", "old archive"));
    ASSERT_TRUE(WriteBytes(Stations() + "mine.txt", "kept"));
    ServeManifest(Manifest("Stations-B.kvd"));
    ServeArchive(MakeZip(scratch.path(), { { "Stations-B.kvd", kNewCatalogue } }));

    CStationUpdater updater;
    Owner owner;
    QDateTime lastCheck = QDateTime::currentDateTime().addSecs(-432001);
    EXPECT_TRUE(updater.CheckForUpdates(&owner, lastCheck, base.Path()));
    EXPECT_LE(qAbs(lastCheck.secsTo(QDateTime::currentDateTime())), 5);
    ASSERT_TRUE(PumpUntil([&] { return !owner.received.empty(); }));
    EXPECT_EQ(owner.received, std::vector<int> { downloaded });

    EXPECT_EQ(StationFiles(), (QStringList { "mine.txt", "Stations-B.kvd", "stations-b.zip", "stations.kvdx" }));
    EXPECT_EQ(ReadBytes(Stations() + "Stations-B.kvd"), kNewCatalogue);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/kvdbms/stations.kvdx");
    EXPECT_EQ(requests[1].target, "/files/stations-b.zip");
    for (const auto& request : requests) {
        EXPECT_EQ(request.Header("user-agent"), kAgent);
        EXPECT_EQ(request.Header("cache-control"), "no-cache");
    }
}

TEST_F(StationUpdaterTest, AManifestNamingAPresentFileFetchesNothingMore)
{
    ASSERT_TRUE(WriteBytes(Stations() + "stations-b.kvd", kNewCatalogue));
    ASSERT_TRUE(WriteBytes(Stations() + "last.zip", "old archive"));
    ServeManifest(Manifest("STATIONS-B.KVD")); // names compare ignoring case
    CStationUpdater updater;
    EXPECT_EQ(UpdateNow(updater), 0);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(StationFiles(), (QStringList { "last.zip", "stations-b.kvd", "stations.kvd", "stations.kvdx" }));
}

TEST_F(StationUpdaterTest, BadManifestsLeaveTheCatalogueAlone)
{
    const QByteArray padding(1024 * 1024, ' ');
    const QByteArray full = Manifest("stations-b.kvd");
    const std::vector<std::pair<const char*, QByteArray>> manifests = {
        { "error page", QByteArray() },
        { "empty body", QByteArray() },
        { "1 MB manifest, values past the first 4000 bytes", padding + full },
        { "outer tag at the very start", full.mid(full.indexOf("<BaseFile>")) },
        { "no file name", Manifest("") },
        { "file name with a path", Manifest("../stations-b.kvd") },
        { "no download name", "\r\n<BaseFile><FileName>stations-b.kvd</FileName></BaseFile>" },
    };
    ServeArchive(MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } }));
    CStationUpdater updater;
    for (const auto& [what, text] : manifests) {
        SCOPED_TRACE(what);
        if (std::string(what) == "error page")
            server.RouteFixed("/kvdbms/stations.kvdx", 404, "text/html", "<html><body>Not found</body></html>");
        else
            ServeManifest(text);
        EXPECT_EQ(UpdateNow(updater), 0);
        ExpectCatalogueUntouched();
    }
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.path, "/kvdbms/stations.kvdx"); // no archive was ever fetched
    EXPECT_TRUE(base.LogEntries().isEmpty()); // answers that arrived are no transfer failures
}

TEST_F(StationUpdaterTest, AManifestNamingAFileTheCatalogueNeverLoadsFetchesAndDeletesNothing)
{
    ASSERT_TRUE(WriteBytes(Stations() + "last.zip", "old archive"));
    CStationUpdater updater;
    for (const QByteArray name : { "readme.txt", "stations-b.kvd.txt", "my stations.kvd", "stations-b.zip" }) {
        SCOPED_TRACE(name.toStdString());
        ServeManifest(Manifest(name));
        ServeArchive(MakeZip(scratch.path(), { { name, kNewCatalogue } }));
        EXPECT_EQ(UpdateNow(updater), 0);
        ExpectCatalogueUntouched();
        EXPECT_FALSE(QFile::exists(Stations() + name));
        EXPECT_EQ(ReadBytes(Stations() + "last.zip"), "old archive");
    }
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.path, "/kvdbms/stations.kvdx");

    // Any spelling of the catalogue's names is one.
    ServeManifest(Manifest("STATIONS_2.KVD"));
    ServeArchive(MakeZip(scratch.path(), { { "STATIONS_2.KVD", kNewCatalogue } }));
    EXPECT_EQ(UpdateNow(updater), 1);
    EXPECT_EQ(ReadBytes(Stations() + "STATIONS_2.KVD"), kNewCatalogue);
    EXPECT_FALSE(QFile::exists(Stations() + "stations.kvd"));
}

TEST_F(StationUpdaterTest, BadArchivesLeaveTheCatalogueAlone)
{
    const QByteArray zip = MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } });
    const std::vector<std::pair<const char*, QByteArray>> archives = {
        { "first item named otherwise",
            MakeZip(scratch.path(), { { "readme.txt", "hi" }, { "stations-b.kvd", kNewCatalogue } }) },
        { "not a zip", "<html><body>Not found</body></html>" },
        { "empty body", QByteArray() },
        { "half a zip", zip.left(zip.size() / 2) },
    };
    ServeManifest(Manifest("stations-b.kvd"));
    CStationUpdater updater;
    for (const auto& [what, bytes] : archives) {
        SCOPED_TRACE(what);
        ServeArchive(bytes);
        EXPECT_EQ(UpdateNow(updater), 0);
        ExpectCatalogueUntouched();
    }
}

TEST_F(StationUpdaterTest, ServersThatFailMidWayLeaveTheCatalogueAlone)
{
    CHttpClient::Timeouts timeouts;
    timeouts.stallMs = 500;
    timeouts.totalMs = 20000;
    CHttpClient::SetDefaultTimeouts(timeouts);
    const QByteArray zip = MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } });
    const QByteArray manifest = Manifest("stations-b.kvd");
    const auto cutShort = [](const QByteArray& body) {
        return [body](HttpConnection& connection) {
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size() * 2) + "\r\n\r\n");
            connection.Send(body);
        };
    };
    const auto silent = [](HttpConnection& connection) { connection.Sleep(60000); };
    CStationUpdater updater;

    // The manifest: whole values arrived, but the body was cut short.
    server.Route("/kvdbms/stations.kvdx", cutShort(manifest));
    ServeArchive(zip);
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();

    server.Route("/kvdbms/stations.kvdx", silent);
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();

    // The archive: a whole zip followed by a connection that closes early, and one that never answers.
    ServeManifest(manifest);
    server.Route("/files/stations-b.zip", cutShort(zip));
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();

    server.Route("/files/stations-b.zip", silent);
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();

    const QStringList log = base.LogEntries();
    ASSERT_EQ(log.size(), 4);
    for (const QString& entry : log)
        EXPECT_TRUE(entry.startsWith(QStringLiteral("StationUpdater, line 259: ") + server.Url()))
            << entry.toStdString();
}

TEST_F(StationUpdaterTest, AnArchiveThatFailsToUnpackLeavesNothingAndTheNextGoodOneIsUnpacked)
{
    const QString path = scratch.filePath("lying.zip");
    {
        TestZipWriter writer(path);
        ASSERT_TRUE(writer.AddLyingZeros("stations-b.kvd", 300000, 300000, 0x12345678)); // wrong checksum
        ASSERT_TRUE(writer.Close());
    }
    const QByteArray badChecksum = ReadBytes(path);
    {
        TestZipWriter writer(path);
        ASSERT_TRUE(writer.AddLyingZeros("stations-b.kvd", 1000, 300000, 0)); // data ends early
        ASSERT_TRUE(writer.Close());
    }
    const QByteArray endsEarly = ReadBytes(path);
    ServeManifest(Manifest("stations-b.kvd"));
    CStationUpdater updater;
    for (const QByteArray& archive : { badChecksum, endsEarly }) {
        ServeArchive(archive);
        EXPECT_EQ(UpdateNow(updater), 0);
        ExpectCatalogueUntouched();
        EXPECT_TRUE(HiddenFiles().isEmpty()) << HiddenFiles().join(' ').toStdString();
    }
    ServeArchive(MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } }));
    EXPECT_EQ(UpdateNow(updater), 1);
    EXPECT_EQ(StationFiles(), (QStringList { "stations-b.kvd", "stations-b.zip", "stations.kvdx" }));
    EXPECT_EQ(ReadBytes(Stations() + "stations-b.kvd"), kNewCatalogue);
}

TEST_F(StationUpdaterTest, NoDownloadReplacesAFileBeforeItArrivedWholeWithASuccessStatus)
{
    // An archive whose address ends like the catalogue's name never takes its place.
    const QByteArray oldManifest = Manifest("stations-b.kvd", "/files/stations.kvd");
    ServeManifest(oldManifest);
    CStationUpdater updater;
    server.RouteFixed("/files/stations.kvd", 404, "text/html", "<html><body>Not found</body></html>");
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();
    server.RouteFixed("/files/stations.kvd", 200, "application/zip",
        MakeZip(scratch.path(), { { "readme.txt", "first item named otherwise" } }));
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();

    // An error page or a body cut short in place of the manifest keeps the last one.
    server.RouteFixed("/kvdbms/stations.kvdx", 500, "text/html", "<html><body>Server error</body></html>");
    EXPECT_EQ(UpdateNow(updater), 0);
    server.Route("/kvdbms/stations.kvdx", [](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<BaseFile>");
    });
    EXPECT_EQ(UpdateNow(updater), 0);
    EXPECT_EQ(ReadBytes(Stations() + "stations.kvdx"), oldManifest);
    EXPECT_TRUE(HiddenFiles().isEmpty()) << HiddenFiles().join(' ').toStdString();

    server.RouteFixed("/files/stations.kvd", 200, "application/zip",
        MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } }));
    ServeManifest(oldManifest);
    EXPECT_EQ(UpdateNow(updater), 1);
    EXPECT_EQ(StationFiles(), (QStringList { "stations-b.kvd", "stations.kvd.zip", "stations.kvdx" }));
    EXPECT_EQ(base.LogEntries().size(), 1) << "only the body cut short is a transfer failure";
}

TEST_F(StationUpdaterTest, AManifestThatStartsWithAByteOrderMarkIsRead)
{
    const QByteArray manifest = Manifest("stations-b.kvd");
    ServeManifest("\xEF\xBB\xBF" + manifest.mid(manifest.indexOf("<BaseFile>")));
    ServeArchive(MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } }));
    CStationUpdater updater;
    EXPECT_EQ(UpdateNow(updater), 1);
    EXPECT_EQ(ReadBytes(Stations() + "stations-b.kvd"), kNewCatalogue);
}

TEST_F(StationUpdaterTest, AnswersPastTheSizeLimitsAreRefused)
{
    ServeArchive(MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } }));
    CStationUpdater updater;
    // The values sit in the first bytes, but no manifest is 100 KiB long.
    ServeManifest(Manifest("stations-b.kvd") + QByteArray(100 << 10, ' '));
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();
    EXPECT_FALSE(QFileInfo::exists(Stations() + "stations.kvdx"));

    // An archive that announces more than 64 MiB is refused before its body.
    ServeManifest(Manifest("stations-b.kvd"));
    server.Route("/files/stations-b.zip", [](HttpConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number((64 << 20) + 1) + "\r\n\r\nPK");
        connection.Sleep(10000);
    });
    EXPECT_EQ(UpdateNow(updater), 0);
    ExpectCatalogueUntouched();
    EXPECT_TRUE(HiddenFiles().isEmpty());
    EXPECT_TRUE(base.LogEntries().isEmpty()) << "answers that arrived are no transfer failures";
}

TEST_F(StationUpdaterTest, AFullDiskKeepsTheLastManifestAndCatalogue)
{
    testing_support::ScratchMount disk(Stations(), 64 << 10);
    if (!disk.IsMounted())
        GTEST_SKIP() << "needs root to mount a scratch file system";
    const QByteArray oldManifest = Manifest("stations-a.kvd");
    ASSERT_TRUE(WriteBytes(Stations() + "stations.kvd", kOldCatalogue));
    ASSERT_TRUE(WriteBytes(Stations() + "stations.kvdx", oldManifest));
    {
        QFile filler(Stations() + "filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) { }
    }
    ServeManifest(Manifest("stations-b.kvd") + QByteArray(30 << 10, ' '));
    ServeArchive(MakeZip(scratch.path(), { { "stations-b.kvd", kNewCatalogue } }));
    CStationUpdater updater;
    EXPECT_EQ(UpdateNow(updater), 0);
    EXPECT_EQ(ReadBytes(Stations() + "stations.kvdx"), oldManifest);
    ExpectCatalogueUntouched();
    EXPECT_TRUE(HiddenFiles().isEmpty());
    const QStringList log = base.LogEntries();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith("StationUpdater, line 259: ")) << log[0].toStdString();
}

TEST_F(StationUpdaterTest, ChecksGoOutOnlyAfterFiveDaysAndNotWhileTheLockIsHeldElsewhere)
{
    ServeManifest(Manifest("stations.kvd")); // current: nothing more is fetched
    CStationUpdater updater;
    Owner owner;
    const QDateTime now = QDateTime::currentDateTime();

    QDateTime exactly = now.addSecs(-432000);
    EXPECT_FALSE(updater.CheckForUpdates(&owner, exactly, base.Path()));
    EXPECT_EQ(exactly, now.addSecs(-432000));
    QDateTime recent = now.addSecs(-3);
    EXPECT_TRUE(updater.CheckForUpdates(&owner, recent, base.Path()));
    EXPECT_EQ(recent, now.addSecs(-3));

    CNamedMutex other(QStringLiteral("KAVRILUNE_STATIONS_UPDATE"));
    ASSERT_TRUE(other.TryLock());
    QDateTime old = now.addSecs(-432001);
    EXPECT_FALSE(updater.CheckForUpdates(&owner, old, base.Path()));
    EXPECT_EQ(old, now.addSecs(-432001));
    other.Unlock();

    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(updater.CheckForUpdates(&owner, old, base.Path()));
    ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }));
    EXPECT_TRUE(other.TryLock()); // not held while the update runs
    PumpFor(300);
    EXPECT_TRUE(owner.received.empty()); // nothing new, nothing announced
}

TEST_F(StationUpdaterTest, DestroyingTheUpdaterStopsARunningDownload)
{
    server.Route("/kvdbms/stations.kvdx", [](HttpConnection& connection) { connection.Sleep(60000); });
    Owner owner;
    QElapsedTimer timer;
    {
        CStationUpdater updater;
        QDateTime old = QDateTime::currentDateTime().addDays(-6);
        ASSERT_TRUE(updater.CheckForUpdates(&owner, old, base.Path()));
        ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }));
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 10000);
    ExpectCatalogueUntouched();
}

TEST(StationUpdaterManifestTest, ValuesFollowTheInnerTagUpToTheNextClosingTag)
{
    const QString text = QStringLiteral("\n<BaseFile><FileName> a b.kvd </FileName><DownloadName>http://h/x.zip"
                                        "</DownloadName></BaseFile>");
    EXPECT_EQ(CStationUpdater::GetManifestValue(text, "<BaseFile>", "<FileName>"), " a b.kvd ");
    EXPECT_EQ(CStationUpdater::GetManifestValue(text, "<BaseFile>", "<DownloadName>"), "http://h/x.zip");
    EXPECT_TRUE(CStationUpdater::GetManifestValue(text.mid(1), "<BaseFile>", "<FileName>").isEmpty());
    EXPECT_TRUE(CStationUpdater::GetManifestValue(text, "<BaseFile>", "<Other>").isEmpty());
    EXPECT_TRUE(CStationUpdater::GetManifestValue("x<BaseFile><FileName>open", "<BaseFile>", "<FileName>").isEmpty());
    // An inner tag before the outer one does not count.
    EXPECT_TRUE(
        CStationUpdater::GetManifestValue("x<FileName>a</FileName><BaseFile>", "<BaseFile>", "<FileName>").isEmpty());
}

} // namespace
