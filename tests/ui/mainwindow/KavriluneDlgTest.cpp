#include "tests/ui/mainwindow/MainWindowFixture.h"

#include "audio/RadioPlayer.h"
#include "core/ErrorLog.h"
#include "core/Favorites.h"
#include "core/Localization.h"
#include "core/ServerHosts.h"
#include "core/XMLSettings.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/desktop/SystemTray.h"
#include "ui/mainwindow/PlayTexts.h"
#include "ui/stationlist/StationsListCtrl.h"

#include "tests/audio/IcyTestStream.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/NamedPipe.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TestMedia.h"
#include "tests/support/TestZipWriter.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QTimer>

#include <thread>

using namespace testing_support;
using ui_testing::MainWindowFixture;

namespace
{

const int kUpdateStatus = RegisterWindowMessage("WM_KAVRILUNE_UPDATE_STATUS_");
const int kTerminate = RegisterWindowMessage("WM_KAVRILUNE_TERMINATE");
const int kLoadSkin = RegisterWindowMessage("WM_KAVRILUNE_LOAD_SKIN");

// A sine tone long enough to stay playing for a test, made once per test program.
QString SineFile()
{
    static QTemporaryDir folder;
    static const QString path = folder.path() + "/tone.mp3";
    static const bool made = [] {
        SineOptions options;
        options.seconds = 60;
        return GenerateSine(path, MediaFormat::Mp3, options);
    }();
    return made ? path : QString();
}

// Records the players that report to the window.
class StatusWatcher : public QObject
{
public:
    explicit StatusWatcher(QObject* window) { window->installEventFilter(this); }
    std::vector<std::pair<int, LPARAM>> statuses;
    bool Saw(int code, LPARAM player) const
    {
        return std::find(statuses.begin(), statuses.end(), std::make_pair(code, player)) != statuses.end();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (WindowMessage* message = AsWindowMessage(event); message && message->message() == kUpdateStatus)
            statuses.emplace_back(int(message->wParam), message->lParam);
        return false;
    }
};

class MainWindowTest : public MainWindowFixture
{
protected:
    // Plays the tone file and returns its player once it plays.
    LPARAM PlayTone(StatusWatcher& watcher)
    {
        const size_t before = watcher.statuses.size();
        window->Playback().OnDropFile(SineFile());
        LPARAM player = 0;
        PumpUntil(
            [&] {
                for (size_t i = before; i < watcher.statuses.size(); ++i)
                    if (watcher.statuses[i].first == PlayerStatusPlaying)
                        player = watcher.statuses[i].second;
                return player != 0;
            },
            10000);
        return player;
    }

    void PressKey(QWidget* target, int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }

    void DoubleClickBody()
    {
        const QPoint body(3, window->height() / 2);
        ASSERT_EQ(window->childAt(body), nullptr) << "the point must lie on the window's body";
        QMouseEvent click(QEvent::MouseButtonDblClick, body, window->mapToGlobal(body), Qt::LeftButton, Qt::LeftButton,
            Qt::NoModifier);
        QApplication::sendEvent(window.get(), &click);
    }
};

TEST_F(MainWindowTest, StartUpRunsOnceTheLoopTurnsAndHoldsASlotTimersAndTheTray)
{
    auto backend = std::make_unique<ui_testing::FakeTrayBackend>();
    tray = backend.get();
    window = std::make_unique<CKavriluneDlg>(std::move(backend));
    ASSERT_TRUE(window->OnInitDialog());
    EXPECT_FALSE(window->InstanceLock().IsLocked()) << "the slot is taken only once the event loop runs";
    EXPECT_FALSE(window->Timers().IsActive(CKavriluneDlg::kTimerStatus));

    ASSERT_TRUE(PumpUntil([this] { return window->isVisible(); }, 5000));
    EXPECT_TRUE(window->InstanceLock().IsLocked());
    const std::pair<int, int> periods[] = { { CKavriluneDlg::kTimerStatus, 400 }, { CKavriluneDlg::kTimerSpectrum, 32 },
        { CKavriluneDlg::kTimerInfo, 4000 }, { CKavriluneDlg::kTimerUpdateCheck, 600000 },
        { CKavriluneDlg::kTimerStationsCheck, 360000 }, { CKavriluneDlg::kTimerPlayReport, 600000 } };
    for (const auto& [number, period] : periods) {
        EXPECT_TRUE(window->Timers().IsActive(number)) << number;
        EXPECT_EQ(window->Timers().Period(number), period) << number;
    }
    EXPECT_FALSE(window->Timers().IsActive(CKavriluneDlg::kTimerShow)) << "the show timer fires once";
    EXPECT_EQ(tray->toolTip, "Kavri? Lune!");
    EXPECT_TRUE(window->Tray().IsAdded());
    EXPECT_EQ(window->Tray().IconId(), CSystemTray::kIconNormal);
    EXPECT_EQ(window->windowTitle(), "Kavri? Lune!");
    EXPECT_EQ(window->SkinLayout().AuthorName(), "Kavrilune");
    EXPECT_TRUE(program.LogEntries().isEmpty()) << program.LogEntries().join('\n').toStdString();
}

TEST_F(MainWindowTest, TheSpectrumAnimatesOnlyWhileTheWindowIsShown)
{
    Start();
    const auto spectrumRuns = [this] { return window->Timers().IsActive(CKavriluneDlg::kTimerSpectrum); };
    EXPECT_TRUE(spectrumRuns());
    for (const bool minimise : { true, false }) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        if (minimise)
            window->showMinimized();
        else
            window->hide();
        PumpFor(100);
        EXPECT_FALSE(spectrumRuns());
        const int drawn = window->Controls().spectrum->FramesDrawn();
        PumpFor(200);
        EXPECT_EQ(window->Controls().spectrum->FramesDrawn(), drawn);

        window->showNormal();
        ASSERT_TRUE(PumpUntil([&] { return window->Presence().IsShown(); }, 5000));
        EXPECT_TRUE(spectrumRuns());
        EXPECT_EQ(window->Timers().Period(CKavriluneDlg::kTimerSpectrum), 32);
        EXPECT_TRUE(PumpUntil([&] { return window->Controls().spectrum->FramesDrawn() > drawn; }, 5000));
    }
}

