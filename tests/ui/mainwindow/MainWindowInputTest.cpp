// The window's input besides its controls: command lines, hot keys, media keys, the wheel and drops.

#include "tests/ui/mainwindow/MainWindowFixture.h"

#include "core/InstanceLock.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/desktop/DropTarget.h"
#include "ui/desktop/GlobalHotKeys.h"
#include "ui/stationlist/StationsListCtrl.h"

#include "tests/support/TestMedia.h"
#include "tests/support/TestZipWriter.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

#include <xcb/xcb.h>

using namespace testing_support;
using ui_testing::MainWindowFixture;

namespace
{

const int kCmdLine = RegisterWindowMessage("WM_KAVRILUNE_CMD_LINE");

// A sine tone long enough to stay playing for a test, made once per test program.
QString Tone()
{
    static QTemporaryDir folder;
    static const QString path = folder.path() + "/input-tone.mp3";
    static const bool made = [] {
        SineOptions options;
        options.seconds = 60;
        return GenerateSine(path, MediaFormat::Mp3, options);
    }();
    return made ? path : QString();
}

// Key grabs that a test can look at: every key symbol is one keycode (its value), and keycodes listed in
// held belong to another program.
class FakeKeyGrabber : public IKeyGrabber
{
public:
    QList<uint8_t> KeycodesFor(uint32_t keysym) override { return { uint8_t(keysym & 0xFF) }; }
    bool Grab(uint8_t keycode, uint16_t modifiers) override
    {
        if (held.contains(keycode))
            return false;
        grabs->append({ keycode, modifiers });
        return true;
    }
    void Ungrab(uint8_t keycode, uint16_t modifiers) override { grabs->removeOne(std::make_pair(keycode, modifiers)); }

    std::shared_ptr<QList<std::pair<uint8_t, uint16_t>>> grabs
        = std::make_shared<QList<std::pair<uint8_t, uint16_t>>>();
    QList<uint8_t> held;
};

class MainWindowInputTest : public MainWindowFixture
{
protected:
    // Starts the window with a command line of its own; waits until start-up has run.
    void StartWith(const QStringList& arguments)
    {
        auto backend = std::make_unique<ui_testing::FakeTrayBackend>();
        tray = backend.get();
        window = std::make_unique<CKavriluneDlg>(std::move(backend));
        window->CommandLine().SetArguments(arguments);
        ASSERT_TRUE(window->OnInitDialog());
        ASSERT_TRUE(PumpUntil([this] { return window->InstanceLock().IsLocked(); }, 5000));
    }

    void Activate()
    {
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(PumpUntil([this] { return window->isActiveWindow(); }, 2000));
    }

