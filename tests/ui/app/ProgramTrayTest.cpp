// The real program's tray icon with a status-notifier host and a notification server of the test's own
// on a session bus of its own: what the desktop gets to show.

#include "tests/ui/support/ProgramOnBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>

using namespace testing_support;

namespace
{

using ui_testing::ProgramOnBusTest;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");

// The desktop's side: a status-notifier watcher with a host, and a notification server that reads
// markup, recording the items registered and the notifications' texts.
class DesktopServices : public QDBusVirtualObject
{
public:
    QStringList items;
    QStringList bodies;
    int hostQueries = 0; // whether a host is registered: what a program asks to learn of a tray

    QString introspect(const QString& path) const override
    {
        if (path == QStringLiteral("/StatusNotifierWatcher"))
            return QStringLiteral(
                "<interface name=\"org.kde.StatusNotifierWatcher\">"
                "<method name=\"RegisterStatusNotifierItem\"><arg type=\"s\" direction=\"in\"/></method>"
                "<method name=\"RegisterStatusNotifierHost\"><arg type=\"s\" direction=\"in\"/></method>"
                "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
                "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
                "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
                "</interface>");
        return QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        QVariantList answer;
        if (message.interface() == QStringLiteral("org.freedesktop.DBus.Properties") && member == "Get") {
            const QString name = message.arguments().value(1).toString();
            QVariant value;
            hostQueries += name == "IsStatusNotifierHostRegistered" ? 1 : 0;
            if (name == "IsStatusNotifierHostRegistered")
                value = true;
            else if (name == "ProtocolVersion")
                value = 0;
            else if (name == "RegisteredStatusNotifierItems")
                value = items;
            else
                return false;
            answer << QVariant::fromValue(QDBusVariant(value));
        } else if (member == "RegisterStatusNotifierItem") {
            items << message.arguments().value(0).toString();
        } else if (member == "RegisterStatusNotifierHost" || member == "CloseNotification") {
        } else if (member == "Notify") {
            bodies << message.arguments().value(4).toString();
            answer << QVariant::fromValue(uint(bodies.size()));
        } else if (member == "GetCapabilities") {
            answer << QStringList { "body", "body-markup", "actions" };
        } else if (member == "GetServerInformation") {
            answer << "desktop"
                   << "test"
                   << "1"
                   << "1.2";
        } else {
            return false; // introspection and the rest: the connection's own answers
        }
        connection.send(message.createReply(answer));
        return true;
    }
};

TEST_F(ProgramOnBusTest, SongTitlesReachTheDesktopsNotificationsAsTextNotMarkup)
{
    ASSERT_NO_FATAL_FAILURE(StartStationAndBus());
    {
        QDBusConnection desktop = QDBusConnection::connectToBus(bus->Address(), "desktop");
        DesktopServices services;
        ASSERT_TRUE(desktop.registerVirtualObject("/StatusNotifierWatcher", &services));
        ASSERT_TRUE(desktop.registerVirtualObject("/org/freedesktop/Notifications", &services));
        ASSERT_TRUE(desktop.registerService(kWatcher));
        ASSERT_TRUE(desktop.registerService(kNotifications));

        QProcessEnvironment environment = busEnvironment;
        environment.remove("QT_QPA_PLATFORMTHEME");
        environment.remove("XDG_CURRENT_DESKTOP");
        ASSERT_NO_FATAL_FAILURE(StartPlaying("Loopback FM", environment));
        ASSERT_TRUE(PumpUntil([&] { return !services.items.isEmpty(); }, 10000)) << "the icon joins the host";

        const QString title = QStringLiteral("<b>Bold</b> & <img src=\"/etc/hosts\"> Song");
        ASSERT_TRUE(station->SetTitle(kLive, title));
        ASSERT_TRUE(PumpUntil([&] { return !services.bodies.isEmpty(); }, 20000)) << "a new song is announced";
        EXPECT_EQ(services.bodies.back(), ("Loopback FM\n" + title).toHtmlEscaped());

        // Each query blocks the program on the bus: new songs must not ask again.
        const int queries = services.hostQueries;
        for (int song = 1; song <= 3; ++song) {
            const QString next = QStringLiteral("Song %1").arg(song);
            ASSERT_TRUE(station->SetTitle(kLive, next));
            ASSERT_TRUE(PumpUntil([&] { return services.bodies.back().endsWith(next); }, 20000));
        }
        EXPECT_EQ(services.hostQueries, queries) << "asked whether a tray exists at every song";

        // Asked to end while this thread goes on answering for the desktop.
        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 1000);
        const bool ended = PumpUntil([this] { return program.state() == QProcess::NotRunning; }, 15000);
        EXPECT_TRUE(ended) << "the program ends when told to";
        if (!ended) {
            program.kill();
            program.waitForFinished(5000);
        }
        desktop.unregisterObject("/StatusNotifierWatcher");
        desktop.unregisterObject("/org/freedesktop/Notifications");
    }
    QDBusConnection::disconnectFromBus("desktop");
}

} // namespace
