#include "core/Autostart.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace
{

class AutostartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        savedHome = qgetenv("HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    }
    void TearDown() override
    {
        qputenv("HOME", savedHome);
        if (hadConfig)
            qputenv("XDG_CONFIG_HOME", savedConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString Entry() const { return QString::fromUtf8(ReadBytes(home.filePath("config/autostart/Kavrilune.desktop"))); }
    static QString Program() { return QFile::symLinkTarget("/proc/self/exe"); }

    QTemporaryDir home;
    QByteArray savedHome, savedConfig;
    bool hadConfig = false;
};

TEST_F(AutostartTest, EntryIsWrittenRewrittenAndRemoved)
{
    ASSERT_FALSE(Program().contains(' '));
    EXPECT_TRUE(SetAutostart("Kavrilune", "/hidden"));
    EXPECT_EQ(AutostartEntryPath("Kavrilune"), home.filePath("config/autostart/Kavrilune.desktop"));
    const QStringList lines = Entry().split('\n');
    EXPECT_EQ(lines.value(0), "[Desktop Entry]");
    EXPECT_TRUE(lines.contains("Type=Application"));
    EXPECT_TRUE(lines.contains("Name=Kavrilune"));
    EXPECT_TRUE(lines.contains("Exec=" + Program() + " /hidden")) << Entry().toStdString();
    EXPECT_EQ(BuildRunCommand("/hidden"), Program() + " /hidden");

    EXPECT_TRUE(SetAutostart("Kavrilune", "/hidden /play"));
    EXPECT_TRUE(Entry().contains("\nExec=" + Program() + " /hidden /play\n"));
    EXPECT_EQ(QDir(home.filePath("config/autostart")).entryList(QDir::Files), QStringList({ "Kavrilune.desktop" }));

    EXPECT_TRUE(RemoveAutostart("Kavrilune"));
    EXPECT_FALSE(QFile::exists(home.filePath("config/autostart/Kavrilune.desktop")));
    EXPECT_FALSE(RemoveAutostart("Kavrilune")); // a missing entry
    EXPECT_FALSE(RemoveAutostart("Other"));
}

TEST_F(AutostartTest, ConfigFolderFallsBackToHomeAndBadPlacesFail)
{
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(SetAutostart("Kavrilune", "/hidden"));
    EXPECT_TRUE(QFile::exists(home.filePath(".config/autostart/Kavrilune.desktop")));
    qputenv("XDG_CONFIG_HOME", "relative/config"); // not absolute: ignored
    EXPECT_EQ(AutostartEntryPath("Kavrilune"), home.filePath(".config/autostart/Kavrilune.desktop"));
    qunsetenv("HOME"); // the home folder is then "/"
    EXPECT_EQ(AutostartEntryPath("Kavrilune"), "/.config/autostart/Kavrilune.desktop");
    qputenv("HOME", QFile::encodeName(home.path()));

    // A file where the autostart folder belongs.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("blocked")));
    ASSERT_TRUE(QDir().mkpath(home.filePath("blocked")));
    ASSERT_TRUE(WriteBytes(home.filePath("blocked/autostart"), "not a folder"));
    EXPECT_FALSE(SetAutostart("Kavrilune", "/hidden"));
    EXPECT_FALSE(SetAutostart("../escape", "/hidden"));
    EXPECT_FALSE(SetAutostart("", "/hidden"));
}

TEST_F(AutostartTest, ReservedCharactersInTheCommandAreQuotedAndEscaped)
{
    EXPECT_EQ(QuoteExecArgument("/opt/kavrilune/kavrilune"), "/opt/kavrilune/kavrilune");
    EXPECT_EQ(QuoteExecArgument("/home/a b/kavrilune"), "\"/home/a b/kavrilune\"");
    EXPECT_EQ(QuoteExecArgument("/x/$HOME\"`\\y"), "\"/x/\\$HOME\\\"\\`\\\\y\"");
    EXPECT_TRUE(SetAutostart("Kavrilune", "/station=\"50% \\ off\""));
    EXPECT_TRUE(Entry().contains("Exec=" + Program() + " /station=\"50%% \\\\ off\"\n")) << Entry().toStdString();
}

} // namespace
