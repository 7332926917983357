#include "ui/windows/AboutDlg.h"

#include "core/ServerHosts.h"
#include "core/Updater.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <cstdlib>

using testing_support::HttpConnection;
using testing_support::LoopbackHttpServer;
using testing_support::PumpFor;
using testing_support::PumpUntil;

namespace
{

class AboutDlgTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
        SetWebHostOverride(server.Url());
    }
    void TearDown() override { SetWebHostOverride(QString()); }

    void ServeVersion(const QByteArray& version, const QByteArray& download)
    {
        server.RouteFixed("/download/version.xml", 200, "text/xml",
            "<kavrilune><version>" + version + "</version><download>" + download + "</download></kavrilune>");
    }

    // Runs the box until the check has answered.
    void AwaitAnswer(CAboutDlg& dialog)
    {
        const QString checking = dialog.UpdateStateText();
        ASSERT_EQ(checking, "Checking new version...");
        ASSERT_TRUE(PumpUntil([&] { return dialog.UpdateStateText() != checking; }, 10000));
    }

    void Click(QWidget& widget)
    {
        const QPoint at(5, widget.height() / 2);
        for (const QEvent::Type type : { QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
            QMouseEvent event(type, QPointF(at), QPointF(widget.mapToGlobal(at)), Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &event);
        }
    }

    testing_support::TempProgramFolder program;
    LoopbackHttpServer server;
};

TEST_F(AboutDlgTest, VersionLinesReadDotsAndTheLibraryBytesFromHighToLow)
{
    EXPECT_EQ(AboutVersionText("Kavrilune", "1, 6, 70, 0"), "Kavrilune, version 1.6.70.0");
    EXPECT_TRUE(AudioLibraryText(0x02040200).endsWith(" (version 2.4.2.0)"));
    EXPECT_TRUE(AudioLibraryText(0xFF000102).endsWith(" (version 255.0.1.2)"));

    ServeVersion("0.1.0.0", "https://kavrilune.org/old");
    CUpdater updater;
    CAboutDlg dialog(&updater);
    dialog.SetSkinAuthor("Somebody");
    dialog.show();
    EXPECT_EQ(dialog.VersionLink().Text(), "Kavrilune, version " KAVRILUNE_TEST_VERSION);
    EXPECT_TRUE(dialog.VersionLink().IsLink());
    EXPECT_TRUE(dialog.AudioLibraryLine().startsWith("Audio routines powered by "));
    EXPECT_TRUE(dialog.AudioLibraryLine().endsWith("(version 2.4.1.0)"));
    EXPECT_EQ(dialog.TranslatorText(), "Translated by unknown author");
    EXPECT_EQ(dialog.SkinAuthorText(), "Skin created by Somebody");
    EXPECT_EQ(dialog.DownloadLink().Text(), "");
    AwaitAnswer(dialog);
}

TEST_F(AboutDlgTest, TheCheckIsAnsweredInPlaceAndOnlyAWebLinkOpens)
{
    QStringList opened;
    const UrlOpener previous = SetUrlOpener([&](const QUrl& url) {
        opened << url.toString();
        return true;
    });
    CUpdater updater;
    {
        ServeVersion("99.0.0.0", "https://kavrilune.org/download/99");
        CAboutDlg dialog(&updater);
        dialog.show();
        AwaitAnswer(dialog);
        EXPECT_EQ(dialog.UpdateStateText(), "There is new version 99.0.0.0 available!");
        EXPECT_EQ(dialog.DownloadLink().Text(), "https://kavrilune.org/download/99");
        Click(dialog.DownloadLink());
        EXPECT_EQ(opened, QStringList { "https://kavrilune.org/download/99" });
    }
    {
        ServeVersion("99.0.0.0", "file:///etc/passwd");
        CAboutDlg dialog(&updater);
        dialog.show();
        AwaitAnswer(dialog);
        EXPECT_EQ(dialog.DownloadLink().Text(), "file:///etc/passwd");
        Click(dialog.DownloadLink());
        EXPECT_EQ(opened.size(), 1) << "an address from the network opens only when it is a web link";
    }
    {
        ServeVersion("0.9.9.9", "https://kavrilune.org/download/0.9");
        CAboutDlg dialog(&updater);
        dialog.show();
        AwaitAnswer(dialog);
        EXPECT_EQ(dialog.UpdateStateText(), "You have the latest version!");
        EXPECT_EQ(dialog.DownloadLink().Text(), "");
    }
    SetUrlOpener(previous);
}

TEST_F(AboutDlgTest, ABoxClosedBeforeTheAnswerReceivesNothing)
{
    std::atomic<bool> asked { false };
    server.Route("/download/version.xml", [&](HttpConnection& connection) {
        asked = true;
        connection.Sleep(300);
        connection.SendResponse(200, "text/xml", "<version>99.0.0.0</version><download>https://x.org/</download>");
    });
    CUpdater updater;
    auto dialog = std::make_unique<CAboutDlg>(&updater);
    dialog->show();
    ASSERT_TRUE(PumpUntil([&] { return asked.load(); }, 10000));
    dialog.reset();
    // The answer comes after the box has gone; it must reach nothing.
    PumpFor(800);
    CAboutDlg second(&updater);
    second.show();
    AwaitAnswer(second);
    EXPECT_EQ(second.UpdateStateText(), "There is new version 99.0.0.0 available!");
}

TEST_F(AboutDlgTest, TheLogoComesFromTheProgramFolderAndAMissingOneLeavesTheBackground)
{
    // Whether the logo button shows exactly the box's background under it.
    auto showsBackgroundOnly = [](CAboutDlg& dialog) {
        CGdipButton& logo = dialog.Logo();
        EXPECT_TRUE(logo.HasBackground());
        const QImage shown = skin_test::Render(&logo).convertToFormat(QImage::Format_RGB32);
        const QImage background = logo.Background().toImage().convertToFormat(QImage::Format_RGB32);
        return shown.size() == background.size() && shown == background;
    };
    {
        CAboutDlg dialog(nullptr);
        dialog.show();
        EXPECT_EQ(dialog.Logo().ImagePath(CGdipButton::Normal), program.FilePath("Kavrilune.png"));
        EXPECT_TRUE(showsBackgroundOnly(dialog));
    }
    ASSERT_TRUE(QFile::copy(skin_test::StagedProgramFolder() + "Kavrilune.png", program.FilePath("Kavrilune.png")));
    CAboutDlg dialog(nullptr);
    dialog.show();
    EXPECT_FALSE(showsBackgroundOnly(dialog));
}

} // namespace