TEST_F(MainWindowTest, DecliningToStopARecordingKeepsTheProgramRunningHiddenWithItsTrayIcon)
{
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDNO; });
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    ASSERT_TRUE(window->Radio().IsRecording());

    window->close();
    EXPECT_EQ(boxes.texts, QStringList { GetLangString(300) });
    EXPECT_FALSE(window->Lifecycle().IsClosing());
    EXPECT_FALSE(window->Presence().IsShown()) << "closing hid the window all the same";
    EXPECT_TRUE(window->Radio().IsRecording());
    EXPECT_TRUE(window->Tray().IsAdded());
    EXPECT_FALSE(window->Timers().IsActive(CKavriluneDlg::kTimerQuitForce));
}

TEST_F(MainWindowTest, AcceptedExitEndsTheLoopWithCodeZeroEvenWhenAPlayerNeverFinishes)
{
    // A station that accepts the connection and never sends anything keeps its player connecting.
    LoopbackHttpServer server;
    server.Route("/silent", [](HttpConnection& connection) { connection.Sleep(60000); });
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    window->Playback().OnDropText(server.Url("/silent"));
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    ASSERT_EQ(window->Radio().GetPlayerCount(), 1);

    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, window.get(), [this] { window->OnCommand(CKavriluneDlg::kCommandExit); });
    QTimer guard;
    guard.callOnTimeout([] { QCoreApplication::exit(99); });
    guard.start(8000);
    const int code = QApplication::exec();
    EXPECT_EQ(code, 0);
    EXPECT_LT(clock.elapsed(), 5500);
    EXPECT_TRUE(window->Lifecycle().IsClosing());
    EXPECT_FALSE(window->Tray().IsAdded());
    EXPECT_FALSE(window->Radio().IsRecording());
    EXPECT_TRUE(SettingsText().contains("<Station_URL>" + server.Url("/silent") + "</Station_URL>"));
}

TEST_F(MainWindowTest, TerminateFromThisProcessIsIgnoredAndFromAnotherEndsIt)
{
    Start();
    const auto self = LPARAM(QCoreApplication::applicationPid());
    EXPECT_EQ(SendWindowMessage(window.get(), kTerminate, 0, self), 1);
    EXPECT_FALSE(window->Lifecycle().IsClosing());
    SendWindowMessage(window.get(), kTerminate, 0, self + 1);
    EXPECT_TRUE(window->Lifecycle().IsClosing());
    EXPECT_TRUE(window->Timers().IsActive(CKavriluneDlg::kTimerQuitPoll));
}

TEST_F(MainWindowTest, DataFilesLieBesideAPortableProgramAndInTheUserFolderWhenInstalled)
{
    QFile::remove(SettingsPath());
    const QString userFolder = dataHome.path() + "/Kavrilune/";
    ASSERT_TRUE(QDir().mkpath(userFolder));
    ASSERT_TRUE(WriteBytes(
        userFolder + "Kavrilune.xml", "<XMLConfigSettings><General><Volume>33</Volume></General></XMLConfigSettings>"));
    const QByteArray userCopy = ReadBytes(userFolder + "Kavrilune.xml");

    CKavriluneDlg portable(std::make_unique<ui_testing::FakeTrayBackend>());
    EXPECT_EQ(portable.Settings().GetDataFilePath("Kavrilune.xml"), SettingsPath());
    EXPECT_TRUE(portable.Settings().IsPortable());
    EXPECT_EQ(ReadBytes(SettingsPath()), userCopy) << "the user's file came along once";
    WriteSettings("<General><Volume>44</Volume></General>");
    portable.Settings().GetDataFilePath("Kavrilune.xml");
    EXPECT_TRUE(SettingsText().contains("<Volume>44</Volume>")) << "an existing file is never overwritten";
    EXPECT_EQ(ReadBytes(userFolder + "Kavrilune.xml"), userCopy);

    ASSERT_TRUE(WriteBytes(program.FilePath("Uninstall.exe"), "MZ"));
    QDir(dataHome.path() + "/Kavrilune").removeRecursively();
    EXPECT_EQ(portable.Settings().GetDataFilePath("mystations.kvd"), dataHome.path() + "/Kavrilune/mystations.kvd");
    EXPECT_FALSE(portable.Settings().IsPortable());
    EXPECT_TRUE(QFileInfo(dataHome.path() + "/Kavrilune").isDir()) << "created at the first call";
}

