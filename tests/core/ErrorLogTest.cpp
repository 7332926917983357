#include "core/ErrorLog.h"
#include "core/FileVersionInfo.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "core/Thread.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <thread>

using testing_support::ReadBytes;
using testing_support::ScratchMount;

namespace
{

class ErrorLogTest : public ::testing::Test
{
protected:
    void SetUp() override { SetAppFolderOverride(dir.path()); }
    void TearDown() override
    {
        CloseErrorLog();
        SetAppFolderOverride(QString());
    }

    QStringList LogFiles() const { return QDir(dir.path() + "/Log").entryList({ "log - *.txt" }, QDir::Files); }
    QByteArray LogContent() const
    {
        const QStringList files = LogFiles();
        return files.size() == 1 ? ReadBytes(dir.path() + "/Log/" + files.first()) : QByteArray();
    }

    QTemporaryDir dir;
};

int* volatile nullTarget = nullptr;
volatile int zero = 0;

// The deliberate faults the translator is tested with. The undefined-behaviour checks of a sanitizer
// build are left out of these two, so that the processor still raises the fault there.
__attribute__((noinline, no_sanitize("undefined"))) void StoreThroughNull(int value)
{
    *nullTarget = value;
}

__attribute__((noinline, no_sanitize("undefined"))) int DivideByZero(int value)
{
    return value / zero;
}

TEST(SeExceptionTest, MessagesNameTheFaultCodeAndAddress)
{
    CSeException violation(0xC0000005, 0x10);
    QString text;
    unsigned help = 77;
    EXPECT_TRUE(violation.FormatMessage(text, &help));
    EXPECT_EQ(text, "Exception ACCESS_VIOLATION (0xc0000005) at address 0x00000010.");
    EXPECT_EQ(help, 0u);

    CSeException unknown(0xE06D7363, 0x1234);
    EXPECT_FALSE(unknown.FormatMessage(text));
    EXPECT_EQ(text, "Unknown exception.");
    violation.FormatMessage(text);

    const int length = int(QString("Exception ACCESS_VIOLATION (0xc0000005) at address 0x00000010.").size());
    char16_t buffer[128];
    EXPECT_FALSE(violation.GetErrorMessage(buffer, unsigned(length)));
    EXPECT_EQ(QString::fromUtf16(buffer), "");
    EXPECT_TRUE(violation.GetErrorMessage(buffer, unsigned(length + 1)));
    EXPECT_EQ(QString::fromUtf16(buffer), "Exception ACCESS_VIOLATION (0xc0000005) at address 0x00000010.");
}

TEST(SeExceptionTest, FaultsOnAThreadWithTheTranslatorBecomeExceptionsAndTheThreadGoesOn)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer blocks every signal while a handler runs and cannot unblock them when "
                    "the handler is left by an exception, so a second fault on the thread ends the process";
#endif
    std::promise<std::vector<uint32_t>> codes;
    ASSERT_TRUE(BeginThread(
        [&codes] {
            std::vector<uint32_t> seen;
            try {
                StoreThroughNull(1);
            } catch (CSeException* e) {
                seen.push_back(e->GetSeCode());
                EXPECT_EQ(e->GetFaultAddress(), 0u);
                e->Delete();
            }
            try {
                volatile int result = DivideByZero(10);
                (void)result;
            } catch (CSeException* e) {
                seen.push_back(e->GetSeCode());
                e->Delete();
            }
            try { // the same fault again: the signal must not have stayed blocked
                StoreThroughNull(2);
            } catch (CSeException* e) {
                seen.push_back(e->GetSeCode());
                e->Delete();
            }
            codes.set_value(seen);
        },
        true));
    auto future = codes.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(
        future.get(), (std::vector<uint32_t> { SE_ACCESS_VIOLATION, SE_INT_DIVIDE_BY_ZERO, SE_ACCESS_VIOLATION }));
}

TEST(SeExceptionDeathTest, FaultsOnAThreadWithoutTheTranslatorEndTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#if defined(__SANITIZE_ADDRESS__)
    // The handler that was there before ours runs: AddressSanitizer's, which reports and exits.
    const auto ended = ::testing::ExitedWithCode(1);
#elif defined(__SANITIZE_THREAD__)
    const auto ended = ::testing::ExitedWithCode(66); // ThreadSanitizer's, likewise
#else
    const auto ended = ::testing::KilledBySignal(SIGSEGV);
#endif
    EXPECT_EXIT(
        {
            InstallSeTranslator(true); // installed here, not on the faulting thread
            std::thread([] {
                try {
                    StoreThroughNull(1);
                } catch (CSeException* e) {
                    std::_Exit(3);
                }
            }).join();
            std::_Exit(0);
        },
        ended, "");
}

