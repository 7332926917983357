#include "ui/mainwindow/SettingsKeeper.h"

#include "audio/RadioManager.h"
#include "core/Favorites.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/options/GeneralProperties.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace
{

// A keeper over the objects a window would own, in a portable program folder, with a clock of its own.
class SettingsKeeperTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ui_testing::EnsureApplication(); }

    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
        keeper = MakeKeeper();
    }

    std::unique_ptr<CSettingsKeeper> MakeKeeper()
    {
        CSettingsKeeper::Hooks hooks;
        hooks.layout = [this] { return layout; };
        hooks.restoreLayout = [this](const CSettingsKeeper::Layout& read) {
            layout = read;
            ++restored;
        };
        hooks.setBufferSizeMs = [this](int ms) { bufferMs = ms; };
        hooks.now = [this] { return now; };
        return std::make_unique<CSettingsKeeper>(
            CSettingsKeeper::Shared { radio, favorites, history, general, *volume, *filter, *list, *pictureArt },
            std::move(hooks));
    }

    QString SettingsPath() const { return program.FilePath("Kavrilune.xml"); }
    QString SettingsText() const { return QString::fromUtf8(ReadBytes(SettingsPath())); }
    void WriteSettings(const QByteArray& general)
    {
        ASSERT_TRUE(
            WriteBytes(SettingsPath(), "<XMLConfigSettings><General>" + general + "</General></XMLConfigSettings>"));
    }

    TempProgramFolder program;
    QTemporaryDir dataHome;
    QTemporaryDir configHome;
    CRadioManager radio;
    CFavorites favorites;
    CFavorites history;
    CGeneralProperties general;
    QWidget window;
    CSliderCtrlEx* volume = new CSliderCtrlEx(&window);
    CFilterBox* filter = new CFilterBox(&window);
    CStationsListCtrl* list = new CStationsListCtrl(&window, &window);
    CPictureArtDlg* pictureArt = new CPictureArtDlg(&window);
    CSettingsKeeper::Layout layout;
    int restored = 0;
    int bufferMs = 0;
    int64_t now = 1000;
    std::unique_ptr<CSettingsKeeper> keeper;
};

TEST_F(SettingsKeeperTest, TheWindowsSettingsComeBackFromTheSharedFileAndGoBackWithTheOthersKept)
{
    WriteSettings("<Autoplay>0</Autoplay><Volume>70</Volume><Equalizer>2</Equalizer><Expanded>1</Expanded>"
                  "<OnTop>1</OnTop><Station_URL>http://127.0.0.1:9/a</Station_URL>"
                  "<Station_Title>Harbour Radio</Station_Title><Window_x>30</Window_x><Window_y>40</Window_y>"
                  "<WindowExpanded_x>50</WindowExpanded_x><WindowExpanded_y>60</WindowExpanded_y>");
    EXPECT_EQ(keeper->LocateSettingsFile(), SettingsPath());
    EXPECT_TRUE(keeper->IsPortable());
    int volumeChanges = 0;
    QObject::connect(volume, &QAbstractSlider::valueChanged, [&volumeChanges] { ++volumeChanges; });
    keeper->LoadSettings();

    EXPECT_EQ(volume->value(), 70);
    EXPECT_EQ(volumeChanges, 0) << "reading the volume is no change to be saved";
    EXPECT_EQ(radio.GetEqualizerPreset(), 2);
    EXPECT_EQ(radio.GetStationName(), "Harbour Radio");
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/a");
    EXPECT_EQ(restored, 1);
    EXPECT_TRUE(layout.expanded && layout.onTop);
    EXPECT_EQ(layout.windowPos, QPoint(30, 40));
    EXPECT_EQ(layout.expandedPos, QPoint(50, 60));
    EXPECT_EQ(bufferMs, 4000);
    EXPECT_TRUE(SettingsText().contains("<BufferSize>4</BufferSize>")) << "the missing buffer size is created";

    volume->setValue(33);
    layout = { QPoint(1, 2), QPoint(3, 4), false, false };
    keeper->SaveSettings(keeper->TakeSettingsSnapshot());
    const QString saved = SettingsText();
    for (const char* key : { "<Volume>33</Volume>", "<Window_x>1</Window_x>", "<WindowExpanded_y>4</WindowExpanded_y>",
             "<Expanded>0</Expanded>", "<OnTop>0</OnTop>", "<Station_Title>Harbour Radio</Station_Title>",
             "<Autoplay>0</Autoplay>", "<ColumnWidth0>" })
        EXPECT_TRUE(saved.contains(key)) << key;
}

TEST_F(SettingsKeeperTest, AChangeIsSavedOnceItIsOverTenSecondsOldAndAStartNeverShownWritesNothingAtExit)
{
    WriteSettings("<Volume>20</Volume>");
    keeper->LocateSettingsFile();
    keeper->LoadSettings();
    volume->setValue(61);
    keeper->MarkDirty();
    now += 10;
    keeper->SaveIfDue();
    keeper->WaitForSettingsSave();
    EXPECT_TRUE(keeper->IsDirty());
    EXPECT_FALSE(SettingsText().contains("<Volume>61</Volume>"));
    now += 1;
    keeper->SaveIfDue();
    keeper->WaitForSettingsSave();
    EXPECT_FALSE(keeper->IsDirty());
    EXPECT_TRUE(SettingsText().contains("<Volume>61</Volume>"));

    volume->setValue(62);
    keeper->SkipSaveAtExit();
    const QByteArray before = ReadBytes(SettingsPath());
    keeper->SaveAtExit();
    EXPECT_TRUE(ReadBytes(SettingsPath()) == before) << "the running instance owns the file";

    keeper = MakeKeeper();
    keeper->LocateSettingsFile();
    keeper->SaveAtExit();
    EXPECT_TRUE(SettingsText().contains("<Volume>62</Volume>"));
}

TEST_F(SettingsKeeperTest, TheUserFolderIsTheAbsoluteXdgDataHomeElseBelowHomeEvenWithoutOne)
{
    EXPECT_EQ(keeper->CreateUserFolder(false), dataHome.path() + "/Kavrilune");
    const QByteArray home = qgetenv("HOME");
    qputenv("XDG_DATA_HOME", "relative/data"); // not absolute: ignored
    EXPECT_EQ(keeper->CreateUserFolder(false), QDir::homePath() + "/.local/share/Kavrilune");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("HOME"); // the home folder is then "/"
    EXPECT_EQ(keeper->CreateUserFolder(false), "/.local/share/Kavrilune");
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
}

} // namespace
