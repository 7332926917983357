#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/WindowMessage.h"
#include "core/XMLSettings.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/ListImageCtrl.h"
#include "ui/options/AdvancedPage.h"
#include "ui/options/FolderBrowser.h"
#include "ui/options/GeneralPage.h"
#include "ui/options/GeneralProperties.h"
#include "ui/options/OptionsSheet.h"
#include "ui/options/PropExtra.h"
#include "ui/options/PropHelp.h"
#include "ui/options/PropRecordings.h"
#include "ui/options/PropSkins.h"
#include "ui/options/RecordingsPage.h"
#include "ui/options/SkinsPage.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/SolidPng.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"
#include "tests/ui/support/UiTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace testing_support;

namespace
{

const int kLoadSkin = RegisterWindowMessage("WM_KAVRILUNE_LOAD_SKIN");
const int kPictureArtShow = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_SHOW");
const int kClearSearch = RegisterWindowMessage("WM_KAVRILUNE_CLEAR_SEARCH");

// A main window that answers the request to clear the search history as done.
class ClearingWindow : public QObject
{
public:
    int requests = 0;
    bool event(QEvent* event) override
    {
        WindowMessage* message = AsWindowMessage(event);
        if (!message || message->message() != kClearSearch)
            return QObject::event(event);
        ++requests;
        message->result = 1;
        return true;
    }
};

class OptionPagesTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    QString SettingsPath() const { return program.FilePath("Kavrilune.xml"); }
    void WriteSettings(const QString& inner) { ASSERT_TRUE(skin_test::WriteSkinFile(SettingsPath(), inner)); }
    QString SettingsText() const { return QString::fromUtf8(ReadBytes(SettingsPath())); }
    int StoredInt(const QString& section, const QString& key, int missing = -99) const
    {
        return CXMLSettings(SettingsPath()).GetInt(section, key, missing, false);
    }
    QString StoredString(const QString& section, const QString& key) const
    {
        return CXMLSettings(SettingsPath()).GetString(section, key, QStringLiteral("<none>"), false);
    }
    int Count(int message) const { return int(std::count(window.received.begin(), window.received.end(), message)); }
    void MakeSkin(const QString& folder) { ASSERT_TRUE(QDir().mkpath(program.Path() + "skins/" + folder)); }

    // The Skins page alone in an options sheet over the settings file.
    struct SkinsSheet {
        SkinsSheet(MessageRecorder& window, const QString& settingsPath)
            : sheet(nullptr, "Options")
        {
            values.SetMainWindow(&window);
            values.SetSettingsFile(settingsPath);
            sheet.AddPage("Skins", [this] { return new CSkinsPage(values); });
            page = static_cast<CSkinsPage*>(sheet.Page(0));
        }
        CPropSkins values;
        COptionsSheet sheet;
        CSkinsPage* page = nullptr;
    };

    TempProgramFolder program;
    MessageRecorder window;
};

// --- General ---

TEST_F(OptionPagesTest, GeneralPageReadsTheFileEachShowingAndOnlyApplyOrOkWriteIt)
{
    WriteSettings("<General><Volume>40</Volume></General>");
    CGeneralProperties values;
    values.SetSettingsFile(SettingsPath());
    const QString untouched = SettingsText();
    using Page = CGeneralPage;
    {
        COptionsSheet sheet(nullptr, "Options");
        sheet.AddPage("General", [&] { return new Page(values, &window); });
        auto* page = static_cast<Page*>(sheet.Page(0));
        ASSERT_TRUE(page);
        const bool defaults[] = { false, true, true, true, true, false, false };
        for (int box = 0; box < Page::kBoxCount; ++box)
            EXPECT_EQ(page->CheckBox(Page::Box(box))->isChecked(), defaults[box]) << "box " << box;
        EXPECT_EQ(SettingsText(), untouched) << "showing creates no keys";
        EXPECT_EQ(page->CheckBox(Page::kStartup)->text(), "Start with the desktop session");

        EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
        page->CheckBox(Page::kStartup)->click();
        EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
        sheet.CancelButton()->click();
    }
    EXPECT_EQ(SettingsText(), untouched) << "Cancel saves nothing";

    // Another writer changes the file; the page shows the file, not what it showed last time.
    WriteSettings("<General><Startup>1</Startup><Crossfade>0</Crossfade></General>");
    COptionsSheet sheet(nullptr, "Options");
    sheet.AddPage("General", [&] { return new Page(values, &window); });
    auto* page = static_cast<Page*>(sheet.Page(0));
    EXPECT_TRUE(page->CheckBox(Page::kStartup)->isChecked());
    EXPECT_FALSE(page->CheckBox(Page::kCrossfade)->isChecked());

    page->CheckBox(Page::kCrossfade)->click();
    sheet.ApplyButton()->click();
    EXPECT_EQ(StoredInt("General", "Crossfade"), 1);
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
    WriteSettings("<General><Crossfade>0</Crossfade></General>");
    page->CheckBox(Page::kGlobalHotkeys)->click();
    sheet.ApplyButton()->click();
    EXPECT_EQ(StoredInt("General", "Crossfade"), 1) << "the second Apply writes every key again";
    EXPECT_EQ(StoredInt("General", "GlobalHotkeys"), 1);
    EXPECT_TRUE(page->CheckBox(Page::kGlobalHotkeys)->isChecked());

    sheet.OkButton()->click();
    for (const char* key :
        { "Crossfade", "Startup", "Autoplay", "Check_updates", "Normalization", "GlobalHotkeys", "MinimizeToTray" })
        EXPECT_NE(StoredInt("General", key), -99) << key;
    EXPECT_TRUE(values.m_globalHotkeys && values.m_startup);
}

