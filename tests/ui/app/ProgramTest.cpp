// The real program, started from a temporary program folder on a virtual X display.

#include "tests/ui/support/ProgramFixture.h"

#include "tests/support/IcecastServer.h"

#include <QDir>

using namespace testing_support;

namespace
{

using ui_testing::ProgramTest;
using ui_testing::SlotHolder;

TEST_F(ProgramTest, ARealStartPlaysALoopbackStationShowsItsTitlesAndEndsWhenAskedTo)
{
    IcecastServer server;
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.StartSource("/live"));
    WriteSettings("<Autoplay>1</Autoplay><Station_URL>" + server.Url("/live")
        + "</Station_URL><Station_Title>Loopback FM</Station_Title>");
    StartProgram();

    EXPECT_TRUE(WaitForTitle("Loopback FM", 20000)) << "the caption names the station while no song title is known";
    ASSERT_TRUE(server.SetTitle("/live", "Neon Harbour - Nightdrive"));
    EXPECT_TRUE(WaitForTitle("Neon Harbour - Nightdrive", 20000)) << "the caption shows the song";

    const auto answer
        = CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, 1);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const QString settings = QString::fromUtf8(ReadBytes(Program("Kavrilune.xml")));
    EXPECT_TRUE(settings.contains("<Station_Title>Loopback FM</Station_Title>"));
    EXPECT_TRUE(QDir(Program("Log")).entryList(QDir::Files).isEmpty()) << "nothing was logged";
}

TEST_F(ProgramTest, AThirdStartWithBothSlotsHeldEndsWithoutShowingAWindow)
{
    SlotHolder first(shm, locks.path());
    SlotHolder second(shm, locks.path());
    ASSERT_TRUE(first.Acquire());
    ASSERT_TRUE(second.Acquire());
    WriteSettings("<Autoplay>0</Autoplay>");
    StartProgram();

    bool shown = false;
    const bool ended = PumpUntil(
        [&] {
            if (!Windows({ "--pid", QString::number(program.processId()) }).isEmpty())
                shown = true;
            return program.state() == QProcess::NotRunning;
        },
        15000);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(shown);
    EXPECT_EQ(program.exitCode(), 0);
    CInstanceLock reader;
    EXPECT_EQ(qint64(reader.GetRunningInstanceWindow()), second.Pid()) << "the holders' records are untouched";
    const QByteArray block = ReadBytes("/dev/shm" + shm);
    ASSERT_GE(block.size(), 14);
    auto field = [&block](int offset) {
        return qint64(uint8_t(block[offset])) | qint64(uint8_t(block[offset + 1])) << 8
            | qint64(uint8_t(block[offset + 2])) << 16 | qint64(uint8_t(block[offset + 3])) << 24;
    };
    EXPECT_EQ(field(6), first.Pid());
    EXPECT_EQ(field(10), second.Pid());
    EXPECT_FALSE(ReadBytes(Program("Kavrilune.xml")).contains("<Window_x>")) << "the unseen start saved nothing";
}

TEST_F(ProgramTest, AnEmptyOrMalformedSettingsFileGivesWayAndLaterChangesAreKept)
{
    const QByteArray malformed = "<General><Volume>12</Volume>";
    for (const QByteArray& bytes : { QByteArray(" \n"), malformed }) {
        ASSERT_TRUE(WriteBytes(Program("Kavrilune.xml"), bytes));
        const QString title = bytes == malformed ? "After Malformed" : "After Empty";
        StartProgram({ "/play", "/source=http://127.0.0.1:9/s", "/station=" + title });
        ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
        ASSERT_TRUE(program.waitForFinished(10000));

        // A new start reads the change and keeps it.
        StartProgram();
        ASSERT_FALSE(WaitForWindow(program, 20000).isEmpty());
        CInstanceMessenger::SendInstanceMessage(program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_TRUE(ReadBytes(Program("Kavrilune.xml")).contains("<Station_Title>" + title.toUtf8() + "</"))
            << title.toStdString();
    }
    EXPECT_EQ(ReadBytes(Program("Kavrilune.xml.broken")), malformed) << "the malformed bytes are kept aside";
}

} // namespace
