// What the desktop's media controls see of the window's player, read as a client on a session bus of
// the test's own.

#include "tests/support/SessionBus.h"
#include "tests/ui/mainwindow/MainWindowFixture.h"

#include "ui/desktop/MprisService.h"

#include "tests/support/IcecastServer.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>

using namespace testing_support;
using ui_testing::MainWindowFixture;

namespace
{

// Records the Metadata of every PropertiesChanged signal of the player interface.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    std::vector<QVariantMap> metadata;

public slots:
    void OnPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == QStringLiteral("org.mpris.MediaPlayer2.Player") && changed.contains("Metadata"))
            metadata.push_back(qdbus_cast<QVariantMap>(changed.value("Metadata")));
    }
};

class MainWindowMediaControlsTest : public MainWindowFixture
{
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        address = bus.Address();
        ASSERT_FALSE(address.isEmpty()) << "no session bus";
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }

    void TearDown() override
    {
        MainWindowFixture::TearDown();
        QDBusConnection::disconnectFromBus(kClient);
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    QDBusConnection Client() { return QDBusConnection::connectToBus(address, kClient); }

    // The player's Metadata property as a client reads it.
    QVariantMap Metadata()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            CMprisService::kServiceName, CMprisService::kObjectPath, "org.freedesktop.DBus.Properties", "Get");
        call << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Metadata");
        QDBusPendingCall pending = Client().asyncCall(call, 5000);
        EXPECT_TRUE(PumpUntil([&] { return pending.isFinished(); }, 6000));
        const QVariant value = pending.reply().arguments().value(0).value<QDBusVariant>().variant();
        return qdbus_cast<QVariantMap>(value);
    }

    static QString TrackId(const QVariantMap& metadata)
    {
        return metadata.value("mpris:trackid").value<QDBusObjectPath>().path();
    }

    static constexpr const char* kClient = "media-controls-client";
    testing_support::SessionBus bus;
    QString address;
};

TEST_F(MainWindowMediaControlsTest, TheSongIsTheTitleTheStationTheAlbumAndEachSongATrackOfItsOwn)
{
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/live"));
    ASSERT_TRUE(server.SetTitle("/live", "Artist A - Song One"));
    WriteSettings("<General><Autoplay>1</Autoplay><Check_updates>0</Check_updates><Station_URL>" + server.Url("/live")
        + "</Station_URL><Station_Title>Station A</Station_Title></General>"
          "<Advanced><Always_show_title>1</Always_show_title></Advanced>");
    Start();
    ASSERT_TRUE(PumpUntil([this] { return window->windowTitle() == "Station A - Artist A - Song One"; }, 20000))
        << window->windowTitle().toStdString();

    ChangeRecorder changes;
    ASSERT_TRUE(Client().connect(QString(), CMprisService::kObjectPath, "org.freedesktop.DBus.Properties",
        "PropertiesChanged", &changes, SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList))));
    const QVariantMap first = Metadata();
    EXPECT_EQ(first.value("xesam:title").toString(), "Artist A - Song One");
    EXPECT_EQ(first.value("xesam:album").toString(), "Station A");
    EXPECT_FALSE(TrackId(first).isEmpty());

    ASSERT_TRUE(server.SetTitle("/live", "Artist A - Song Two"));
    ASSERT_TRUE(PumpUntil(
        [&] {
            return !changes.metadata.empty()
                && changes.metadata.back().value("xesam:title").toString() == "Artist A - Song Two";
        },
        20000))
        << "the new song is signalled";
    const QVariantMap second = changes.metadata.back();
    EXPECT_EQ(second.value("xesam:album").toString(), "Station A");
    EXPECT_NE(TrackId(second), TrackId(first));
    EXPECT_EQ(TrackId(Metadata()), TrackId(second));

    window->Playback().OnStop();
    ASSERT_TRUE(PumpUntil([this] { return !window->Radio().IsPlaying(); }, 10000));
    PumpFor(200);
    EXPECT_FALSE(Metadata().contains("xesam:title")) << "nothing plays";
}

} // namespace

#include "MainWindowMediaControlsTest.moc"