TEST_F(OptionPagesTest, ClearingTheSearchHistoryReportsWhatTheWindowAnswered)
{
    CGeneralProperties values;
    values.SetSettingsFile(SettingsPath());
    ScriptedMessageBoxes boxes;
    ClearingWindow clearing;
    CGeneralPage page(values, &clearing);
    page.OnInitDialog();
    page.ClearButton()->click();
    EXPECT_EQ(clearing.requests, 1);

    CGeneralPage unanswered(values, &window);
    unanswered.OnInitDialog();
    unanswered.ClearButton()->click();
    EXPECT_EQ(boxes.texts, QStringList({ GetLangString(408), "Error." }));
}

// --- Advanced and Info ---

TEST_F(OptionPagesTest, AdvancedPageListsDevicesAndTellsTheWindowOnlyAboutPictureChanges)
{
    CPropExtra values;
    values.SetSettingsFile(SettingsPath());
    EXPECT_EQ(values.m_device, 0);
    EXPECT_FALSE(values.m_alwaysShowTitle);
    EXPECT_TRUE(values.m_showPictures);

    const auto lister = [](QStringList& names) {
        names << "Speakers"
              << "Headphones"
              << "HDMI";
    };
    COptionsSheet sheet(nullptr, "Options");
    sheet.AddPage("Advanced", [&] { return new CAdvancedPage(values, &window, lister); });
    auto* page = static_cast<CAdvancedPage*>(sheet.Page(0));
    ASSERT_EQ(page->DeviceCombo()->count(), 4);
    EXPECT_EQ(page->DeviceCombo()->itemText(0), GetLangString(502));
    EXPECT_EQ(page->DeviceCombo()->currentIndex(), 0);
    EXPECT_TRUE(page->ShowPicturesBox()->isChecked());

    page->OnDeviceSelChange(0); // the same entry again
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
    page->DeviceCombo()->setCurrentIndex(2);
    page->OnDeviceSelChange(2);
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
    page->AlwaysShowTitleBox()->click();
    sheet.ApplyButton()->click();
    EXPECT_EQ(StoredInt("Advanced", "Device"), 2);
    EXPECT_EQ(StoredInt("Advanced", "Always_show_title"), 1);
    EXPECT_EQ(Count(kPictureArtShow), 0) << "device and title changes say nothing";

    page->ShowPicturesBox()->click();
    sheet.OkButton()->click();
    EXPECT_EQ(StoredInt("General", "PictureArt\\visible"), 0);
    EXPECT_EQ(Count(kPictureArtShow), 1);
}

TEST_F(OptionPagesTest, AStoredDeviceBeyondTheListSelectsNothingAndIsKept)
{
    WriteSettings("<Advanced><Device>9</Device></Advanced>");
    CPropExtra values;
    values.SetSettingsFile(SettingsPath());
    CAdvancedPage page(values, &window, [](QStringList& names) { names << "Speakers"; });
    page.OnInitDialog();
    EXPECT_EQ(page.DeviceCombo()->count(), 2);
    EXPECT_EQ(page.DeviceCombo()->currentIndex(), -1);
    page.OnOK();
    EXPECT_EQ(StoredInt("Advanced", "Device"), 9) << "no selection stores no device of its own";
}

