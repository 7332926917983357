#include "tests/ui/MainWindowFixture.h"

#include "core/Localization.h"
#include "ui/GeneralPropertiesPage.h"
#include "ui/OptionsSheet.h"
#include "ui/PropSkinsPage.h"

#include "tests/support/TestZipWriter.h"
#include "tests/ui/UiTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>

using namespace testing_support;
using ui_testing::DialogScript;
using ui_testing::MainWindowFixture;

namespace
{

const int kLoadSkin = RegisterWindowMessage("WM_KAVRILUNE_LOAD_SKIN");

// Counts the skin loads posted to the window.
class LoadSkinCounter : public QObject
{
public:
    explicit LoadSkinCounter(QObject* window) { window->installEventFilter(this); }
    int posted = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (WindowMessage* message = AsWindowMessage(event); message && message->message() == kLoadSkin)
            ++posted;
        return false;
    }
};

int OpenSheets()
{
    int sheets = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        sheets += qobject_cast<COptionsSheet*>(widget) && widget->isVisible() ? 1 : 0;
    return sheets;
}

using OptionsCommandTest = MainWindowFixture;

TEST_F(OptionsCommandTest, TheSheetOpensOnceAndSavesOnlyThePagesThatWereShown)
{
    Start();
    LoadSkinCounter loads(window.get());
    const QString before = SettingsText();
    ASSERT_FALSE(before.contains("<Recordings>"));
    ASSERT_FALSE(before.contains("<Skin>"));

    QStringList titles;
    DialogScript<COptionsSheet> script({ [&](COptionsSheet* sheet) {
        EXPECT_EQ(sheet->windowTitle(), GetLangString(400));
        for (int i = 0; i < sheet->Tabs()->count(); ++i)
            titles << sheet->Tabs()->tabText(i);
        window->OnCommand(CKavriluneDlg::kCommandOptions); // a second sheet while one is open: nothing
        EXPECT_EQ(OpenSheets(), 1);
        auto* general = qobject_cast<CGeneralPropertiesPage*>(sheet->Page(0));
        ASSERT_TRUE(general);
        EXPECT_FALSE(sheet->Page(1) || sheet->Page(2) || sheet->Page(3) || sheet->Page(4));
        general->CheckBox(CGeneralPropertiesPage::kMinimizeToTray)->click();
        sheet->OkButton()->click();
    } });
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_EQ(script.shown, 1);
    EXPECT_EQ(titles, QStringList({ "General", "Skins", "Recording", "Advanced", "Info" }));
    EXPECT_TRUE(window->GeneralOptions().m_minimizeToTray);
    const QString after = SettingsText();
    EXPECT_TRUE(after.contains("<MinimizeToTray>1</MinimizeToTray>"));
    for (const char* unseen : { "<Recordings>", "<Skin>", "<Device>", "<Always_show_title>" })
        EXPECT_FALSE(after.contains(unseen)) << unseen;
    PumpFor(20);
    EXPECT_EQ(loads.posted, 0);
}

TEST_F(OptionsCommandTest, StartingWithTheSessionTakesEffectWhenOkOrApplyConfirmsIt)
{
    Start();
    const QString entry = configHome.path() + "/autostart/Kavrilune.desktop";
    auto clickStartup = [](COptionsSheet* sheet) {
        auto* general = qobject_cast<CGeneralPropertiesPage*>(sheet->Page(0));
        ASSERT_TRUE(general);
        general->CheckBox(CGeneralPropertiesPage::kStartup)->click();
    };
    bool removedOnApply = false;
    DialogScript<COptionsSheet> script({ [&](COptionsSheet* sheet) {
                                            clickStartup(sheet);
                                            sheet->OkButton()->click();
                                        },
        [&](COptionsSheet* sheet) {
            clickStartup(sheet);
            sheet->ApplyButton()->click();
            removedOnApply = !QFile::exists(entry);
            sheet->CancelButton()->click();
        } });
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_TRUE(QString::fromUtf8(ReadBytes(entry)).contains("/hidden")) << "written on OK";
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_EQ(script.shown, 2);
    EXPECT_TRUE(removedOnApply);
    EXPECT_FALSE(QFile::exists(entry));
}

TEST_F(OptionsCommandTest, ASkinInstalledWhileTheSheetIsOpenAppearsOnTheSkinsPage)
{
    Start();
    const QString package = program.FilePath("Dawn.zip");
    {
        TestZipWriter zip(package);
        TestZipItem item;
        item.name = "Dawn.kvn/skin.kvn";
        item.data = "<?xml version=\"1.0\"?><XMLConfigSettings><Window><Frame>1</Frame></Window></XMLConfigSettings>";
        ASSERT_TRUE(zip.Add(item));
    }
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    QStringList listed;
    DialogScript<COptionsSheet> script({ [&](COptionsSheet* sheet) {
        sheet->SetActivePage(1);
        auto* skins = qobject_cast<CPropSkinsPage*>(sheet->Page(1));
        ASSERT_TRUE(skins);
        EXPECT_EQ(skins->SkinCombo()->currentText(), "Standard");
        window->OnDropFile(package);
        for (int i = 0; i < skins->SkinCombo()->count(); ++i)
            listed << skins->SkinCombo()->itemText(i);
        EXPECT_EQ(skins->SkinCombo()->currentText(), "Dawn");
        sheet->CancelButton()->click();
    } });
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_EQ(listed, QStringList({ "Dawn", "Standard" }));
    window->OnDropFile(package); // no sheet: installing again needs no page
    EXPECT_EQ(window->SkinOptions().m_skin, "Dawn");
}

} // namespace
