// The real program on a Wayland desktop without Xwayland.

#include "tests/ui/support/ProgramFixture.h"

#include "tests/support/IcecastServer.h"
#include "tests/support/WaylandCompositor.h"

#include <csignal>

using namespace testing_support;

namespace
{

class ProgramWaylandTest : public ui_testing::ProgramTest
{
protected:
    // The program's environment on that desktop, with its real fades.
    QProcessEnvironment WaylandEnvironment(const WaylandCompositor& desktop) const
    {
        QProcessEnvironment environment = Environment();
        environment.remove("DISPLAY");
        environment.remove("KAVRILUNE_FADE_MS");
        environment.insert("QT_QPA_PLATFORM", "wayland");
        environment.insert("WAYLAND_DISPLAY", desktop.SocketPath());
        return environment;
    }
    void Start(QProcess& process, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(Program("kavrilune"), arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }
    bool WaitForTitle(const WaylandCompositor& desktop, const QProcess& process, const QString& title, int ms)
    {
        return PumpUntil([&] { return desktop.WindowTitles(process.processId()).contains(title); }, ms);
    }
};

TEST_F(ProgramWaylandTest, ItShowsPlaysTakesAHandOverAndEndsOnSigtermWithoutOpacityWarnings)
{
    WaylandCompositor desktop;
    ASSERT_FALSE(desktop.SocketPath().isEmpty()) << "weston could not be started";
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/live"));
    ASSERT_TRUE(server.StartSource("/other"));
    WriteSettings("<Autoplay>1</Autoplay><Station_URL>" + server.Url("/live")
        + "</Station_URL><Station_Title>Loopback FM</Station_Title>");
    const QProcessEnvironment environment = WaylandEnvironment(desktop);

    Start(program, {}, environment);
    ASSERT_TRUE(WaitForTitle(desktop, program, "Loopback FM", 20000)) << "no window names the station";
    ASSERT_TRUE(server.SetTitle("/live", "Neon Harbour - Nightdrive"));
    EXPECT_TRUE(WaitForTitle(desktop, program, "Neon Harbour - Nightdrive", 20000)) << "the song never showed";

    Start(second, { "/reuse", "/play", "/source=" + server.Url("/other"), "/station=Harbour FM" }, environment);
    bool secondShown = false;
    ASSERT_TRUE(PumpUntil(
        [&] {
            secondShown = secondShown || !desktop.WindowTitles(second.processId()).isEmpty();
            return second.state() == QProcess::NotRunning;
        },
        15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(secondShown) << "the start that handed over showed a window";
    EXPECT_TRUE(WaitForTitle(desktop, program, "Harbour FM", 20000)) << "the running player did not take the line";

    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(PumpUntil([&] { return program.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const QString settings = QString::fromUtf8(ReadBytes(Program("Kavrilune.xml")));
    EXPECT_TRUE(settings.contains("<Station_Title>Harbour FM</Station_Title>")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("<Window_x>")) << "a shown window saves its place";

    const QString output = QString::fromUtf8(program.readAll() + second.readAll());
    EXPECT_FALSE(output.contains("opacity")) << output.toStdString();
    EXPECT_TRUE(QDir(Program("Log")).entryList(QDir::Files).isEmpty()) << "nothing was logged";
}

} // namespace