TEST_F(MainWindowTest, AProgramFolderThatCannotBeWrittenKeepsTheDataInTheUserFolderSeededOnce)
{
    // Not even root may write on a read-only mount.
    ScratchMount mount(program.FilePath("readonly"), 1 << 20);
    if (!mount.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    const QByteArray shipped = "<XMLConfigSettings><General><Volume>21</Volume></General></XMLConfigSettings>";
    ASSERT_TRUE(WriteBytes(mount.Folder() + "/Kavrilune.xml", shipped));
    ASSERT_TRUE(mount.MakeReadOnly());
    SetAppFolderOverride(mount.Folder());
    ScriptedMessageBoxes boxes;

    CKavriluneDlg installed(std::make_unique<ui_testing::FakeTrayBackend>());
    const QString userFile = dataHome.path() + "/Kavrilune/Kavrilune.xml";
    EXPECT_EQ(installed.Settings().GetDataFilePath("Kavrilune.xml"), userFile);
    EXPECT_FALSE(installed.Settings().IsPortable());
    EXPECT_EQ(ReadBytes(userFile), shipped) << "the user starts from the shipped settings";
    ASSERT_TRUE(WriteBytes(userFile, "<XMLConfigSettings><General><Volume>44</Volume></General></XMLConfigSettings>"));
    installed.Settings().GetDataFilePath("Kavrilune.xml");
    EXPECT_TRUE(ReadBytes(userFile).contains("<Volume>44</Volume>")) << "seeded once, never overwritten";
    EXPECT_EQ(installed.Settings().GetDataFilePath("mystations.kvd"), dataHome.path() + "/Kavrilune/mystations.kvd");
    EXPECT_TRUE(boxes.texts.isEmpty());

    // Nowhere to write at all: said once.
    ScratchMount data(dataHome.path() + "/readonly", 1 << 20);
    ASSERT_TRUE(data.IsMounted() && data.MakeReadOnly());
    qputenv("XDG_DATA_HOME", data.Folder().toUtf8());
    CKavriluneDlg stranded(std::make_unique<ui_testing::FakeTrayBackend>());
    stranded.Settings().GetDataFilePath("mystations.kvd");
    stranded.Settings().GetDataFilePath("Kavrilune.xml");
    EXPECT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts.value(0).contains(data.Folder() + "/Kavrilune")) << boxes.texts.value(0).toStdString();
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    SetAppFolderOverride(program.Path());
}

TEST_F(MainWindowTest, AnEndingSignalSavesAndClosesTheRecordingWithoutWaitingForAnAnswer)
{
    Start();
    int asked = 0;
    ScriptedMessageBoxes boxes([&asked](const QString&, unsigned) {
        ++asked;
        return IDNO;
    });
    window->Controls().volume->setValue(61);
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    window->OnExitSignal();
    EXPECT_FALSE(window->Radio().IsRecording());
    ASSERT_TRUE(PumpUntil([this] { return window->Lifecycle().IsClosing(); }, 5000));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(SettingsText().contains("<Volume>61</Volume>"));

    // The signal comes while the exit routine asks about the recording: nobody answers.
    window.reset();
    Start();
    ScriptedMessageBoxes unanswered([this, &asked](const QString&, unsigned) {
        ++asked;
        window->OnExitSignal();
        return IDCANCEL;
    });
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    window->Lifecycle().OnExit();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(window->Radio().IsRecording());
    EXPECT_TRUE(PumpUntil([this] { return window->Lifecycle().IsClosing(); }, 5000))
        << "the signal's own run of the exit routine";
    EXPECT_EQ(asked, 1);
}

TEST_F(MainWindowTest, WindowSettingsRoundTripAndTheMissingBufferSizeIsCreated)
{
    WriteSettings("<General><Autoplay>0</Autoplay><Check_updates>0</Check_updates><Volume>70</Volume>"
                  "<Equalizer>2</Equalizer><Expanded>1</Expanded><OnTop>1</OnTop>"
                  "<Station_URL>http://127.0.0.1:9/a</Station_URL><Station_Title>Harbour Radio</Station_Title>"
                  "<Window_x>30</Window_x><Window_y>40</Window_y>"
                  "<WindowExpanded_x>50</WindowExpanded_x><WindowExpanded_y>60</WindowExpanded_y>"
                  "<Language>English.lng</Language><PictureArt><x>700</x><y>650</y></PictureArt></General>");
    Start();
    EXPECT_EQ(window->Controls().volume->value(), 70);
    EXPECT_EQ(window->BufferSizeMs(), 4000);
    EXPECT_TRUE(SettingsText().contains("<BufferSize>4</BufferSize>"));
    EXPECT_EQ(window->Radio().GetEqualizerPreset(), 2);
    EXPECT_TRUE(window->Presence().IsExpanded());
    EXPECT_TRUE(window->Presence().IsOnTop());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window->Radio().GetStationName(), "Harbour Radio");
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/a");
    EXPECT_EQ(window->size(), QSize(620, 500)) << "the expanded layout";
    EXPECT_EQ(window->pos(), QPoint(50, 60));

    window->Options().general.m_startup = true;
    window->Lifecycle().OnExit();
    const QString saved = SettingsText();
    for (const char* key : { "<Volume>70</Volume>", "<Equalizer>2</Equalizer>", "<Expanded>1</Expanded>",
             "<OnTop>1</OnTop>", "<Window_x>30</Window_x>", "<Window_y>40</Window_y>",
             "<WindowExpanded_x>50</WindowExpanded_x>", "<WindowExpanded_y>60</WindowExpanded_y>",
             "<Station_Title>Harbour Radio</Station_Title>", "<Language>English.lng</Language>", "<x>700</x>",
             "<y>650</y>", "<BufferSize>4</BufferSize>", "<ColumnWidth0>" })
        EXPECT_TRUE(saved.contains(key)) << key;

    const QString entry = configHome.path() + "/autostart/Kavrilune.desktop";
    EXPECT_TRUE(QString::fromUtf8(ReadBytes(entry)).contains("/hidden"));
    window->Options().general.m_startup = false;
    window->Settings().SaveSettings(window->Settings().TakeSettingsSnapshot());
    EXPECT_FALSE(QFile::exists(entry));
}

TEST_F(MainWindowTest, BackgroundSavesRacingFavouritesAndTheExitSaveLoseNothing)
{
    Start();
    window->Controls().volume->setValue(37);
    CFavorites& favorites = window->Favorites();
    favorites.WaitForThreads();
    for (int round = 0; round < 200; ++round) {
        window->Settings().StartSettingsSaveThread();
        std::thread adder([&favorites, round] {
            favorites.AddAndSave(
                QStringLiteral("Station %1").arg(round % 25), QStringLiteral("http://127.0.0.1/%1").arg(round), 0);
        });
        window->Settings().SaveSettings(window->Settings().TakeSettingsSnapshot());
        adder.join();
    }
    window->Settings().WaitForSettingsSave();
    CXMLSettings settings(SettingsPath());
    for (int i = 0; i < 25; ++i)
        EXPECT_TRUE(SettingsText().contains(QStringLiteral("<Title_%1>").arg(i + 1))) << i;
    EXPECT_EQ(settings.GetInt("General", "Volume", -1, false), 37);
    EXPECT_EQ(settings.GetInt("General", "Autoplay", -1, false), 0);
    EXPECT_EQ(settings.GetString("General", "Station_URL", "", false), window->Radio().GetStationUrl());
    EXPECT_EQ(settings.GetInt("General", "BufferSize", -1, false), 4);
}

