#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"
#include "tests/support/InstanceHelperProcess.h"
#include "tests/support/TestPaths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using Instance = testing_support::InstanceHelperProcess;

class InstanceLockTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "kavrilune_core_tests";
        static char* argv[] = { name, nullptr };
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void SetUp() override
    {
        static std::atomic<int> counter;
        ASSERT_TRUE(folder.isValid());
        shmName = QStringLiteral("/kavrilune-test-%1-%2").arg(getpid()).arg(counter++);
        CInstanceLock::SetSharedMemoryNameOverride(shmName);
        CNamedMutex::SetFolderOverride(folder.path());
        CInstanceMessenger::SetFolderOverride(folder.path());
    }
    void TearDown() override
    {
        shm_unlink(shmName.toUtf8().constData());
        CInstanceLock::SetSharedMemoryNameOverride({});
        CNamedMutex::SetFolderOverride({});
        CInstanceMessenger::SetFolderOverride({});
    }

    std::unique_ptr<Instance> Start()
    {
        auto instance = std::make_unique<Instance>(shmName, folder.path());
        EXPECT_GT(instance->pid(), 0);
        return instance;
    }
    // The raw bytes of the shared block.
    QByteArray Block() const { return testing_support::ReadBytes("/dev/shm" + shmName); }
    static uint32_t Field(const QByteArray& block, int offset)
    {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | uint8_t(block[offset + i]);
        return value;
    }

    QTemporaryDir folder;
    QString shmName;
};

TEST_F(InstanceLockTest, TwoInstancesTakeSlotsOneAndTwoAndAThirdFindsNone)
{
    auto first = Start();
    auto second = Start();
    auto third = Start();
    EXPECT_TRUE(first->CommandTrue("acquire-free"));
    EXPECT_TRUE(second->CommandTrue("acquire-free"));
    EXPECT_FALSE(third->CommandTrue("acquire-free"));
    EXPECT_FALSE(third->CommandTrue("locked"));

    // The block: mark 11, slot 0 empty, the two windows, reserved bytes zero; the third's failed tries
    // cleared nothing.
    const QByteArray block = Block();
    ASSERT_EQ(block.size(), CInstanceLock::kBlockSize);
    EXPECT_EQ(block.left(2), QByteArray("\x0B\x00", 2));
    EXPECT_EQ(Field(block, 2), 0u);
    EXPECT_EQ(Field(block, 6), uint32_t(first->pid()));
    EXPECT_EQ(Field(block, 10), uint32_t(second->pid()));
    EXPECT_EQ(block.mid(14, 32), QByteArray(32, '\0'));
    EXPECT_EQ(third->Command("running"), QString::number(second->pid()));

    // Releasing clears only the releasing instance's field.
    second->Command("release");
    EXPECT_EQ(Field(Block(), 10), 0u);
    EXPECT_EQ(third->Command("running"), QString::number(first->pid()));
    EXPECT_TRUE(third->CommandTrue("acquire-free"));
    EXPECT_EQ(Field(Block(), 10), uint32_t(third->pid()));
}

TEST_F(InstanceLockTest, AnInstanceKilledWhileHoldingSlotOneFreesIt)
{
    auto first = Start();
    auto second = Start();
    ASSERT_TRUE(first->CommandTrue("acquire-free"));
    ASSERT_TRUE(second->CommandTrue("acquire-free"));
    const qint64 deadPid = first->pid();
    first->Kill();
    EXPECT_EQ(Field(Block(), 6), uint32_t(deadPid)); // the stale window stays until the slot is taken again

    auto next = Start();
    EXPECT_TRUE(next->CommandTrue("acquire-free"));
    EXPECT_EQ(Field(Block(), 6), uint32_t(next->pid()));
    EXPECT_EQ(next->Command("running"), QString::number(second->pid()));
}