TEST_F(OptionPagesTest, InfoPageShowsTheFixedLinesInOrder)
{
    CPropHelp page;
    const QStringList lines = CPropHelp::Lines();
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines.first(), "Global Hot Keys:");
    EXPECT_EQ(lines.at(6), "Alt + Shift + H  : Hide/Show Window");
    EXPECT_EQ(lines.at(7), "Command line parameters:");
    EXPECT_EQ(lines.last(), "/filename=\"...\" - name of the file to be recodred");
    ASSERT_EQ(page.LineLabels().size(), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(page.LineLabels().at(i)->text(), lines.at(i));
    EXPECT_EQ(CPropHelp::PageTitle(), "Info");
}

// --- Recordings ---

TEST_F(OptionPagesTest, RecordingsDefaultFolderLiesInTheMusicFolderOrBesideAPortableProgram)
{
    QTemporaryDir config;
    const QString music = config.filePath("My Music");
    ASSERT_TRUE(WriteBytes(config.filePath("user-dirs.dirs"), ("XDG_MUSIC_DIR=\"" + music + "\"\n").toUtf8()));
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());

    CPropRecordings installed;
    installed.SetSettingsFile(SettingsPath());
    CRecordingsPage page(installed);
    page.OnInitDialog();
    page.OnOK();
    if (hadConfig)
        qputenv("XDG_CONFIG_HOME", previousConfig);
    else
        qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(StoredString("Recordings", "Folder"), music + "/Kavrilune Recordings");
    EXPECT_TRUE(QFileInfo(music).isDir()) << "the music folder is created";

    WriteSettings("");
    CPropRecordings portable;
    portable.SetPortable(true);
    portable.SetSettingsFile(SettingsPath());
    EXPECT_EQ(portable.m_folder, "./Kavrilune Recordings");
    EXPECT_EQ(CPropRecordings::AbsoluteFolder(portable.m_folder), program.Path() + "Kavrilune Recordings");
}

TEST_F(OptionPagesTest, RecordingsBitrateIsFoundByTextAndAutoStoresZero)
{
    WriteSettings("<Recordings><Bitrate>128</Bitrate><Folder>/tmp</Folder></Recordings>");
    CPropRecordings values;
    values.SetSettingsFile(SettingsPath());
    COptionsSheet sheet(nullptr, "Options");
    sheet.AddPage("Recording", [&] { return new CRecordingsPage(values); });
    auto* page = static_cast<CRecordingsPage*>(sheet.Page(0));
    QComboBox* bitrate = page->BitrateCombo();
    ASSERT_EQ(bitrate->count(), 8);
    EXPECT_EQ(bitrate->itemText(0), " auto ");
    EXPECT_EQ(bitrate->currentText(), "128");

    EXPECT_FALSE(page->SplitBySizeBox()->isEnabled());
    page->FolderEdit()->setText(program.Path() + "typed");
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled()) << "typing is no change";
    bitrate->setCurrentIndex(0);
    sheet.OkButton()->click();
    EXPECT_EQ(StoredInt("Recordings", "Bitrate"), 0);
    EXPECT_EQ(StoredString("Recordings", "Folder"), program.Path() + "typed");
    EXPECT_FALSE(SettingsText().contains("Size", Qt::CaseInsensitive)) << "the size box has no setting";

    CRecordingsPage again(values);
    again.OnInitDialog();
    EXPECT_EQ(again.BitrateCombo()->currentIndex(), 0);
}