TEST_F(MainWindowTest, SkinAppliesOnlyWhenForcedOrChangedAndMissingSectionsKeepTheirDefaults)
{
    Start();
    const int applied = window->SkinLayout().ApplyCount();
    SendWindowMessage(window.get(), kLoadSkin, 0, 0);
    EXPECT_EQ(window->SkinLayout().ApplyCount(), applied) << "the same skin again changes nothing";

    const QString skinFile = program.Path() + "skins/Standard.kvn/skin.kvn";
    QString text = QString::fromUtf8(ReadBytes(skinFile));
    text.replace("<Name>Kavrilune</Name>", "<Name>Someone Else</Name>");
    ASSERT_TRUE(WriteBytes(skinFile, text.toUtf8()));
    PressKey(window->Controls().filter, Qt::Key_F5);
    EXPECT_EQ(window->SkinLayout().ApplyCount(), applied + 1);
    EXPECT_EQ(window->SkinLayout().AuthorName(), "Someone Else");

    ASSERT_TRUE(skin_test::WriteSkinFile(program.Path() + "skins/Plain.kvn/skin.kvn",
        "<Window><Frame>1</Frame><width>390</width><height>312</height></Window>"));
    window->Options().skins.m_skin = "Plain";
    SendWindowMessage(window.get(), kLoadSkin, 0, 0);
    EXPECT_EQ(window->SkinLayout().ApplyCount(), applied + 2);
    EXPECT_EQ(window->Controls().list->geometry(), QRect(11, 33, 369, 153));
    EXPECT_EQ(window->SkinLayout().AuthorName(), "unknown author");

    window->Options().skins.m_skin = "Missing";
    window->SkinLayout().ApplySkin(0, true);
    EXPECT_EQ(window->Options().skins.m_skin, "Standard") << "an unknown skin falls back";

    // A name leading out of the skins folder falls back too, and the file there stays as it was.
    const QString outside = program.Path() + "outside.kvn/skin.kvn";
    ASSERT_TRUE(skin_test::WriteSkinFile(outside, "<Window><Frame>1</Frame><width>377</width></Window>"));
    const QByteArray before = ReadBytes(outside);
    const QSize standard = window->size();
    window->Options().skins.m_skin = "../outside";
    window->SkinLayout().ApplySkin(0, true);
    EXPECT_EQ(window->Options().skins.m_skin, "Standard");
    EXPECT_EQ(window->size(), standard);
    EXPECT_EQ(ReadBytes(outside), before);
}

TEST_F(MainWindowTest, TheShippedSkinsShowTheLongestOfTheirOwnTextsInFull)
{
    ASSERT_TRUE(skin_test::CopyStagedSkin("Light.kvn", program.Path()));
    Start();
    // What each label can show, at its longest (elapsed times run up to "59:59", stations to five digits).
    QStringList statuses;
    for (const int text : { 2, 3, 4, 5, 6, 7, 8, 9, 10 })
        statuses << GetLangString(text);
    statuses << GetLangString(1) + " (" + FormatElapsedTime(59 * 60 + 59) + ")";
    const QStringList buffers = { FormatLangText(GetLangString(12), { "100" }) };
    const QStringList founds = { FormatLangText(GetLangString(106), { "99999" }) };
    QStringList formats;
    for (const char* codec : { "OGG", "MP1", "MP2", "MP3", "WMA", "AAC", "MP4", "WAV" })
        formats << StreamFormatText(codec, 1536);
    // Text is measured unhinted with some room to spare: at twice the density it is hinted otherwise.
    constexpr qreal kSlack = 2.0;
    const auto check = [&](const char* layout) {
        const std::pair<CHyperStatic*, const QStringList*> labels[] = { { window->Controls().status, &statuses },
            { window->Controls().bufferInfo, &buffers }, { window->Controls().foundNumber, &founds } };
        for (const auto& [label, texts] : labels) {
            if (!label->isVisibleTo(window.get()))
                continue;
            const QFontMetricsF metrics(label->DrawingFont());
            for (const QString& text : *texts)
                EXPECT_LE(metrics.horizontalAdvance(text) + kSlack, label->width() - 1)
                    << layout << ": \"" << qPrintable(text) << "\" in a label " << label->width() << " wide";
            EXPECT_GE(label->height(), label->TextSize()) << layout;
        }
        // The stream format sits on a pill with rounded ends: half its height of room on either side.
        CGdipButton* sources = window->Controls().Button(CKavriluneDlg::kCommandSources);
        const QFontMetricsF metrics(sources->font());
        for (const QString& text : formats)
            EXPECT_LE(metrics.horizontalAdvance(text) + sources->height(), sources->width())
                << layout << ": \"" << qPrintable(text) << "\"";
    };
    check("Standard");

    // Where both of the list's scroll bars show, the corner between them is the list's own colour.
    CStationsListCtrl& list = *window->Controls().list;
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PumpFor(20);
    const QRect inside = list.viewport()->geometry();
    const QRect corner(inside.right() + 1, inside.bottom() + 1, list.width() - inside.right() - 1 - list.frameWidth(),
        list.height() - inside.bottom() - 1 - list.frameWidth());
    ASSERT_GE(corner.width(), 4);
    ASSERT_GE(corner.height(), 4);
    const QImage cornerImage = skin_test::Render(&list, 2.0).copy(QRect(corner.topLeft() * 2, corner.size() * 2));
    EXPECT_TRUE(skin_test::IsUniform(cornerImage));
    EXPECT_EQ(cornerImage.pixelColor(0, 0), list.BkColor());
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    window->Presence().OnExpand();
    ASSERT_TRUE(window->Presence().IsExpanded());
    check("Standard, expanded");
    window->Presence().OnExpand();
    window->Options().skins.m_skin = "Light";
    window->SkinLayout().ApplySkin(0, true);
    ASSERT_EQ(window->Options().skins.m_skin, "Light");
    check("Light");
    window->Presence().OnExpand();
    check("Light, expanded");
}