TEST_F(InstanceLockTest, AKilledInstanceIsNoTargetAndItsFieldIsCleared)
{
    auto first = Start();
    auto second = Start();
    ASSERT_TRUE(first->CommandTrue("acquire-free"));
    ASSERT_TRUE(second->CommandTrue("acquire-free"));
    const qint64 deadPid = second->pid();
    second->Kill();
    EXPECT_EQ(Field(Block(), 10), uint32_t(deadPid));

    // Slot 2's lock can be taken: the hand-over goes to the instance in slot 1.
    auto next = Start();
    EXPECT_EQ(next->Command("running"), QString::number(first->pid()));
    EXPECT_EQ(Field(Block(), 10), 0u) << "the dead instance's field is cleared";
    EXPECT_EQ(Field(Block(), 6), uint32_t(first->pid()));

    // With both gone there is no target at all.
    first->Kill();
    CInstanceLock lock;
    EXPECT_EQ(lock.GetRunningInstanceWindow(), 0u);
    EXPECT_EQ(Field(Block(), 6), 0u);

    // A slot held by this very process still counts as held.
    ASSERT_TRUE(lock.AcquireFreeSlot(4242));
    EXPECT_EQ(lock.GetRunningInstanceWindow(), 4242u);
}

TEST_F(InstanceLockTest, EachUserHasABlockOfItsOwn)
{
    CInstanceLock::SetSharedMemoryNameOverride({});
    EXPECT_EQ(CInstanceLock::SharedMemoryName(), QStringLiteral("/Kavrilune-%1").arg(geteuid()));
}

TEST_F(InstanceLockTest, OnlyTheHandOverAndTerminateMessagesCrossProcesses)
{
    auto instance = Start();
    ASSERT_TRUE(instance->CommandTrue("listen"));
    // The drop messages carry pointers within the window's process; no other message is reachable
    // either. The connection is dropped unanswered.
    for (const char* name : { "WM_KAVRILUNE_DROP_TEXT", "WM_KAVRILUNE_DROP_FILE", "WM_KAVRILUNE_LOAD_SKIN", "X" })
        EXPECT_EQ(CInstanceMessenger::SendInstanceMessage(instance->pid(), name, 0, 0x41414141, 2000), std::nullopt)
            << name;
    CInstanceLock lock;
    ASSERT_TRUE(lock.SetCommandText("kavrilune /play"));
    EXPECT_EQ(
        CInstanceMessenger::SendInstanceMessage(instance->pid(), CInstanceMessenger::kCommandLineMessage, 0, 0, 5000),
        1);
    EXPECT_EQ(
        CInstanceMessenger::SendInstanceMessage(instance->pid(), CInstanceMessenger::kTerminateMessage, 0, 7, 5000), 1);
    EXPECT_EQ(instance->Command("last"), "WM_KAVRILUNE_TERMINATE 7");
}

// Lock files without a runtime folder, or with one that others may enter.
class NamedMutexTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        CNamedMutex::SetFolderOverride({});
        name = QStringLiteral("kavrilune-test-%1").arg(getpid());
    }
    void TearDown() override
    {
        CNamedMutex::SetFolderOverride({});
        qunsetenv("XDG_RUNTIME_DIR");
        QFile::remove(CNamedMutex::LockFilePath(name));
        if (hadRuntime)
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }

    QByteArray savedRuntime;
    bool hadRuntime = false;
    QString name;
    QTemporaryDir scratch;
};

TEST_F(NamedMutexTest, LockFilesLiveInAPrivateFolderAndMustBeTheUsersOwnRegularFiles)
{
    const QString folder = QStringLiteral("/tmp/kavrilune-locks-%1").arg(geteuid());
    EXPECT_EQ(CNamedMutex::LockFilePath(name), folder + "/" + name + ".lock");
    // A runtime folder that others may enter is not used either.
    ASSERT_TRUE(QFile::setPermissions(
        scratch.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.path()));
    EXPECT_EQ(CNamedMutex::LockFilePath(name), folder + "/" + name + ".lock");
    {
        CNamedMutex mutex(name);
        EXPECT_TRUE(mutex.TryLock());
    }
    struct stat info;
    ASSERT_EQ(lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, geteuid());

    // In a folder of the test's own: a planted link is not followed, and a lock file of another user
    // or one that is not a regular file is not used.
    CNamedMutex::SetFolderOverride(scratch.path() + "/locks");
    const QString target = scratch.path() + "/elsewhere";
    ASSERT_TRUE(QFile::link(target, CNamedMutex::LockFilePath("link")));
    EXPECT_FALSE(CNamedMutex("link").TryLock());
    EXPECT_FALSE(QFileInfo::exists(target)) << "nothing was created where the link points";
    ASSERT_TRUE(QDir().mkpath(CNamedMutex::LockFilePath("folder")));
    EXPECT_FALSE(CNamedMutex("folder").TryLock());
    if (geteuid() == 0) {
        const QByteArray foreign = QFile::encodeName(CNamedMutex::LockFilePath("foreign"));
        const int fd = open(foreign.constData(), O_RDWR | O_CREAT, 0666);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(fchown(fd, 65534, 65534), 0);
        close(fd);
        EXPECT_FALSE(CNamedMutex("foreign").TryLock());
    }
    EXPECT_TRUE(CNamedMutex("own").TryLock());
}

