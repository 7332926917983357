#include "ui/app/CommandLine.h"

#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <climits>

namespace
{

struct Read {
    QString name;
    QString value;
};

QList<Read> Switches(const QString& text)
{
    QList<Read> read;
    for (const CommandLineSwitch& commandSwitch : ParseCommandLineSwitches(text))
        read.append({ commandSwitch.name, commandSwitch.value });
    return read;
}

void ExpectSwitches(const QString& text, const QList<Read>& expected)
{
    const QList<Read> read = Switches(text);
    ASSERT_EQ(read.size(), expected.size()) << text.toStdString();
    for (qsizetype i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].name, expected[i].name) << text.toStdString() << " #" << i;
        EXPECT_EQ(read[i].value, expected[i].value) << text.toStdString() << " #" << i;
    }
}

TEST(CommandLineTest, SwitchesAndValuesAreReadByTheLineRules)
{
    // Quoted values run to the next quote, unquoted ones to the next blank (a tab does not end them);
    // names are lower-cased and lose their slash and quotes; the program in front is skipped whole.
    ExpectSwitches(R"(/opt/kavrilune /PLAY /source="http://h/a b" /Station=Jazz	FM /x)",
        { { "play", "" }, { "source", "http://h/a b" }, { "station", "Jazz\tFM" }, { "x", "" } });
    ExpectSwitches(
        R"(/opt/kavrilune /source=http://h/a b /mute)", { { "source", "http://h/a" }, { "b", "" }, { "mute", "" } });
    ExpectSwitches("/opt/kavrilune\t/hidden\t/mute", { { "hidden", "" }, { "mute", "" } });
    // A program whose folder holds a blank and a slash switch-like word is one quoted token.
    ExpectSwitches(R"("/home/me /hidden/kavrilune" /play)", { { "play", "" } });
    ExpectSwitches("/opt/kavrilune /filename= /duration=", { { "filename", "" }, { "duration", "" } });
    ExpectSwitches(R"(/opt/kavrilune /station="unterminated /play)", { { "station", "unterminated /play" } });
    ExpectSwitches("/opt/kavrilune", {});
    ExpectSwitches("", {});

    QString many = "/opt/kavrilune";
    for (int i = 0; i < kMaxCommandLineSwitches; ++i)
        many += " /x";
    many += " /mute";
    const QList<Read> read = Switches(many);
    ASSERT_EQ(read.size(), kMaxCommandLineSwitches);
    EXPECT_EQ(read.last().name, "x") << "the 201st switch is not read";
}

TEST(CommandLineTest, TheLineBuiltFromArgumentsReadsBackAsTheArguments)
{
    const QStringList arguments { "/home/me/my apps/kavrilune", "/reuse", "/play", "/source=http://127.0.0.1:8000/x",
        "/station=T t", "/filename=\"Late show\"", "stray word" };
    const QString line = BuildCommandLine(arguments);
    EXPECT_EQ(line,
        R"("/home/me/my apps/kavrilune" /reuse /play /source=http://127.0.0.1:8000/x /station="T t" /filename="Late show" "stray word")");
    ExpectSwitches(line,
        { { "reuse", "" }, { "play", "" }, { "source", "http://127.0.0.1:8000/x" }, { "station", "T t" },
            { "filename", "Late show" }, { "stray", "" }, { "word", "" } });

    // The hand-over removes the switch with its delimiter, or the switch alone at the end.
    const QList<CommandLineSwitch> read = ParseCommandLineSwitches(line);
    EXPECT_EQ(RemoveCommandLineSwitch(line, read[0]),
        R"("/home/me/my apps/kavrilune" /play /source=http://127.0.0.1:8000/x /station="T t" /filename="Late show" "stray word")");
    const QString last = "/opt/kavrilune /play /reuse";
    EXPECT_EQ(RemoveCommandLineSwitch(last, ParseCommandLineSwitches(last).last()), "/opt/kavrilune /play ");
}

TEST(CommandLineTest, OwnSwitchesComeWholeFromTheArgumentsAndTheHandedOverLineReadsBackTheSame)
{
    // Each argument is one switch, its value all after the first "=": blanks and quotes inside stay.
    const QStringList arguments { "/opt/kavrilune", "/Play", "/station=Radio \"Blue\" Night", "/source=http://h/a b",
        "/filename=\"Late show\"", "/x=\"open", "/y=a=b", "/mute" };
    const QList<Read> expected { { "play", "" }, { "station", "Radio \"Blue\" Night" }, { "source", "http://h/a b" },
        { "filename", "Late show" }, { "x", "\"open" }, { "y", "a=b" }, { "mute", "" } };
    QList<Read> own;
    for (const CommandLineSwitch& commandSwitch : SwitchesFromArguments(arguments))
        own.append({ commandSwitch.name, commandSwitch.value });
    ASSERT_EQ(own.size(), expected.size());
    for (qsizetype i = 0; i < own.size(); ++i) {
        EXPECT_EQ(own[i].name, expected[i].name) << i;
        EXPECT_EQ(own[i].value, expected[i].value) << i;
    }

    // The line a hand-over writes quotes such values with their quotes doubled; the running instance
    // reads the same switches from it.
    const QString line = BuildCommandLine(arguments);
    EXPECT_EQ(line,
        R"(/opt/kavrilune /Play /station="Radio ""Blue"" Night" /source="http://h/a b" /filename="Late show" )"
        R"(/x="""open" /y=a=b /mute)");
    ExpectSwitches(line, expected);
    ExpectSwitches(R"("/home/a ""b""/kavrilune" /play)", { { "play", "" } }); // a quoted program with quotes
}

TEST(CommandLineTest, DurationIsWholeSecondsOfAPositiveFiniteNumberOfMinutes)
{
    EXPECT_EQ(DurationSecondsFromMinutes("1.5"), 90);
    EXPECT_EQ(DurationSecondsFromMinutes("1"), 60);
    EXPECT_EQ(DurationSecondsFromMinutes("0.0199"), 1) << "truncated";
    EXPECT_EQ(DurationSecondsFromMinutes("2abc"), 120) << "a number in front counts";
    EXPECT_EQ(DurationSecondsFromMinutes("1,5"), 60) << "the decimal point is a point in every locale";
    for (const char* none : { "abc", "", "0", "-5", "-0.5", "nan", "inf", "1e400" })
        EXPECT_EQ(DurationSecondsFromMinutes(none), 0) << none;
    EXPECT_EQ(DurationSecondsFromMinutes("1e30"), INT_MAX);
}

TEST(CommandLineTest, TerminateAllIsFoundAnywhereInAnyCase)
{
    EXPECT_TRUE(HasTerminateAllSwitch("/opt/kavrilune /TerminateAll"));
    EXPECT_TRUE(HasTerminateAllSwitch(R"(/opt/kavrilune /station="/terminateall")"));
    EXPECT_FALSE(HasTerminateAllSwitch("/opt/kavrilune /terminate"));

    // In the arguments only the switches are searched, never the program's own path.
    EXPECT_FALSE(HasTerminateAllSwitch(QStringList { "/home/me/TerminateAll/kavrilune", "/play" }));
    EXPECT_FALSE(HasTerminateAllSwitch(QStringList { "/tmp/x/terminateall" }));
    EXPECT_TRUE(HasTerminateAllSwitch(QStringList { "/opt/kavrilune", "/play", "/TERMINATEALL" }));
}

} // namespace