TEST_F(MainWindowTest, DoubleClickSwitchesLayoutsEachKeepingItsPositionAndEnterIsIgnored)
{
    Start();
    window->move(100, 120);
    DoubleClickBody();
    EXPECT_TRUE(window->Presence().IsExpanded());
    EXPECT_EQ(window->size(), QSize(620, 500));
    window->move(70, 80);
    DoubleClickBody();
    EXPECT_FALSE(window->Presence().IsExpanded());
    EXPECT_EQ(window->pos(), QPoint(100, 120));
    DoubleClickBody();
    EXPECT_EQ(window->pos(), QPoint(70, 80));
    DoubleClickBody();

    CFilterBox& filter = *window->Controls().filter;
    filter.setFocus();
    filter.setEditText("jazz");
    const int entries = filter.count();
    PressKey(&filter, Qt::Key_Return);
    PressKey(window.get(), Qt::Key_Enter);
    EXPECT_EQ(filter.count(), entries) << "Enter did not reach the box";
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Radio().IsPlaying());
}

TEST_F(MainWindowTest, StatusTextsFollowTheCurrentPlayerAndFinishedStalePlayersAreDeleted)
{
    ASSERT_FALSE(SineFile().isEmpty());
    Start();
    window->Options().general.m_crossfade = false;
    StatusWatcher watcher(window.get());
    window->Playback().OnUpdateStatus(PlayerStatusCannotConnect, 0);
    EXPECT_EQ(window->Controls().status->Text(), "") << "no watchdog report before anything played";

    const LPARAM first = PlayTone(watcher);
    ASSERT_NE(first, 0);
    EXPECT_TRUE(window->Controls().status->Text().startsWith("Playing ("));
    EXPECT_TRUE(window->Controls().Button(CKavriluneDlg::kCommandPlay)->IsAlternate());
    EXPECT_EQ(window->windowTitle(), window->Radio().GetStationName());
    EXPECT_EQ(window->Radio().GetStationUrl(), SineFile());

    const std::pair<int, const char*> texts[] = { { PlayerStatusInitializing, "Initialization..." },
        { PlayerStatusInitFailed, "Cannot initialize." }, { PlayerStatusInitDone, "Initialization completed." },
        { PlayerStatusStopping, "Stopping..." }, { PlayerStatusStopped, "Stopped." },
        { PlayerStatusConnecting, "Connecting..." }, { PlayerStatusBuffering, "Buffering..." },
        { PlayerStatusConnectionError, "Connection Error." }, { PlayerStatusStoppedByItself, "Cannot connect." } };
    const LPARAM stale = first + 8;
    for (const auto& [code, text] : texts) {
        window->Playback().OnUpdateStatus(WPARAM(code), first);
        EXPECT_EQ(window->Controls().status->Text(), text) << code;
        EXPECT_EQ(window->Display().LastStatus(), code);
        window->Playback().OnUpdateStatus(
            WPARAM(PlayerStatusBuffering == code ? PlayerStatusConnecting : PlayerStatusBuffering), stale);
        EXPECT_EQ(window->Controls().status->Text(), text) << "a stale player's " << code << " changes nothing";
    }
    window->Playback().OnUpdateStatus(WPARAM(PlayerStatusBuffering), first);
    window->Playback().OnUpdateStatus(WPARAM(PlayerStatusCannotConnect), stale);
    EXPECT_EQ(window->Controls().status->Text(), "Cannot connect.") << "7 from any sender";
    window->Playback().OnUpdateStatus(WPARAM(PlayerStatusPlaying), first);
    EXPECT_TRUE(window->Controls().status->Text().startsWith("Playing ("));

    // The second station replaces the first, whose own "finished" still deletes it.
    const LPARAM second = PlayTone(watcher);
    ASSERT_NE(second, 0);
    EXPECT_TRUE(PumpUntil([&] { return watcher.Saw(PlayerStatusFinished, first); }, 10000));
    PumpFor(50);
    EXPECT_EQ(window->Radio().GetPlayerCount(), 1);
    EXPECT_TRUE(window->Radio().IsCurrentPlayer(reinterpret_cast<RadioPlayer*>(second)));

    window->Playback().OnStop();
    EXPECT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    EXPECT_EQ(window->Controls().status->Text(), "Stopped.");
    EXPECT_FALSE(window->Controls().Button(CKavriluneDlg::kCommandPlay)->IsAlternate());
    EXPECT_EQ(window->windowTitle(), "Kavri? Lune!");
}