TEST_F(OptionPagesTest, APortableProgramStoresChosenFoldersRelativeToItself)
{
    ASSERT_TRUE(QDir().mkpath(program.Path() + "Rec"));
    ASSERT_TRUE(QDir().mkpath(program.Path() + "Kavrilune Recordings"));
    QTemporaryDir outside;
    CPropRecordings values;
    values.SetPortable(true);
    values.SetSettingsFile(SettingsPath());
    EXPECT_EQ(values.FolderToStore(program.Path() + "Rec"), "Rec");
    EXPECT_EQ(values.FolderToStore(program.Path()), ".");
    EXPECT_EQ(values.FolderToStore(outside.path()), QDir(program.Path()).relativeFilePath(outside.path()));
    EXPECT_TRUE(values.FolderToStore(outside.path()).startsWith("../"));

    COptionsSheet sheet(nullptr, "Options");
    sheet.AddPage("Recording", [&] { return new CRecordingsPage(values); });
    auto* page = static_cast<CRecordingsPage*>(sheet.Page(0));
    QString startedAt;
    ui_testing::DialogScript<CFolderBrowser> browse({ [&](CFolderBrowser* dialog) {
        startedAt = dialog->Browser()->directory().absolutePath();
        dialog->SelectFolder(program.Path() + "Rec");
        PumpFor(50);
        dialog->OkButton()->click();
    } });
    page->BrowseButton()->click();
    EXPECT_EQ(startedAt, program.Path() + "Kavrilune Recordings");
    EXPECT_EQ(page->FolderEdit()->text(), "Rec");
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());

    QList<QUrl> opened;
    const UrlOpener previous = SetUrlOpener([&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    page->OpenFolderButton()->click();
    SetUrlOpener(previous);
    EXPECT_EQ(opened, QList<QUrl>({ QUrl::fromLocalFile(program.Path() + "Rec") }));
}

// --- Skins ---

TEST_F(OptionPagesTest, SkinsAreFoldersNamedStarDotKvnWithTheirPreviewOrTheProgramLogo)
{
    CPropSkins values;
    values.SetMainWindow(&window);
    values.SetSettingsFile(SettingsPath());
    QStringList names, previews;
    values.EnumerateSkins(names, previews);
    EXPECT_TRUE(names.isEmpty()) << "no skins folder at all";
    values.ApplySkinSelection();
    PumpFor(20);
    EXPECT_EQ(Count(kLoadSkin), 0);
    EXPECT_EQ(values.m_skin, "Standard");

    MakeSkin("Standard.kvn");
    MakeSkin("Blue.v2.kvn");
    MakeSkin("Upper.KVN");
    ASSERT_TRUE(WriteBytes(program.Path() + "skins/x.kvn", "a file"));
    QImage preview(20, 20, QImage::Format_RGB32);
    preview.fill(Qt::red);
    ASSERT_TRUE(preview.save(program.Path() + "skins/Standard.kvn/SkinPreview.png"));
    QImage logo(20, 20, QImage::Format_RGB32);
    logo.fill(Qt::green);
    ASSERT_TRUE(logo.save(program.Path() + "Kavrilune.png"));

    values.EnumerateSkins(names, previews);
    EXPECT_EQ(names, QStringList({ "Blue", "Standard" }));
    EXPECT_EQ(previews,
        QStringList({ program.Path() + "Kavrilune.png", program.Path() + "skins/Standard.kvn/SkinPreview.png" }));
    EXPECT_EQ(CListImageCtrl::MakeThumbnail(previews.at(0)).pixelColor(52, 52), QColor(Qt::green));

    values.ApplySkinSelection(); // F6: after Standard comes the first again
    PumpFor(20);
    EXPECT_EQ(values.m_skin, "Blue");
    EXPECT_EQ(StoredString("Advanced", "Skin"), "Blue");
    EXPECT_EQ(Count(kLoadSkin), 1);
}

TEST_F(OptionPagesTest, ThumbnailsFitThePreviewIntoABlackSquare)
{
    QTemporaryDir folder;
    QImage wide(208, 104, QImage::Format_RGB32);
    wide.fill(Qt::white);
    ASSERT_TRUE(wide.save(folder.filePath("wide.png")));
    const QImage flat = CListImageCtrl::MakeThumbnail(folder.filePath("wide.png"));
    ASSERT_EQ(flat.size(), QSize(104, 104));
    EXPECT_EQ(flat.pixelColor(50, 25), QColor(Qt::black));
    EXPECT_EQ(flat.pixelColor(50, 26), QColor(Qt::white));
    EXPECT_EQ(flat.pixelColor(50, 77), QColor(Qt::white));
    EXPECT_EQ(flat.pixelColor(50, 78), QColor(Qt::black));

    QImage tall(52, 104, QImage::Format_RGB32);
    tall.fill(Qt::white);
    ASSERT_TRUE(tall.save(folder.filePath("tall.png")));
    const QImage upright = CListImageCtrl::MakeThumbnail(folder.filePath("tall.png"));
    EXPECT_EQ(upright.pixelColor(25, 50), QColor(Qt::black));
    EXPECT_EQ(upright.pixelColor(26, 50), QColor(Qt::white));
    EXPECT_EQ(upright.pixelColor(77, 50), QColor(Qt::white));
    EXPECT_EQ(upright.pixelColor(78, 50), QColor(Qt::black));

    ASSERT_TRUE(WriteBytes(folder.filePath("broken.png"), "not an image"));
    const QImage broken = CListImageCtrl::MakeThumbnail(folder.filePath("broken.png"));
    EXPECT_EQ(broken.size(), QSize(104, 104));
    EXPECT_EQ(broken.pixelColor(52, 52), QColor(Qt::black));
}

TEST_F(OptionPagesTest, SkinsPageListsEverySkinButFiftyThumbnailsAndAppliesTheChoice)
{
    for (int i = 0; i < 60; ++i)
        MakeSkin(QStringLiteral("S%1.kvn").arg(i, 2, 10, QLatin1Char('0')));
    WriteSettings("<Advanced><Skin>s07</Skin></Advanced>");
    SkinsSheet skins(window, SettingsPath());
    CPropSkins& values = skins.values;
    COptionsSheet& sheet = skins.sheet;
    CSkinsPage* page = skins.page;
    EXPECT_EQ(page->SkinCombo()->count(), 60);
    EXPECT_EQ(page->SkinList()->count(), 50);
    EXPECT_EQ(page->SkinCombo()->currentText(), "S07") << "the current skin matches whatever its case";

    sheet.OkButton()->click(); // nothing changed: the window is still asked to load the skin
    PumpFor(20);
    EXPECT_EQ(Count(kLoadSkin), 1);
    EXPECT_EQ(StoredString("Advanced", "Skin"), "S07");

    // A thumbnail chosen: the drop-down list follows, and OK makes it the skin.
    page->SkinList()->item(12)->setSelected(true);
    EXPECT_EQ(page->SkinCombo()->currentText(), "S12");
    EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
    sheet.ApplyButton()->click();
    PumpFor(20);
    EXPECT_EQ(StoredString("Advanced", "Skin"), "S12");
    EXPECT_EQ(Count(kLoadSkin), 2);

    // A skin installed while the page is shown appears on it.
    MakeSkin("A-new.kvn");
    values.FillSkinList();
    EXPECT_EQ(page->SkinCombo()->itemText(0), "A-new");
}

TEST_F(OptionPagesTest, PreviewsAreDecodedAtThumbnailSizeAndHugeOnesNotAtAll)
{
    QTemporaryDir folder;
    QImage photo(800, 640, QImage::Format_RGB32);
    photo.fill(Qt::white);
    ASSERT_TRUE(photo.save(folder.filePath("photo.png")));
    EXPECT_EQ(CListImageCtrl::ReadPreview(folder.filePath("photo.png"), 104).size(), QSize(104, 83));
    EXPECT_EQ(CListImageCtrl::ReadPreview(folder.filePath("photo.png"), 208).size(), QSize(208, 166));
    const QImage doubled = CListImageCtrl::MakeThumbnail(folder.filePath("photo.png"), 2.0);
    EXPECT_EQ(doubled.size(), QSize(208, 208));
    EXPECT_EQ(doubled.deviceIndependentSize(), QSizeF(104, 104));
    EXPECT_EQ(doubled.pixelColor(104, 104), QColor(Qt::white));
    EXPECT_EQ(doubled.pixelColor(104, 20), QColor(Qt::black));

    // 5000 x 5000 pixels in a file of a few kilobytes: refused before decoding, the square stays black.
    const QByteArray bomb = testing_support::SolidPng(5000, 5000, 0xFFFFFFFFu);
    ASSERT_LT(bomb.size(), 160 * 1024);
    ASSERT_TRUE(WriteBytes(folder.filePath("bomb.png"), bomb));
    ASSERT_EQ(QImageReader(folder.filePath("bomb.png")).size(), QSize(5000, 5000));
    EXPECT_TRUE(CListImageCtrl::ReadPreview(folder.filePath("bomb.png"), 104).isNull());
    const QImage refused = CListImageCtrl::MakeThumbnail(folder.filePath("bomb.png"));
    EXPECT_EQ(refused.size(), QSize(104, 104));
    EXPECT_EQ(refused.pixelColor(52, 52), QColor(Qt::black));
    // Its "@2x" file is held to the same bounds.
    ASSERT_TRUE(WriteBytes(folder.filePath("photo@2x.png"), bomb));
    EXPECT_EQ(CListImageCtrl::MakeThumbnail(folder.filePath("photo.png"), 2.0).pixelColor(104, 104), QColor(Qt::white));
}

TEST_F(OptionPagesTest, AThumbnailSelectsExactlyItsOwnSkin)
{
    for (const char* skin : { "Night Owl.kvn", "night.kvn", "Blue.kvn", "blue.kvn" })
        MakeSkin(skin);
    WriteSettings("<Advanced><Skin>blue</Skin></Advanced>");
    SkinsSheet skins(window, SettingsPath());
    CPropSkins& values = skins.values;
    COptionsSheet& sheet = skins.sheet;
    CSkinsPage* page = skins.page;
    CListImageCtrl* list = page->SkinList();
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(page->SkinCombo()->currentText(), "blue") << "the current skin by its exact name first";
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().first()->text(), "blue");

    const auto choose = [&](const QString& name) {
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_EQ(found.size(), 1) << qPrintable(name);
        list->clearSelection();
        found.first()->setSelected(true);
        EXPECT_EQ(page->SkinCombo()->currentText(), name);
    };
    choose("night");
    choose("Blue");
    choose("Night Owl");
    choose("night");
    sheet.OkButton()->click();
    EXPECT_EQ(StoredString("Advanced", "Skin"), "night");
    EXPECT_EQ(values.m_skin, "night");

    // F6 steps from exactly the current skin to the one after it, through all four.
    QStringList names, previews;
    values.EnumerateSkins(names, previews);
    QStringList stepped;
    for (int step = 0; step < 4; ++step) {
        values.ApplySkinSelection();
        stepped << values.m_skin;
    }
    const int night = int(names.indexOf("night"));
    QStringList expected;
    for (int step = 1; step <= 4; ++step)
        expected << names.at((night + step) % 4);
    EXPECT_EQ(stepped, expected);
}

