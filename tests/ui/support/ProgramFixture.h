#pragma once

// The real program, started from a temporary program folder on a virtual X display of its own.

#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"

#include "tests/support/InstanceHelperProcess.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestPaths.h"
#include "tests/support/VirtualDisplay.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

namespace ui_testing
{

// An X server of our own for one test.
using testing_support::VirtualDisplay;

// A stand-in instance that holds a slot.
class SlotHolder : public testing_support::InstanceHelperProcess
{
public:
    using InstanceHelperProcess::InstanceHelperProcess;
    bool Acquire() { return Command("acquire-free") == "1"; }
    qint64 Pid() const { return pid(); }
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
        // A session of its own: nothing reaches the user's session bus.
        ASSERT_TRUE(QDir().mkpath(home.path() + "/runtime"));
        QFile::setPermissions(
            home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        shm = QStringLiteral("/kavrilune-program-test-%1").arg(getpid());
        CInstanceLock::SetSharedMemoryNameOverride(shm);
        CNamedMutex::SetFolderOverride(locks.path());
        CInstanceMessenger::SetFolderOverride(locks.path());
    }
    void TearDown() override
    {
        for (QProcess* process : { &program, &second, &third }) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
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

    // What every start of the program gets: this test's display, instance names, folders and hosts.
    QProcessEnvironment Environment() const
    {
        return testing_support::ProgramEnvironment(display.Name(), shm, locks.path(), home.path());
    }

    void Launch(QProcess& process, const QStringList& arguments = {},
        const QProcessEnvironment& environment = QProcessEnvironment())
    {
        process.setProcessEnvironment(environment.isEmpty() ? Environment() : environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(Program("kavrilune"), arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }
    void StartProgram(const QStringList& arguments = {}) { Launch(program, arguments); }

    // A tool run on our display; its standard output.
    QString RunTool(const QString& tool, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment.isEmpty() ? Environment() : environment);
        process.start(tool, arguments);
        process.waitForFinished(10000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // The window's picture as the X server shows it; null when it cannot be had.
    QImage Grab(const QString& window)
    {
        QProcess grab;
        grab.setProcessEnvironment(Environment());
        const QString path = home.path() + "/grab.png";
        QFile::remove(path);
        grab.start(testing_support::BinaryDir() + "/tests/kavrilune_window_grab", { window, path });
        grab.waitForFinished(10000);
        return QImage(path);
    }

    // Ids of the visible windows matching xdotool search arguments on our display.
    QStringList Windows(const QStringList& arguments)
    {
        return RunTool("xdotool", QStringList { "search", "--onlyvisible" } + arguments)
            .split('\n', Qt::SkipEmptyParts);
    }
    bool WaitForTitle(const QString& title, int ms)
    {
        return testing_support::PumpUntil(
            [&] {
                return !Windows({ "--name", "^" + QRegularExpression::escape(title) + "$" }).isEmpty();
            },
            ms);
    }
    // The process's window once it shows; empty when it does not within ms.
    QString WaitForWindow(const QProcess& process, int ms)
    {
        QString window;
        testing_support::PumpUntil(
            [&] {
                window = Windows({ "--pid", QString::number(process.processId()) }).value(0);
                return !window.isEmpty();
            },
            ms);
        return window;
    }
    // Waits until the process ends, noting whether it ever showed a window meanwhile.
    bool WaitForEnd(QProcess& process, int ms, bool* shown = nullptr)
    {
        const qint64 pid = process.processId();
        return testing_support::PumpUntil(
            [&] {
                if (shown && !Windows({ "--pid", QString::number(pid) }).isEmpty())
                    *shown = true;
                return process.state() == QProcess::NotRunning;
            },
            ms);
    }

    VirtualDisplay display;
    QTemporaryDir folder;
    QTemporaryDir locks;
    QTemporaryDir home;
    QString shm;
    QProcess program;
    QProcess second;
    QProcess third;
};

} // namespace ui_testing