TEST_F(MainWindowTest, AUserStopStaysStoppedAndADeadStationLeavesNothingClaimingToPlay)
{
    LoopbackHttpServer server;
    server.Route("/silent", [](HttpConnection& connection) { connection.Sleep(60000); });
    Start();
    window->Playback().OnDropText(server.Url("/silent"));
    PumpFor(300);
    window->Playback().OnStop();
    ASSERT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    EXPECT_EQ(window->Controls().status->Text(), "Stopped.");
    for (int tick = 0; tick < 2; ++tick) {
        window->OnTimer(CKavriluneDlg::kTimerInfo);
        PumpFor(50);
    }
    EXPECT_EQ(window->Controls().status->Text(), "Stopped.") << "the watchdog took the stop for a failure";

    // A refused port: once its player is gone nothing says it plays, without waiting for a tick.
    window->Playback().OnDropText("http://127.0.0.1:9/dead");
    ASSERT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    EXPECT_EQ(window->Controls().status->Text(), "Cannot connect.");
    EXPECT_FALSE(window->Radio().IsPlaying()) << "the media controls' playback status";
    EXPECT_FALSE(window->Controls().Button(CKavriluneDlg::kCommandPlay)->IsAlternate());
    EXPECT_EQ(window->windowTitle(), "Kavri? Lune!");
    EXPECT_EQ(tray->toolTip, "Kavri? Lune!");
    window->OnTimer(CKavriluneDlg::kTimerInfo);
    PumpFor(50);
    EXPECT_EQ(window->windowTitle(), "Kavri? Lune!");
    EXPECT_EQ(window->Controls().status->Text(), "Cannot connect.");
}

TEST_F(MainWindowTest, WithoutAnySoundDeviceTheStatusSaysSoNothingClaimsToPlayAndARecordingStillRuns)
{
    ASSERT_FALSE(SineFile().isEmpty());
    IcyTestStream stream;
    stream.audio = ReadBytes(SineFile());
    LoopbackHttpServer server;
    stream.Install(server, "/tone");
    Start();
    window->Options().recordings.m_folder = program.FilePath("Rec");
    StatusWatcher watcher(window.get());
    qputenv("SDL_AUDIODRIVER", "no-such-driver"); // neither a sound server nor a device
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        const size_t before = watcher.statuses.size();
        if (start == 0)
            window->Playback().OnDropText(server.Url("/tone"));
        else
            window->Playback().OnPlay(); // one press starts it again, since nothing was heard
        ASSERT_TRUE(PumpUntil(
            [&] {
                return std::any_of(watcher.statuses.begin() + long(before), watcher.statuses.end(),
                    [](const auto& status) { return status.first == PlayerStatusPlaying; });
            },
            10000));
        window->OnTimer(CKavriluneDlg::kTimerStatus);
        EXPECT_EQ(window->Controls().status->Text(), "Cannot initialize.") << "the user is told at every start";
        EXPECT_FALSE(window->Radio().IsPlaying()) << "the media controls' playback status";
        EXPECT_FALSE(window->Controls().Button(CKavriluneDlg::kCommandPlay)->IsAlternate());
        EXPECT_EQ(window->windowTitle(), "Kavri? Lune!");
        EXPECT_EQ(tray->toolTip, "Kavri? Lune!");
    }

    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDOK; });
    window->Playback().OnRecord();
    QString file;
    EXPECT_TRUE(PumpUntil(
        [&] {
            QDirIterator files(program.FilePath("Rec"), QDir::Files, QDirIterator::Subdirectories);
            file = files.hasNext() ? files.next() : QString();
            return !file.isEmpty() && QFileInfo(file).size() > 4096;
        },
        10000))
        << "the station is recorded all the same: " << boxes.texts.join('\n').toStdString();
    window->Playback().OnRecord();

    // A device again: the next press plays with sound.
    qputenv("SDL_AUDIODRIVER", "dummy");
    window->Playback().OnPlay();
    EXPECT_TRUE(PumpUntil([&] { return window->Controls().status->Text().startsWith("Playing ("); }, 10000));
    EXPECT_TRUE(window->Radio().IsPlaying());
    EXPECT_TRUE(window->Controls().Button(CKavriluneDlg::kCommandPlay)->IsAlternate());
    window->Playback().OnStop();
    EXPECT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    stream.Stop();
    server.Stop();
}

TEST_F(MainWindowTest, RecPressedWhileTheStationConnectsRecordsOnceItPlays)
{
    ASSERT_FALSE(SineFile().isEmpty());
    IcyTestStream stream;
    stream.audio = ReadBytes(SineFile());
    stream.answerDelayMs = 1000;
    LoopbackHttpServer server;
    stream.Install(server, "/slow");
    Start();
    window->Options().recordings.m_folder = program.FilePath("Rec");
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDOK; });
    window->Playback().OnDropText(server.Url("/slow"));
    window->Playback().OnRecord();
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();
    EXPECT_TRUE(window->Radio().IsRecording());
    EXPECT_TRUE(window->Controls().Button(CKavriluneDlg::kCommandRec)->IsAlternate());

    auto recording = [&] {
        QDirIterator files(program.FilePath("Rec"), QDir::Files, QDirIterator::Subdirectories);
        return files.hasNext() ? files.next() : QString();
    };
    QString file;
    ASSERT_TRUE(PumpUntil(
        [&] {
            file = recording();
            return !file.isEmpty() && QFileInfo(file).size() > 0;
        },
        15000));
    const qint64 size = QFileInfo(file).size();
    EXPECT_TRUE(PumpUntil([&] { return QFileInfo(file).size() > size; }, 5000));
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_TRUE(window->Controls().Button(CKavriluneDlg::kCommandRec)->IsAlternate());

    window->Playback().OnRecord();
    window->Playback().OnStop();
    EXPECT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    stream.Stop();
    server.Stop();
}