TEST_F(OptionPagesTest, OkStoresEveryPageWithoutFillingItAgainWhileApplyRefillsIt)
{
    MakeSkin("Standard.kvn");
    MakeSkin("Blue.kvn");
    CPropSkins skins;
    skins.SetMainWindow(&window);
    skins.SetSettingsFile(SettingsPath());
    CPropExtra advanced;
    advanced.SetSettingsFile(SettingsPath());
    int listings = 0;
    const auto lister = [&listings](QStringList& names) {
        ++listings;
        names << "Speakers";
    };
    COptionsSheet sheet(nullptr, "Options");
    sheet.AddPage("Skins", [&] { return new CSkinsPage(skins); });
    sheet.AddPage("Advanced", [&] { return new CAdvancedPage(advanced, &window, lister); });
    sheet.SetActivePage(1);
    auto* skinsPage = static_cast<CSkinsPage*>(sheet.Page(0));
    auto* advancedPage = static_cast<CAdvancedPage*>(sheet.Page(1));
    ASSERT_TRUE(skinsPage && advancedPage);
    ASSERT_EQ(listings, 1);
    int thumbnailsMade = 0;
    QObject::connect(skinsPage->SkinList()->model(), &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { thumbnailsMade += last - first + 1; });

    advancedPage->AlwaysShowTitleBox()->click();
    sheet.ApplyButton()->click();
    EXPECT_EQ(listings, 2) << "Apply shows the devices again";
    EXPECT_EQ(thumbnailsMade, 2) << "and the skins";

    skinsPage->SkinList()->item(0)->setSelected(true);
    advancedPage->DeviceCombo()->setCurrentIndex(1);
    advancedPage->OnDeviceSelChange(1);
    sheet.OkButton()->click();
    EXPECT_EQ(listings, 2) << "OK asks for no devices";
    EXPECT_EQ(thumbnailsMade, 2) << "and makes no thumbnails";
    EXPECT_EQ(StoredInt("Advanced", "Device"), 1);
    EXPECT_EQ(StoredInt("Advanced", "Always_show_title"), 1);
    EXPECT_EQ(StoredString("Advanced", "Skin"), "Blue");
    PumpFor(20);
    EXPECT_EQ(Count(kLoadSkin), 2) << "each of Apply and OK asks the window to load the skin";
}

TEST_F(OptionPagesTest, WithoutSkinsOkKeepsTheCurrentSkin)
{
    WriteSettings("<Advanced><Skin>Gone</Skin></Advanced>");
    CPropSkins values;
    values.SetMainWindow(&window);
    values.SetSettingsFile(SettingsPath());
    {
        CSkinsPage page(values);
        page.OnInitDialog();
        EXPECT_EQ(page.SkinCombo()->count(), 0);
        page.OnOK();
    }
    EXPECT_EQ(StoredString("Advanced", "Skin"), "Gone");
    values.FillSkinList(); // no page any more: nothing to fill
}

} // namespace