TEST_F(InstanceLockTest, TerminateAllTakesBothSlotsOneAfterTheOther)
{
    CInstanceLock lock;
    EXPECT_TRUE(lock.AcquireSlot(1, 77));
    EXPECT_TRUE(lock.AcquireSlot(2, 77)); // lets slot 1 go first
    EXPECT_TRUE(lock.IsLocked());
    EXPECT_EQ(Field(Block(), 6), 0u);
    EXPECT_EQ(Field(Block(), 10), 77u);

    auto other = Start();
    EXPECT_FALSE(other->CommandTrue("acquire 2"));
    EXPECT_EQ(Field(Block(), 10), 77u);
    EXPECT_TRUE(other->CommandTrue("acquire 1"));

    EXPECT_TRUE(lock.AcquireSlot(5, 88)); // a slot without a field stores nothing
    EXPECT_EQ(Field(Block(), 10), 0u);
    lock.Release();
    lock.Release();
    EXPECT_FALSE(lock.IsLocked());
}

TEST_F(InstanceLockTest, ACommandTextWrittenByOneProcessIsReadByAnother)
{
    auto writer = Start();
    auto reader = Start();
    const QString line = QString::fromUtf8("/usr/bin/kavrilune /play /source=\"http://127.0.0.1/x\" "
                                           "/station=\"Radio \xC3\x84\xE2\x82\xAC \xF0\x9F\x8E\xB5\"");
    EXPECT_TRUE(writer->CommandTrue("set-text " + line));
    EXPECT_EQ(reader->Command("get-text"), line);
    EXPECT_EQ(reader->Command("get-text"), line); // reading does not clear it
    const QByteArray block = Block();
    EXPECT_EQ(block.mid(CInstanceLock::kCommandTextOffset, 4), QByteArray("/\0u\0", 4)); // UTF-16LE

    // An empty text is a lone terminator.
    EXPECT_TRUE(writer->CommandTrue("set-text"));
    EXPECT_EQ(reader->Command("get-text"), "");
    EXPECT_EQ(Block().mid(CInstanceLock::kCommandTextOffset, 2), QByteArray(2, '\0'));

    // The longest text fills the block to its last byte; a longer one is refused and leaves no stale line.
    CInstanceLock lock;
    const QString longest(CInstanceLock::kMaxCommandText, u'x');
    EXPECT_TRUE(lock.SetCommandText(longest));
    EXPECT_EQ(reader->Command("get-text"), longest);
    const QByteArray full = Block();
    ASSERT_EQ(full.size(), CInstanceLock::kBlockSize);
    EXPECT_EQ(full.right(4), QByteArray("x\0\0\0", 4));
    EXPECT_FALSE(lock.SetCommandText(QString(CInstanceLock::kMaxCommandText + 1, u'y')));
    EXPECT_EQ(reader->Command("get-text"), "");
    EXPECT_EQ(Block().size(), CInstanceLock::kBlockSize);
}

