#include "ui/options/FolderBrowser.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

class FolderBrowserTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "kavrilune_ui_tests";
        static char* argv[] = { name, nullptr };
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(Path("music/sub")));
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    // Runs act on the folder dialog once it is shown (and modal); the dialog must be ended by act.
    static void WhenShown(std::function<void(CFolderBrowser*)> act)
    {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            if (auto* dialog = qobject_cast<CFolderBrowser*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                act(dialog);
            }
        });
        timer->start(10);
    }
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }

    QTemporaryDir dir;
};

TEST_F(FolderBrowserTest, OnlyExistingWritableFoldersAreAcceptable)
{
    EXPECT_TRUE(IsAcceptableFolder(Path("music")));
    EXPECT_FALSE(IsAcceptableFolder(Path("missing")));
    EXPECT_FALSE(IsAcceptableFolder(""));
    QFile file(Path("file.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(IsAcceptableFolder(Path("file.txt")));
    ASSERT_TRUE(QFile::link(Path("music"), Path("linked")));
    EXPECT_TRUE(IsAcceptableFolder(Path("linked")));
    if (geteuid() != 0) { // the superuser may write anywhere
        ASSERT_TRUE(QFile::setPermissions(Path("music/sub"), QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_FALSE(IsAcceptableFolder(Path("music/sub")));
        QFile::setPermissions(Path("music/sub"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_TRUE(SpecialFolderPath(12345).isEmpty());
}

TEST_F(FolderBrowserTest, ShowsCaptionAndInstructionAndReturnsTheChosenFolder)
{
    WhenShown([&](CFolderBrowser* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Folder for recordings");
        const QList<QLabel*> labels = dialog->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
            [](QLabel* label) { return label->text() == "Please select a folder." && label->isVisible(); }));
        EXPECT_EQ(QDir(dialog->Browser()->directory()), QDir(Path("music")));
        auto* edit = dialog->Browser()->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(edit);
        EXPECT_FALSE(edit->isVisible()); // no edit box asked for
        dialog->SelectFolder(Path("music/sub"));
        Settle();
        ASSERT_TRUE(dialog->OkButton());
        EXPECT_TRUE(dialog->OkButton()->isEnabled());
        dialog->OkButton()->click();
    });
    QString result = "unchanged";
    EXPECT_TRUE(BrowseForFolder(nullptr, Path("music"), 0, kSpecialFolderNone, "Folder for recordings",
        "Please select a folder.", &result, false));
    EXPECT_EQ(QDir(result), QDir(Path("music/sub")));
}

TEST_F(FolderBrowserTest, RefusesFoldersThatCannotBeUsedAndCancelLeavesTheResult)
{
    WhenShown([&](CFolderBrowser* dialog) {
        auto* edit = dialog->Browser()->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(edit);
        EXPECT_TRUE(edit->isVisible()); // asked for an edit box
        edit->setText(Path("missing"));
        Settle();
        static_cast<QDialog*>(dialog->Browser())->accept(); // as if confirmed anyway
        Settle();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(dialog->SelectedFolder().isEmpty());
        if (geteuid() != 0) {
            QFile::setPermissions(Path("music/sub"), QFile::ReadOwner | QFile::ExeOwner);
            dialog->SelectFolder(Path("music/sub"));
            Settle();
            EXPECT_FALSE(dialog->OkButton()->isEnabled());
            static_cast<QDialog*>(dialog->Browser())->accept();
            EXPECT_TRUE(dialog->isVisible());
            QFile::setPermissions(Path("music/sub"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        dialog->reject();
    });
    QString result = "unchanged";
    EXPECT_FALSE(BrowseForFolder(nullptr, Path("music"), 0, kSpecialFolderNone, "", "", &result, true));
    EXPECT_EQ(result, "unchanged");
}

TEST_F(FolderBrowserTest, StartsAtTheRootSpecialFolderOrElseTheCurrentFolder)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Path("music")));
    QString seen;
    WhenShown([&](CFolderBrowser* dialog) {
        seen = dialog->Browser()->directory().absolutePath();
        dialog->reject();
    });
    QString result;
    EXPECT_FALSE(BrowseForFolder(nullptr, "", 0, kSpecialFolderNone, "", "", &result, false));
    EXPECT_EQ(QDir(seen), QDir(Path("music")));

    const QString desktop = SpecialFolderPath(kSpecialFolderDesktop);
    WhenShown([&](CFolderBrowser* dialog) {
        seen = dialog->Browser()->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_FALSE(BrowseForFolder(nullptr, "", 0, kSpecialFolderDesktop, "", "", &result, false));
    EXPECT_EQ(QDir(seen), QDir(desktop.isEmpty() ? Path("music") : desktop));
    QDir::setCurrent(previous);
}

} // namespace
