// The real program, started from a temporary program folder on a virtual X display.

#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"

#include "tests/support/IcecastServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/SkinTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

using namespace testing_support;

namespace
{

// An X server of our own for one test.
class VirtualDisplay
{
public:
    VirtualDisplay()
    {
        // The server picks a free display itself and writes its number to standard output.
        m_server.start("Xvfb", { "-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp" });
        QByteArray number;
        PumpUntil(
            [&] {
                number += m_server.readAllStandardOutput();
                return number.contains('\n') || m_server.state() == QProcess::NotRunning;
            },
            20000);
        if (number.trimmed().toInt() > 0 || number.trimmed() == "0")
            m_name = ":" + QString::fromLatin1(number.trimmed());
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    QString Name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

// A stand-in instance that holds a slot.
class SlotHolder
{
public:
    SlotHolder(const QString& sharedMemory, const QString& folder)
    {
        m_process.start(BinaryDir() + "/tests/kavrilune_instance_helper", { sharedMemory, folder });
        const QString ready = ReadLine();
        m_pid = ready.startsWith("ready ") ? ready.mid(6).toLongLong() : 0;
    }
    ~SlotHolder()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool Acquire()
    {
        m_process.write("acquire-free\n");
        return ReadLine() == "ok 1";
    }
    qint64 Pid() const { return m_pid; }

private:
    QString ReadLine()
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && timer.elapsed() < 10000)
            m_process.waitForReadyRead(100);
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    QProcess m_process;
    qint64 m_pid = 0;
};

class ProgramTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        ASSERT_FALSE(display.Name().isEmpty()) << "Xvfb could not be started";
        const QString staged = skin_test::StagedProgramFolder();
        ASSERT_TRUE(QFile::copy(staged + "kavrilune", Program("kavrilune")));
        for (const char* skin : { "Standard.kvn", "Light.kvn" })
            ASSERT_TRUE(skin_test::CopyStagedSkin(skin, folder.path() + "/"));
        QDir().mkpath(Program("icons"));
        for (const QString& name : QDir(staged + "icons").entryList(QDir::Files))
            QFile::copy(staged + "icons/" + name, Program("icons/" + name));
        shm = QStringLiteral("/kavrilune-program-test-%1").arg(getpid());
        CInstanceLock::SetSharedMemoryNameOverride(shm);
        CNamedMutex::SetFolderOverride(locks.path());
        CInstanceMessenger::SetFolderOverride(locks.path());
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
        shm_unlink(shm.toUtf8().constData());
        CInstanceLock::SetSharedMemoryNameOverride({});
        CNamedMutex::SetFolderOverride({});
        CInstanceMessenger::SetFolderOverride({});
    }

    QString Program(const QString& name) const { return folder.path() + "/" + name; }
    void WriteSettings(const QString& general)
    {
        ASSERT_TRUE(skin_test::WriteSkinFile(
            Program("Kavrilune.xml"), "<General><Check_updates>0</Check_updates>" + general + "</General>"));
    }

    void StartProgram()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display.Name());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("KAVRILUNE_SHARED_MEMORY", shm);
        environment.insert("KAVRILUNE_LOCK_FOLDER", locks.path());
        environment.insert("KAVRILUNE_SOCKET_FOLDER", locks.path());
        environment.insert("KAVRILUNE_FADE_MS", "0");
        environment.insert("KAVRILUNE_WEB_HOST", "http://127.0.0.1:9");
        environment.insert("KAVRILUNE_COUNTER_HOST", "http://127.0.0.1:9");
        environment.insert("KAVRILUNE_IMAGE_HOST", "http://127.0.0.1:9");
        environment.insert("XDG_DATA_HOME", home.path() + "/data");
        environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
        environment.insert("SDL_AUDIODRIVER", "dummy");
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(Program("kavrilune"), {});
        ASSERT_TRUE(program.waitForStarted(5000));
    }

    // Ids of the visible windows matching xdotool search arguments on our display.
    QStringList Windows(const QStringList& arguments)
    {
        QProcess search;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display.Name());
        search.setProcessEnvironment(environment);
        search.start("xdotool", QStringList { "search", "--onlyvisible" } + arguments);
        search.waitForFinished(5000);
        return QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    bool WaitForTitle(const QString& title, int ms)
    {
        return PumpUntil(
            [&] {
                return !Windows({ "--name", "^" + QRegularExpression::escape(title) + "$" }).isEmpty();
            },
            ms);
    }

    VirtualDisplay display;
    QTemporaryDir folder;
    QTemporaryDir locks;
    QTemporaryDir home;
    QString shm;
    QProcess program;
};

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
}

} // namespace