TEST_F(InstanceLockTest, WithoutASharedBlockSlotsStillWork)
{
    CInstanceLock::SetSharedMemoryNameOverride("/no/such/block"); // not a valid name: nothing opens
    CInstanceLock lock;
    EXPECT_TRUE(lock.AcquireFreeSlot(42));
    EXPECT_EQ(lock.GetRunningInstanceWindow(), 0u);
    EXPECT_TRUE(lock.SetCommandText("text"));
    EXPECT_EQ(lock.GetCommandText(), "");
    CInstanceLock second;
    EXPECT_TRUE(second.AcquireFreeSlot(43));
    CInstanceLock third;
    EXPECT_FALSE(third.AcquireFreeSlot(44));
}

TEST_F(InstanceLockTest, ABlockOfAnotherUserIsNotUsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give the block away";
    const int fd = shm_open(shmName.toUtf8().constData(), O_RDWR | O_CREAT | O_EXCL, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, CInstanceLock::kBlockSize), 0);
    ASSERT_EQ(pwrite(fd, "\x2A\0\0\0", 4, 10), 4);
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);
    close(fd);
    CInstanceLock lock;
    EXPECT_EQ(lock.GetRunningInstanceWindow(), 0u);
    EXPECT_TRUE(lock.AcquireFreeSlot(42));
    EXPECT_EQ(Field(Block(), 6), 0u);
}

TEST_F(InstanceLockTest, ARunningInstanceAnswersRequestsAndBroadcasts)
{
    auto first = Start();
    auto second = Start();
    ASSERT_TRUE(first->CommandTrue("listen"));
    ASSERT_TRUE(second->CommandTrue("listen"));

    CInstanceLock lock;
    ASSERT_TRUE(lock.SetCommandText("kavrilune /play"));
    EXPECT_EQ(CInstanceMessenger::SendInstanceMessage(first->pid(), "WM_KAVRILUNE_CMD_LINE", 0, 0, 5000), 1);
    EXPECT_EQ(first->Command("last"), "WM_KAVRILUNE_CMD_LINE kavrilune /play");
    ASSERT_TRUE(lock.SetCommandText(""));
    EXPECT_EQ(CInstanceMessenger::SendInstanceMessage(first->pid(), "WM_KAVRILUNE_CMD_LINE", 0, 0, 5000), 0);

    QList<qint64> others = CInstanceMessenger::OtherInstances();
    std::sort(others.begin(), others.end());
    QList<qint64> expected = { first->pid(), second->pid() };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(others, expected);
    EXPECT_EQ(CInstanceMessenger::BroadcastInstanceMessage("WM_KAVRILUNE_TERMINATE", 0, getpid(), 100), 2);
    EXPECT_EQ(second->Command("last"), QStringLiteral("WM_KAVRILUNE_TERMINATE %1").arg(getpid()));

    // The sockets are private to the user.
    struct stat info;
    ASSERT_EQ(stat(QFile::encodeName(folder.path() + "/" + QString::number(first->pid())).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u);
}

TEST_F(InstanceLockTest, RequestsToHungOrDeadInstancesTimeOut)
{
    auto hung = Start();
    auto dead = Start();
    ASSERT_TRUE(hung->CommandTrue("listen"));
    ASSERT_TRUE(dead->CommandTrue("listen"));
    hung->Command("hang 4000");
    const qint64 deadPid = dead->pid();
    dead->Kill();

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(CInstanceMessenger::SendInstanceMessage(hung->pid(), "WM_KAVRILUNE_CMD_LINE", 0, 0, 500), std::nullopt);
    const qint64 hungWait = timer.elapsed();
    EXPECT_GE(hungWait, 450);
    EXPECT_LT(hungWait, 3500); // gave up long before the instance woke up

    timer.restart();
    EXPECT_EQ(CInstanceMessenger::SendInstanceMessage(deadPid, "WM_KAVRILUNE_CMD_LINE", 0, 0, 500), std::nullopt);
    EXPECT_LT(timer.elapsed(), 3500);
    EXPECT_EQ(CInstanceMessenger::SendInstanceMessage(999999999, "WM_KAVRILUNE_CMD_LINE", 0, 0, 500), std::nullopt);

    // The dead instance's socket is cleaned away; the hung one is still counted.
    EXPECT_EQ(CInstanceMessenger::OtherInstances(), QList<qint64>({ hung->pid() }));
    EXPECT_FALSE(QFile::exists(folder.path() + "/" + QString::number(deadPid)));
}

} // namespace
