// The real program in a session that has no session bus.

#include "tests/ui/support/ProgramFixture.h"

#include "tests/support/IcecastServer.h"

#include <QDir>
#include <QFile>

using namespace testing_support;

namespace
{

using ui_testing::ProgramTest;

// Nothing inside the program (its tray icon, accessibility, the sound library) starts a bus of its own:
// the bus library would run its launcher, looked for on the PATH, from a forked copy of the program.
TEST_F(ProgramTest, WithoutASessionBusThePlayingProgramLaunchesNoBus)
{
    if (QFile::exists("/usr/bin/dbus-launch"))
        GTEST_SKIP() << "the bus library would run the installed launcher, not the stand-in on the PATH";
    const QString bin = home.path() + "/bin";
    const QString launches = home.path() + "/launches";
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(WriteBytes(bin + "/dbus-launch", "#!/bin/sh\necho \"$*\" >>'" + launches.toUtf8() + "'\nexit 1\n"));
    ASSERT_TRUE(QFile::setPermissions(bin + "/dbus-launch", QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QProcessEnvironment environment = Environment();
    ASSERT_FALSE(environment.contains("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert("PATH", bin + ":" + environment.value("PATH"));

    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/live"));
    ASSERT_TRUE(server.SetTitle("/live", "Quiet Line - No Bus"));
    Launch(program, { "/play", "/source=" + server.Url("/live"), "/station=Loopback FM" }, environment);
    EXPECT_TRUE(WaitForTitle("Quiet Line - No Bus", 20000)) << "the window is up and the sound plays";
    CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(launches)) << "launched: " << ReadBytes(launches).toStdString();
}

} // namespace