TEST_F(ErrorLogTest, EntriesHaveTheFixedFormat)
{
    InitErrorLog();
    EXPECT_TRUE(LogFiles().isEmpty()); // nothing is created before the first entry
    WriteErrorLog("Favorites", 328, "Exception ACCESS_VIOLATION (0xc0000005) at address 0x00000010.");
    WriteErrorLog("Recorder", 0, QString());
    WriteErrorLog("Updater", 5, QString::fromUtf8("\xC3\x84rger"));
    ASSERT_EQ(LogFiles().size(), 1);
    EXPECT_TRUE(QRegularExpression("^log - \\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.txt$")
                    .match(LogFiles().first())
                    .hasMatch());

    const QByteArray log = LogContent();
    const QList<QByteArray> lines = log.split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QString version = KAVRILUNE_TEST_VERSION;
    auto matches = [&](const QByteArray& line, const QString& rest) {
        return QRegularExpression(
            "^\\d\\d:\\d\\d:\\d\\d v " + QRegularExpression::escape(version + " > " + rest) + "\r$")
            .match(QString::fromUtf8(line))
            .hasMatch();
    };
    EXPECT_TRUE(
        matches(lines[0], "Favorites, line 328: Exception ACCESS_VIOLATION (0xc0000005) at address 0x00000010."))
        << lines[0].toStdString();
    EXPECT_TRUE(matches(lines[1], "Recorder")) << lines[1].toStdString();
    EXPECT_TRUE(matches(lines[2], QString::fromUtf8("Updater, line 5: \xC3\x84rger"))) << lines[2].toStdString();
}

TEST_F(ErrorLogTest, CaughtFaultsAreLoggedUnderTheCatchSite)
{
    InitErrorLog();
    std::promise<void> done;
    BeginThread(
        [&done] {
            try {
                StoreThroughNull(1);
            } catch (CSeException* e) {
                e->Log("RadioPlayer", 77);
                e->Delete();
            }
            done.set_value();
        },
        true);
    ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(
        LogContent().contains("RadioPlayer, line 77: Exception ACCESS_VIOLATION (0xc0000005) at address 0x00000000."));
}

TEST_F(ErrorLogTest, EntriesBeforeInitVanishAndNoFileIsCreated)
{
    WriteErrorLog("Early", 1, "lost");
    EXPECT_FALSE(QDir(dir.path() + "/Log").exists());
    InitErrorLog();
    WriteErrorLog("Later", 2, "kept");
    EXPECT_FALSE(LogContent().contains("lost"));
    EXPECT_TRUE(LogContent().contains("kept"));
}

TEST_F(ErrorLogTest, AProgramFolderThatCannotBeWrittenLogsIntoTheFallbackFolder)
{
    const QString fallback = dir.path() + "/user";
    InitErrorLog(fallback); // the program folder can be written: the fallback stays unused
    WriteErrorLog("Beside", 1, "the program");
    EXPECT_TRUE(LogContent().contains("Beside"));
    EXPECT_FALSE(QDir(fallback).exists());

    // Not even root may write on a read-only mount.
    ScratchMount mount(dir.path() + "/program", 1 << 20);
    if (!mount.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    ASSERT_TRUE(mount.MakeReadOnly());
    EXPECT_FALSE(IsWritableFolder(mount.Folder()));
    EXPECT_TRUE(IsWritableFolder(dir.path()));
    SetAppFolderOverride(mount.Folder());
    InitErrorLog(fallback);
    WriteErrorLog("Installed", 2, "read-only copy");
    const QStringList files = QDir(fallback + "/Log").entryList({ "log - *.txt" }, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(ReadBytes(fallback + "/Log/" + files.first()).contains("Installed, line 2: read-only copy"));
    CloseErrorLog();
}

TEST_F(ErrorLogTest, ConcurrentEntriesAreWrittenWhole)
{
    InitErrorLog();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 40; ++i)
                WriteErrorLog("Thread", t + 1, QString(60, QChar('a' + t)));
        });
    for (auto& thread : threads)
        thread.join();
    const QList<QByteArray> lines = LogContent().split('\n');
    ASSERT_EQ(lines.size(), 8 * 40 + 1);
    for (int i = 0; i < 8 * 40; ++i)
        ASSERT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d v [0-9.]+ > Thread, line (\\d): ([a-h])\\2{59}\r$")
                        .match(QString::fromUtf8(lines[i]))
                        .hasMatch())
            << lines[i].toStdString();
}

TEST_F(ErrorLogTest, LoggingStopsForTheRunOnceTheFilePassesTheLimit)
{
    // The stop lasts for the whole run, so it is tried in a child process.
    const QString folder = dir.path();
    EXPECT_EXIT(
        {
            SetAppFolderOverride(folder);
            InitErrorLog();
            const QString text(100, QLatin1Char('x'));
            for (int i = 0; i < 2000; ++i)
                WriteErrorLog("Size", i + 1, text);
            InitErrorLog(); // a new path does not restart logging
            WriteErrorLog("After", 1, "dropped");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");

    ASSERT_EQ(LogFiles().size(), 1);
    const QByteArray log = LogContent();
    EXPECT_TRUE(log.endsWith("The error log file size is too big. Logging stopped.\r\n"));
    const qsizetype stop = log.indexOf("The error log file size");
    EXPECT_GT(stop, 50000);
    EXPECT_LT(stop - 150, 50000); // the entry that crossed the limit was written whole, and no more
    EXPECT_TRUE(log.left(stop).endsWith(QByteArray(100, 'x') + "\r\n"));
}

TEST(AppFolderTest, IsTheExecutablesFolderWithATrailingSlash)
{
    const QString folder = GetAppFolder();
    EXPECT_TRUE(folder.endsWith('/'));
    EXPECT_TRUE(QFile::exists(folder + "kavrilune_core_tests"));
    SetAppFolderOverride("/tmp/x");
    EXPECT_EQ(GetAppFolder(), "/tmp/x/");
    SetAppFolderOverride(QString());
    EXPECT_EQ(GetAppFolder(), folder);
}

} // namespace