TEST_F(MainWindowTest, ARecordingOntoAFullDiskStopsOnceWithOneMessage)
{
    ASSERT_FALSE(SineFile().isEmpty());
    ScratchMount disk(program.FilePath("Rec"), 1024 * 1024);
    if (!disk.IsMounted())
        GTEST_SKIP() << "cannot mount a scratch file system";
    IcyTestStream stream;
    stream.audio = ReadBytes(SineFile());
    LoopbackHttpServer server;
    stream.Install(server, "/live");
    Start();
    window->Options().recordings.m_folder = disk.Folder();
    StatusWatcher watcher(window.get());
    window->Playback().OnDropText(server.Url("/live"));
    ASSERT_TRUE(PumpUntil(
        [&] {
            return std::any_of(watcher.statuses.begin(), watcher.statuses.end(),
                [](const auto& status) { return status.first == PlayerStatusPlaying; });
        },
        15000));
    ASSERT_TRUE(disk.Fill());

    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDOK; });
    window->Playback().OnRecord();
    ASSERT_TRUE(PumpUntil([&] { return !boxes.texts.isEmpty(); }, 10000));
    EXPECT_EQ(boxes.texts.front(), "Recording stopped due to unexpected error.");
    EXPECT_FALSE(window->Radio().IsRecording());
    EXPECT_FALSE(window->Controls().Button(CKavriluneDlg::kCommandRec)->IsAlternate());
    for (int tick = 0; tick < 5; ++tick) {
        window->OnTimer(CKavriluneDlg::kTimerInfo);
        PumpFor(200);
    }
    EXPECT_EQ(boxes.texts.size(), 1);
    QDirIterator files(disk.Folder(), QDir::Files, QDirIterator::Subdirectories);
    QStringList left;
    while (files.hasNext())
        left << QFileInfo(files.next()).fileName();
    EXPECT_EQ(left, QStringList { "filler" });

    window->Playback().OnStop();
    EXPECT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 10000));
    stream.Stop();
    server.Stop();
}

TEST_F(MainWindowTest, ExitingDuringACrossfadeEndsTheLoopAndLeavesNoPlayerBehind)
{
    ASSERT_FALSE(SineFile().isEmpty());
    Start();
    window->Options().general.m_crossfade = true;
    StatusWatcher watcher(window.get());
    ASSERT_NE(PlayTone(watcher), 0);
    ASSERT_NE(PlayTone(watcher), 0);
    EXPECT_EQ(window->Radio().GetPlayerCount(), 2) << "the first still fades out";

    QTimer::singleShot(0, window.get(), [this] { window->Lifecycle().OnExit(); });
    EXPECT_EQ(QApplication::exec(), 0);
    window.reset();
    const size_t seen = watcher.statuses.size();
    PumpFor(300);
    EXPECT_EQ(watcher.statuses.size(), seen);
}

TEST_F(MainWindowTest, DroppedFilesPlayInstallSkinsOrDoNothingByTheirEnding)
{
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    const QString upperZip = program.FilePath("x.ZIP");
    ASSERT_TRUE(WriteBytes(upperZip, "not a zip"));
    window->Playback().OnDropFile(upperZip);
    EXPECT_EQ(window->Radio().GetStationUrl(), upperZip) << "an upper-case ending is played as a path";

    const QString plainZip = program.FilePath("plain.zip");
    ASSERT_TRUE(WriteOneItemZip(plainZip, "readme.txt", "hello"));
    window->Playback().OnDropFile(plainZip);
    EXPECT_EQ(window->Radio().GetStationUrl(), upperZip) << "a zip that is no skin does nothing";
    EXPECT_TRUE(boxes.texts.isEmpty());

    const QString skinZip = program.FilePath("Dawn.zip");
    ASSERT_TRUE(WriteOneItemZip(skinZip, "Dawn.kvn/skin.kvn",
        QByteArray("<?xml version=\"1.0\"?><XMLConfigSettings><Window><Frame>1</Frame></Window>"
                   "<Author><Name>Dawn Painter</Name></Author></XMLConfigSettings>")));
    window->Playback().OnDropFile(skinZip);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], GetLangString(310) + " - \"Dawn.kvn\"");
    EXPECT_TRUE(QFile::exists(program.Path() + "skins/Dawn.kvn/skin.kvn"));
    EXPECT_EQ(CXMLSettings(SettingsPath()).GetString("Advanced", "Skin", "", false), "Dawn");
    EXPECT_EQ(window->SkinLayout().AuthorName(), "Dawn Painter");

    const QString shortcut = program.FilePath("station.url");
    ASSERT_TRUE(WriteBytes(shortcut, "[InternetShortcut]\r\nURL=http://127.0.0.1:9/stream\r\nIconIndex=0\r\n"));
    window->Playback().OnDropFile(shortcut);
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/stream");
    const QString bare = program.FilePath("bare.url");
    ASSERT_TRUE(WriteBytes(bare, "[InternetShortcut]\r\n"));
    window->Playback().OnDropFile(bare);
    EXPECT_EQ(window->Radio().GetStationUrl(), bare);
    window->Playback().OnStop();
}

TEST_F(MainWindowTest, DroppedPipesNeverHoldTheWindowNorAnOpeningTheExit)
{
    Start();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    const NamedPipe package(program.FilePath("pipe.zip"));
    const NamedPipe shortcut(program.FilePath("pipe.url"));
    ASSERT_TRUE(package.IsMade() && shortcut.IsMade());
    const auto drop = [&](const QString& path) {
        QElapsedTimer dropping;
        dropping.start();
        window->Playback().OnDropFile(path);
        EXPECT_LT(dropping.elapsed(), 1000) << path.toStdString() << " held the window";
    };
    drop(package.Path());
    EXPECT_TRUE(boxes.texts.isEmpty()) << "no skin package";
    EXPECT_EQ(window->Radio().GetPlayerCount(), 0);

    // Played as its own path, as a shortcut that cannot be read is, and refused like a missing file.
    drop(shortcut.Path());
    EXPECT_EQ(window->Radio().GetStationUrl(), shortcut.Path());
    EXPECT_TRUE(PumpUntil([&] { return window->Radio().GetPlayerCount() == 0; }, 3000));
    EXPECT_EQ(window->Controls().status->Text(), "Cannot connect.");

    // A playlist file naming a station that never answers is still opening when the program exits.
    LoopbackHttpServer server;
    std::atomic<int> requests { 0 };
    server.Route("/silent", [&](HttpConnection& connection) {
        ++requests;
        connection.Sleep(60000);
    });
    const QString silent = program.FilePath("silent.m3u");
    ASSERT_TRUE(WriteBytes(silent, server.Url("/silent").toUtf8() + "\n"));
    drop(silent);
    ASSERT_TRUE(PumpUntil([&] { return requests == 1; }, 5000));
    QElapsedTimer exiting;
    exiting.start();
    QTimer::singleShot(0, window.get(), [this] { window->Lifecycle().OnExit(); });
    EXPECT_EQ(QApplication::exec(), 0);
    window.reset();
    EXPECT_LT(exiting.elapsed(), 4000) << "the exit waited for the opening player";
}

