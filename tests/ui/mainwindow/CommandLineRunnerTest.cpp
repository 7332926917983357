#include "ui/mainwindow/CommandLineRunner.h"

#include "core/InstanceLock.h"

#include <QCoreApplication>
#include <QStringList>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace
{

// A runner whose window is a log of what it was asked, in order.
class CommandLineRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static std::atomic<int> counter { 0 };
        CInstanceLock::SetSharedMemoryNameOverride(
            QStringLiteral("/kavrilune-runner-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter));
        lock = std::make_unique<CInstanceLock>();
        CCommandLineRunner::Hooks hooks;
        hooks.autoplay = [this] { return autoplay; };
        hooks.setDuration = [this](int seconds) { calls << QStringLiteral("duration %1").arg(seconds); };
        hooks.setRecordingName = [this](const QString& name) { calls << "name " + name; };
        hooks.setPendingRecord = [this](bool record) { calls << QStringLiteral("record %1").arg(record); };
        hooks.confirmStopRecording = [this] {
            calls << "confirm";
            return confirm;
        };
        hooks.play = [this](const QString& title, const QString& source) { calls << "play " + title + "|" + source; };
        hooks.mute = [this] { calls << "mute"; };
        hooks.armStart = [this](bool show) { calls << (show ? "arm show" : "arm hide"); };
        hooks.isShown = [this] { return shown; };
        hooks.bringToFront = [this] { calls << "front"; };
        hooks.endUnshown = [this] { calls << "end unshown"; };
        hooks.isClosing = [this] { return closing; };
        hooks.quit = [this] { calls << "quit"; };
        runner = std::make_unique<CCommandLineRunner>(*lock, std::move(hooks));
    }

    void TearDown() override
    {
        runner.reset();
        lock.reset();
        CInstanceLock::SetSharedMemoryNameOverride(QString());
    }

    // What the runner asked for a line handed over by another start.
    QStringList Run(const QString& line)
    {
        calls.clear();
        EXPECT_EQ(runner->ParseCommandLine(line), 1) << line.toStdString();
        return calls;
    }

    std::unique_ptr<CInstanceLock> lock;
    std::unique_ptr<CCommandLineRunner> runner;
    QStringList calls;
    bool autoplay = false;
    bool confirm = true;
    bool shown = false;
    bool closing = false;
};

TEST_F(CommandLineRunnerTest, AHandedOverLineAsksTheWindowForEachSwitchAndNeverArmsTheStart)
{
    EXPECT_EQ(Run(R"(/opt/kavrilune /record /source=http://127.0.0.1:9/x /station="T t" /duration=2 )"
                  R"(/filename=../../etc/passwd /mute)"),
        QStringList({ "duration 120", "name ..-..-etc-passwd", "record 1", "confirm", "play T t|http://127.0.0.1:9/x",
            "mute", "front" }))
        << "a hidden player is brought to the front for whoever handed the line over";

    // A declined question about the running recording plays nothing; the wish to record stays.
    confirm = false;
    EXPECT_EQ(Run("/opt/kavrilune /play /hidden"), QStringList({ "record 0", "confirm" }));
    confirm = true;

    // Nothing to play and no Autoplay: no question; Autoplay plays the current station.
    shown = true;
    EXPECT_EQ(Run("/opt/kavrilune /station=Ignored"), QStringList({ "record 0" }));
    autoplay = true;
    EXPECT_EQ(Run("/opt/kavrilune"), QStringList({ "record 0", "confirm", "play |" }));
}

TEST_F(CommandLineRunnerTest, TheOwnLineComesFromTheArgumentsAndArmsTheShowOrTheHide)
{
    // A folder named like a switch ends nothing; a value with blanks and quotes is read whole.
    runner->SetArguments({ "/home/me/TerminateAll/kavrilune", "/hidden", "/play", "/station=Radio \"Blue\" Night" });
    EXPECT_EQ(runner->Arguments().value(1), "/hidden");
    EXPECT_EQ(Run(QString()), QStringList({ "record 0", "confirm", "play Radio \"Blue\" Night|", "arm hide" }));
    EXPECT_EQ(runner->HandleTerminateAll(), 1);
    EXPECT_EQ(runner->ExitCode(), 0);

    runner->SetArguments({ "/opt/kavrilune", "/mute" });
    EXPECT_EQ(Run(QString()), QStringList({ "record 0", "mute", "arm show" }));
    EXPECT_FALSE(calls.contains("quit"));
}

TEST_F(CommandLineRunnerTest, ALineInTheSharedBlockIsCarriedOutOnlyWhileTheInstanceLives)
{
    EXPECT_EQ(runner->OnCmdLine(), 0) << "no line";
    ASSERT_TRUE(lock->SetCommandText("/opt/kavrilune /source=http://127.0.0.1:9/z /play /reuse"));
    EXPECT_EQ(runner->OnCmdLine(), 1);
    EXPECT_TRUE(calls.contains("play |http://127.0.0.1:9/z"));
    EXPECT_FALSE(calls.contains("end unshown")) << "a handed-over line is never handed on again";

    calls.clear();
    closing = true;
    EXPECT_EQ(runner->OnCmdLine(), 0) << "an ending instance leaves the line to its sender";
    EXPECT_TRUE(calls.isEmpty());
}

} // namespace