    void Wheel(QWidget* target, const QPoint& local, const QPoint& delta)
    {
        QWheelEvent wheel(QPointF(local), QPointF(target->mapToGlobal(local)), QPoint(), delta, Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }

    bool PressHotKey(uint8_t keycode, uint16_t state)
    {
        xcb_key_press_event_t press {};
        press.response_type = XCB_KEY_PRESS;
        press.detail = keycode;
        press.state = state;
        qintptr result = 0;
        return window->Input().HotKeys().nativeEventFilter("xcb_generic_event_t", &press, &result);
    }

    // Drags data over a point of the window and drops it there, as the window system delivers it.
    bool Drop(const QMimeData& data, const QPoint& at)
    {
        QWindow* native = window->windowHandle();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(native, &enter);
        if (!enter.isAccepted())
            return false;
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(native, &drop);
        return drop.isAccepted();
    }
};

TEST_F(MainWindowInputTest, AHandedOverLineIsCarriedOutWithEverySwitch)
{
    Start();
    int answer = IDNO;
    ScriptedMessageBoxes boxes([&answer](const QString&, unsigned) { return answer; });
    EXPECT_EQ(window->CommandLine().ParseCommandLine(
                  R"(/opt/kavrilune /PLAY /source="http://127.0.0.1:9/x" /station="T t" /mute)"
                  R"( /duration=1.5 /filename=../../etc/passwd)"),
        1);
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/x");
    EXPECT_EQ(window->Radio().GetStationName(), "T t");
    EXPECT_TRUE(window->Radio().IsPlaying());
    EXPECT_TRUE(window->Radio().IsMuted());
    EXPECT_EQ(window->Lifecycle().Duration(), 90);
    EXPECT_EQ(window->Playback().RecordingName(), "..-..-etc-passwd") << "the name stays inside the recordings folder";
    EXPECT_FALSE(window->Timers().IsActive(CKavriluneDlg::kTimerShow)) << "only the own line arms the timer";

    // Refusing to stop a recording keeps the station; a negative duration is no limit.
    window->Playback().OnStop();
    ASSERT_TRUE(PumpUntil([this] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    EXPECT_EQ(window->CommandLine().ParseCommandLine(
                  "/opt/kavrilune /source=http://127.0.0.1:9/y /record /duration=-5 /filename="),
        1);
    EXPECT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/x");
    EXPECT_EQ(window->Radio().GetPlayerCount(), 0);
    EXPECT_EQ(window->Lifecycle().Duration(), 0);
    EXPECT_EQ(window->Playback().RecordingName(), "");
    window->Radio().StopRecording(true, false);

    // "/record" plays and records once the station plays.
    ASSERT_FALSE(Tone().isEmpty());
    window->CommandLine().ParseCommandLine(
        "/opt/kavrilune /record /source=" + Tone() + " /station=Tone /filename=Late");
    EXPECT_TRUE(PumpUntil([this] { return window->Radio().IsRecording(); }, 10000));
    EXPECT_TRUE(boxes.texts.size() == 1) << "no failure was reported";
    answer = IDYES;
    window->Playback().OnStop();

    // Without "/play", Autoplay starts the current station again.
    window->Options().general.m_autoplay = true;
    window->CommandLine().ParseCommandLine("/opt/kavrilune /mute");
    EXPECT_TRUE(window->Radio().IsPlaying());
    window->Playback().OnStop();
}

TEST_F(MainWindowInputTest, TheSharedLineIsReadOnRequestAndNeverHandedOnAgain)
{
    Start();
    EXPECT_EQ(SendWindowMessage(window.get(), kCmdLine, 0, 0), 0) << "no line";
    const QString line = "/opt/kavrilune /source=http://127.0.0.1:9/z /play /reuse";
    ASSERT_TRUE(window->InstanceLock().SetCommandText(line));
    EXPECT_EQ(SendWindowMessage(window.get(), kCmdLine, 0, 0), 1);
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/z");
    EXPECT_EQ(window->InstanceLock().GetCommandText(), line) << "the line was not handed on";
    window->Playback().OnStop();

    window->Lifecycle().OnExit();
    EXPECT_EQ(SendWindowMessage(window.get(), kCmdLine, 0, 0), 0) << "an ending instance leaves the line to its sender";
}

TEST_F(MainWindowInputTest, TerminateAllGivesUpWithCodeOneAfterSixRoundsWhileAnInstanceStays)
{
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDNO; });
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    ASSERT_TRUE(QFile::copy(skin_test::StagedProgramFolder() + "kavrilune", program.FilePath("kavrilune")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KAVRILUNE_SHARED_MEMORY", CInstanceLock::SharedMemoryName());
    environment.insert("KAVRILUNE_LOCK_FOLDER", locks.path());
    environment.insert("KAVRILUNE_SOCKET_FOLDER", sockets.path());
    environment.insert("SDL_AUDIODRIVER", "dummy");
    QProcess terminator;
    terminator.setProcessEnvironment(environment);
    terminator.setProcessChannelMode(QProcess::ForwardedChannels);
    terminator.start(program.FilePath("kavrilune"), { "/terminateall" });
    ASSERT_TRUE(terminator.waitForStarted(5000));
    ASSERT_TRUE(PumpUntil([&terminator] { return terminator.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(terminator.exitCode(), 1);
    // The terminator waits only briefly for each answer: the last question may still be on its way here.
    PumpUntil([&boxes] { return boxes.texts.size() >= 6; }, 10000);
    EXPECT_EQ(boxes.texts.size(), 6) << "asked once a round, and declined each time";
    EXPECT_FALSE(window->Lifecycle().IsClosing());
}

TEST_F(MainWindowInputTest, OwnSwitchesAreReadFromTheArgumentsAndTheProgramsPathIsNoSwitch)
{
    // A folder named like a switch ends nothing; a value with blanks and quotes is read whole.
    StartWith({ "/home/me/TerminateAll/kavrilune", "/play", "/source=http://127.0.0.1:9/q",
        "/station=Radio \"Blue\" Night" });
    EXPECT_EQ(window->ExitCode(), 0);
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/q");
    EXPECT_EQ(window->Radio().GetStationName(), "Radio \"Blue\" Night");
    window->Playback().OnStop();
}

TEST_F(MainWindowInputTest, AHiddenStartWithoutAutoplayShowsNothingAndPlaysNothing)
{
    StartWith({ "/opt/kavrilune", "/hidden" });
    ASSERT_TRUE(PumpUntil([this] { return !window->Timers().IsActive(CKavriluneDlg::kTimerHide); }, 5000));
    PumpFor(300);
    EXPECT_FALSE(window->Presence().IsShown());
    EXPECT_FALSE(window->Radio().IsPlaying());
    EXPECT_FALSE(window->Timers().IsActive(CKavriluneDlg::kTimerShow));
}

TEST_F(MainWindowInputTest, AnOwnLineTooLongToHandOverIsCarriedOutHere)
{
    const QString url = "http://127.0.0.1:9/" + QString(8000, u'a');
    StartWith({ "/opt/kavrilune", "/reuse", "/play", "/source=" + url });
    EXPECT_EQ(window->Radio().GetStationUrl(), url);
    EXPECT_TRUE(window->InstanceLock().GetCommandText().isEmpty()) << "no stale line is left for others";
    EXPECT_TRUE(PumpUntil([this] { return window->isVisible(); }, 5000));
    window->Playback().OnStop();
}

TEST_F(MainWindowInputTest, HotKeysAreGrabbedWithTheLockVariantsAndActOnlyWhileOn)
{
    Start();
    auto grabber = std::make_unique<FakeKeyGrabber>();
    grabber->held = { 's' };
    auto grabs = grabber->grabs;
    window->Input().HotKeys().SetGrabber(std::move(grabber));
    window->Options().general.m_globalHotkeys = true;
    window->Input().RegisterHotKeys();
    constexpr uint16_t kAltShift = CGlobalHotKeys::kAlt | CGlobalHotKeys::kShift;
    ASSERT_EQ(grabs->size(), 8 * 4) << "the key someone else holds is skipped";
    EXPECT_EQ(grabs->first(), std::make_pair(uint8_t('m'), kAltShift));
    EXPECT_TRUE(grabs->contains(
        std::make_pair(uint8_t(0xAB), uint16_t(kAltShift | CGlobalHotKeys::kNumLock | CGlobalHotKeys::kLock))));

    EXPECT_TRUE(PressHotKey('m', kAltShift | CGlobalHotKeys::kNumLock));
    EXPECT_TRUE(window->Radio().IsMuted());
    EXPECT_FALSE(PressHotKey('m', kAltShift | CGlobalHotKeys::kControl)) << "another modifier: not the hot key";
    EXPECT_TRUE(window->Radio().IsMuted());
    const int volume = window->Controls().volume->value();
    EXPECT_TRUE(PressHotKey(0xAD, kAltShift | CGlobalHotKeys::kLock));
    EXPECT_EQ(window->Controls().volume->value(), volume - 4);

    window->Options().general.m_globalHotkeys = false;
    window->Input().RegisterHotKeys();
    EXPECT_TRUE(grabs->isEmpty());
    EXPECT_FALSE(PressHotKey('m', kAltShift));
    EXPECT_TRUE(window->Radio().IsMuted());
}

TEST_F(MainWindowInputTest, MediaKeysAndTheWheelWorkTheWindow)
{
    Start();
    Activate();
    window->Controls().volume->setValue(50);
    Wheel(window.get(), QPoint(3, window->height() / 2), QPoint(0, 120));
    EXPECT_EQ(window->Controls().volume->value(), 54);
    Wheel(window.get(), QPoint(3, window->height() / 2), QPoint(0, -120));
    EXPECT_EQ(window->Controls().volume->value(), 50);
    for (int fragment = 0; fragment < 3; ++fragment)
        Wheel(window->Controls().filter, QPoint(5, 5), QPoint(0, 40));
    EXPECT_EQ(window->Controls().volume->value(), 54) << "a notch made of fragments, also over the search box";
    Wheel(window.get(), QPoint(3, window->height() / 2), QPoint(120, 0));
    EXPECT_EQ(window->Controls().volume->value(), 54) << "a horizontal wheel is no volume control";

    CStationsListCtrl& list = *window->Controls().list;
    ASSERT_TRUE(list.isVisible());
    Wheel(list.viewport(), QPoint(20, 20), QPoint(0, -120));
    EXPECT_EQ(window->Controls().volume->value(), 54) << "over the list the list scrolls";
    EXPECT_TRUE(list.hasFocus());

    auto press = [this](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &event);
    };
    press(Qt::Key_VolumeUp);
    EXPECT_EQ(window->Controls().volume->value(), 58);
    press(Qt::Key_VolumeMute);
    EXPECT_TRUE(window->Radio().IsMuted());
    window->Radio().SetCurrentStation([] {
        CStationItem station;
        station.SetTitle("Keys");
        station.AddSource("http://127.0.0.1:9/keys");
        return station;
    }());
    press(Qt::Key_MediaTogglePlayPause);
    EXPECT_TRUE(window->Radio().IsPlaying());
    press(Qt::Key_MediaTogglePlayPause);
    EXPECT_FALSE(window->Radio().IsPlaying()) << "play/pause while playing stops";
}

TEST_F(MainWindowInputTest, DropsTakeTheFirstLocalFileElseTheTextAndRefuseWhatTheyCannotHandOnWhole)
{
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    const QPoint body(3, window->height() / 2);
    const QLineEdit& edit = *window->Controls().filter->lineEdit();
    const QPoint onBox = window->Controls().filter->mapTo(window.get(), QPoint(10, 8));
    const QPoint onList = window->Controls().list->mapTo(window.get(), QPoint(40, 40));
    window->Controls().filter->setEditText("jazz");

    QMimeData image;
    image.setImageData(QImage(4, 4, QImage::Format_RGB32));
    EXPECT_FALSE(Drop(image, body));

    QMimeData text;
    text.setText("http://127.0.0.1:9/dropped");
    EXPECT_TRUE(Drop(text, onBox));
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/dropped");
    EXPECT_EQ(edit.text(), "jazz") << "the box did not take the drop";

    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(program.FilePath("one.mp3")), QUrl::fromLocalFile(program.FilePath("two.mp3")),
        QUrl::fromLocalFile(program.FilePath("three.mp3")) });
    EXPECT_TRUE(Drop(files, onList));
    EXPECT_EQ(window->Radio().GetStationUrl(), program.FilePath("one.mp3"));

    // A browser offers the address as a link and as text; a file manager a file and its path as text.
    QMimeData browser;
    browser.setUrls({ QUrl("http://127.0.0.1:9/link") });
    browser.setText("http://127.0.0.1:9/link");
    EXPECT_TRUE(Drop(browser, body));
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/link");

    const QString skinZip = program.FilePath("Dusk.zip");
    ASSERT_TRUE(WriteOneItemZip(skinZip, "Dusk.kvn/skin.kvn",
        "<?xml version=\"1.0\"?><XMLConfigSettings><Author><Name>Dusk</Name></Author></XMLConfigSettings>"));
    QMimeData fileManager;
    fileManager.setUrls({ QUrl::fromLocalFile(skinZip) });
    fileManager.setText(skinZip);
    EXPECT_TRUE(Drop(fileManager, body));
    EXPECT_EQ(window->SkinLayout().AuthorName(), "Dusk") << "the skin was installed and applied";

    // Too long to hand on whole: refused, nothing played.
    const QString before = window->Radio().GetStationUrl();
    QMimeData longText;
    longText.setText("http://127.0.0.1:9/" + QString(CDropTarget::kMaxText, u'x'));
    EXPECT_FALSE(Drop(longText, body));
    QMimeData longPath;
    longPath.setUrls({ QUrl::fromLocalFile("/tmp/" + QString(CDropTarget::kMaxPath, u'p')) });
    EXPECT_FALSE(Drop(longPath, body));
    QMimeData unreadable;
    unreadable.setUrls({ QUrl("file:") });
    EXPECT_FALSE(Drop(unreadable, body));
    EXPECT_EQ(window->Radio().GetStationUrl(), before);
    window->Playback().OnStop();
}

} // namespace
