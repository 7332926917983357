#include "tests/ui/mainwindow/MainWindowFixture.h"

#include "core/Localization.h"
#include "ui/controls/ListImageCtrl.h"
#include "ui/options/GeneralPage.h"
#include "ui/options/OptionsSheet.h"
#include "ui/options/SkinsPage.h"

#include "tests/support/TestZipWriter.h"
#include "tests/ui/support/UiTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QWindow>

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
        auto* general = qobject_cast<CGeneralPage*>(sheet->Page(0));
        ASSERT_TRUE(general);
        EXPECT_FALSE(sheet->Page(1) || sheet->Page(2) || sheet->Page(3) || sheet->Page(4));
        general->CheckBox(CGeneralPage::kMinimizeToTray)->click();
        sheet->OkButton()->click();
    } });
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_EQ(script.shown, 1);
    EXPECT_EQ(titles, QStringList({ "General", "Skins", "Recording", "Advanced", "Info" }));
    EXPECT_TRUE(window->Options().general.m_minimizeToTray);
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
        auto* general = qobject_cast<CGeneralPage*>(sheet->Page(0));
        ASSERT_TRUE(general);
        general->CheckBox(CGeneralPage::kStartup)->click();
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
    ASSERT_TRUE(WriteOneItemZip(package, "Dawn.kvn/skin.kvn",
        "<?xml version=\"1.0\"?><XMLConfigSettings><Window><Frame>1</Frame></Window></XMLConfigSettings>"));
    ScriptedMessageBoxes boxes([](const QString&, unsigned) { return IDYES; });
    QStringList listed;
    DialogScript<COptionsSheet> script({ [&](COptionsSheet* sheet) {
        sheet->SetActivePage(1);
        auto* skins = qobject_cast<CSkinsPage*>(sheet->Page(1));
        ASSERT_TRUE(skins);
        EXPECT_EQ(skins->SkinCombo()->currentText(), "Standard");
        window->Playback().OnDropFile(package);
        for (int i = 0; i < skins->SkinCombo()->count(); ++i)
            listed << skins->SkinCombo()->itemText(i);
        EXPECT_EQ(skins->SkinCombo()->currentText(), "Dawn");
        sheet->CancelButton()->click();
    } });
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_EQ(listed, QStringList({ "Dawn", "Standard" }));
    window->Playback().OnDropFile(package); // no sheet: installing again needs no page
    EXPECT_EQ(window->Options().skins.m_skin, "Dawn");
}

TEST_F(OptionsCommandTest, ASkinPackageDroppedOnTheSkinsPageIsInstalledAsOnTheWindow)
{
    Start();
    const QString package = program.FilePath("Dusk.zip");
    ASSERT_TRUE(WriteOneItemZip(package, "Dusk.kvn/skin.kvn",
        "<?xml version=\"1.0\"?><XMLConfigSettings><Author><Name>Dusk</Name></Author></XMLConfigSettings>"));
    QStringList questions;
    ScriptedMessageBoxes boxes([&](const QString& text, unsigned) {
        questions << text;
        return IDYES;
    });
    // Drags data over a point of the page and drops it there, as the window system delivers it.
    const auto drop = [](CSkinsPage* page, const QMimeData& data, const QPoint& at) {
        QWindow* native = page->window()->windowHandle();
        const QPoint point = page->mapTo(page->window(), at);
        QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(native, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(point), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(native, &dropped);
        return dropped.isAccepted();
    };
    QStringList listed;
    QString chosen;
    const QString playing = window->Radio().GetStationUrl();
    DialogScript<COptionsSheet> script({ [&](COptionsSheet* sheet) {
        sheet->SetActivePage(1);
        auto* skins = qobject_cast<CSkinsPage*>(sheet->Page(1));
        ASSERT_TRUE(skins);
        PumpFor(20);
        QMimeData text;
        text.setText("http://127.0.0.1:9/station");
        EXPECT_FALSE(drop(skins, text, skins->SkinList()->geometry().center())) << "the page takes skins only";
        QMimeData sound;
        sound.setUrls({ QUrl::fromLocalFile(program.FilePath("song.mp3")) });
        EXPECT_FALSE(drop(skins, sound, QPoint(10, 10)));

        QMimeData fileManager;
        fileManager.setUrls({ QUrl::fromLocalFile(package) });
        fileManager.setText(package);
        EXPECT_TRUE(drop(skins, fileManager, skins->SkinList()->geometry().center()));
        for (int i = 0; i < skins->SkinCombo()->count(); ++i)
            listed << skins->SkinCombo()->itemText(i);
        chosen = skins->SkinCombo()->currentText();
        sheet->CancelButton()->click();
    } });
    window->OnCommand(CKavriluneDlg::kCommandOptions);
    EXPECT_EQ(script.shown, 1);
    EXPECT_EQ(questions, QStringList({ GetLangString(310) + " - \"Dusk.kvn\"" }));
    EXPECT_EQ(listed, QStringList({ "Dusk", "Standard" }));
    EXPECT_EQ(chosen, "Dusk");
    EXPECT_EQ(window->Options().skins.m_skin, "Dusk");
    EXPECT_EQ(window->SkinLayout().AuthorName(), "Dusk") << "the skin was installed and applied";
    EXPECT_TRUE(QFileInfo::exists(program.FilePath("skins/Dusk.kvn/skin.kvn")));
    EXPECT_EQ(window->Radio().GetStationUrl(), playing) << "nothing else dropped there was played";
}

} // namespace
