// Starting a child process through QProcess, as the fixtures do, leaves the starting thread's
// hand-overs to other threads visible to a thread checker, and a start still reports what became of
// the child.

#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace
{

TEST(ChildProcessStartTest, AfterAChildStartedTheThreadsHandOversUnderALockAreStillSeen)
{
    QProcess child;
    child.start("sh", { "-c", "echo started; exit 3" });
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitCode(), 3);
    EXPECT_EQ(child.readAllStandardOutput(), "started\n");

    QProcess missing;
    missing.start("/nonexistent/program", {});
    EXPECT_FALSE(missing.waitForStarted(10000));
    EXPECT_EQ(missing.error(), QProcess::FailedToStart);

    // The reader runs before the value is written, so only the lock orders the two; a checker that
    // lost sight of this thread's locks reports a data race here.
    std::mutex mutex;
    std::unique_ptr<int> value;
    std::atomic<bool> written { false };
    int seen = 0;
    std::thread reader([&] {
        while (!written.load(std::memory_order_relaxed))
            std::this_thread::yield();
        const std::lock_guard lock(mutex);
        seen = *value;
    });
    {
        const std::lock_guard lock(mutex);
        value = std::make_unique<int>(7);
    }
    written.store(true, std::memory_order_relaxed);
    reader.join();
    EXPECT_EQ(seen, 7);
}

} // namespace