TEST_F(MainWindowTest, ARoadAnsweredNoKeepsTheStationAndTheRecording)
{
    Start();
    CStationItem first;
    first.SetTitle("First");
    first.AddSource("http://127.0.0.1:9/first");
    window->Radio().SetCurrentStation(first);
    // Asked for before a player exists: the recording is wanted and counts as running.
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    window->Display().UpdateRecButton();
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDNO; });
    window->Playback().OnDropText("http://127.0.0.1:9/second");
    window->Playback().OnNext();
    PostWindowMessage(window.get(), WM_STATIONS_LIST_PLAY, 0, 0);
    PumpFor(50);
    EXPECT_EQ(boxes.texts.size(), 3);
    EXPECT_EQ(window->Radio().GetStationUrl(), "http://127.0.0.1:9/first");
    EXPECT_TRUE(window->Radio().IsRecording());
    EXPECT_TRUE(window->Controls().Button(CKavriluneDlg::kCommandRec)->IsAlternate());
    EXPECT_EQ(window->Tray().IconId(), CSystemTray::kIconRecording);

    window->Playback().OnPasteUrl(); // never asks; the clipboard is empty here
    EXPECT_EQ(boxes.texts.size(), 3);
    window->Playback().OnRecord();
    EXPECT_FALSE(window->Radio().IsRecording());
    EXPECT_EQ(window->Tray().IconId(), CSystemTray::kIconNormal);
    window->Playback().OnStop();
}

TEST_F(MainWindowTest, AChangeIsSavedOnceAtTheFirstTickMoreThanTenSecondsLaterAndADurationCountsFromWhenItWasGiven)
{
    int64_t now = std::time(nullptr);
    Start();
    window->SetClock([&now] { return now; });
    window->Controls().volume->setValue(61);
    EXPECT_TRUE(window->Settings().IsDirty());
    now += 10;
    window->Settings().SaveIfDue();
    window->Settings().WaitForSettingsSave();
    EXPECT_FALSE(SettingsText().contains("<Volume>61</Volume>"));
    now += 1;
    window->Settings().SaveIfDue();
    window->Settings().WaitForSettingsSave();
    EXPECT_TRUE(SettingsText().contains("<Volume>61</Volume>"));
    EXPECT_FALSE(window->Settings().IsDirty());

    // A limit handed over by another start counts from the hand-over, however long this one has run.
    now += 3600;
    EXPECT_EQ(window->CommandLine().ParseCommandLine("/opt/kavrilune /duration=1"), 1);
    window->OnTimer(CKavriluneDlg::kTimerInfo);
    EXPECT_FALSE(window->Lifecycle().IsClosing());
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDNO; });
    window->Radio().StartRecording(program.Path(), "Untitled", 0, false);
    now += 60;
    window->OnTimer(CKavriluneDlg::kTimerInfo);
    EXPECT_FALSE(window->Lifecycle().IsClosing());
    now += 1;
    window->OnTimer(CKavriluneDlg::kTimerInfo);
    EXPECT_TRUE(window->Lifecycle().IsClosing());
    EXPECT_TRUE(boxes.texts.isEmpty()) << "the recording stopped without a question";
    EXPECT_FALSE(window->Radio().IsRecording());
}

TEST_F(MainWindowTest, UpdateChecksRunOnlyWhenAllowedAndAlwaysRearm)
{
    LoopbackHttpServer server;
    server.RouteFixed(
        "/download/version.xml", 200, "text/xml", "<version>0.1</version><download>http://127.0.0.1/</download>");
    server.RouteFixed("/kvdbms/stations.kvdx", 404, "text/plain", "");
    SetWebHostOverride(server.Url());
    Start();

    window->OnTimer(CKavriluneDlg::kTimerUpdateCheck);
    window->OnTimer(CKavriluneDlg::kTimerStationsCheck);
    EXPECT_EQ(window->Timers().Period(CKavriluneDlg::kTimerUpdateCheck), 7200000);
    EXPECT_EQ(window->Timers().Period(CKavriluneDlg::kTimerStationsCheck), 3600000);
    PumpFor(200);
    EXPECT_EQ(server.Requests().size(), 0u);

    window->Options().general.m_checkUpdates = true;
    const std::time_t sixDaysAgo = std::time(nullptr) - 6 * 86400;
    {
        std::lock_guard fileLock(SettingsFileMutex(SettingsPath()));
        CXMLSettings settings(SettingsPath());
        settings.SetTime("General", "LastUpdateCheck", sixDaysAgo);
        settings.SetString("General", "LastStationsUpdateCheck", "not a time");
    }
    const std::time_t checked = std::time(nullptr);
    window->OnTimer(CKavriluneDlg::kTimerUpdateCheck);
    window->OnTimer(CKavriluneDlg::kTimerStationsCheck);
    EXPECT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }, 5000));
    PumpFor(200);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].path, "/download/version.xml");
    CXMLSettings settings(SettingsPath());
    // Times are kept to the minute.
    EXPECT_GE(settings.GetTime("General", "LastUpdateCheck", 0), checked - checked % 60);
    EXPECT_NO_THROW(settings.GetTime("General", "LastStationsUpdateCheck", 0)) << "the broken time was rewritten";
    SetWebHostOverride(QString());
}

} // namespace
