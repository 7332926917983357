// The main window's About box and album-art window.

#include "tests/ui/mainwindow/MainWindowFixture.h"

#include "audio/TagFile.h"
#include "core/ServerHosts.h"
#include "core/XMLSettings.h"
#include "ui/windows/AboutDlg.h"
#include "ui/windows/PictureArtDlg.h"

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestMedia.h"
#include "tests/ui/support/ImageSearchServer.h"
#include "tests/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;
using ui_testing::MainWindowFixture;

namespace
{

// A tone file whose tag names a song, made once per title and test program.
QString SongFile(const QString& title)
{
    static QTemporaryDir folder;
    const QString path = folder.path() + "/" + QString(title).replace(' ', '_') + ".mp3";
    if (QFile::exists(path))
        return path;
    SineOptions options;
    options.seconds = 30;
    if (!GenerateSine(path, MediaFormat::Mp3, options))
        return QString();
    CTagFile tag;
    if (tag.Open(path) != 0)
        return QString();
    tag.SetTitle(title);
    tag.WriteTag();
    tag.Close();
    return path;
}

// A tone file without a tag.
QString ToneFile()
{
    static QTemporaryDir folder;
    static const QString path = folder.path() + "/tone.mp3";
    static const bool made = [] {
        SineOptions options;
        options.seconds = 30;
        return GenerateSine(path, MediaFormat::Mp3, options);
    }();
    return made ? path : QString();
}

using MainWindowDialogsTest = MainWindowFixture;

TEST_F(MainWindowDialogsTest, TheAboutCommandOpensOneBoxAtATimeWithTheSkinsAuthor)
{
    LoopbackHttpServer server;
    server.RouteFixed("/download/version.xml", 200, "text/xml", "<version>0.1</version><download>x</download>");
    SetWebHostOverride(server.Url());
    Start();
    QString author;
    ui_testing::DialogScript<CAboutDlg> script({ [&](CAboutDlg* dialog) {
        author = dialog->SkinAuthorText();
        window->OnCommand(CKavriluneDlg::kCommandAbout);
        dialog->accept();
    } });
    window->OnCommand(CKavriluneDlg::kCommandAbout);
    EXPECT_EQ(script.shown, 1) << "the command while a box is open opens none";
    EXPECT_EQ(author, "Skin created by Kavrilune");
    window->OnCommand(CKavriluneDlg::kCommandAbout);
    EXPECT_EQ(script.shown, 2) << "once closed, the box opens again";
    SetWebHostOverride(QString());
}

TEST_F(MainWindowDialogsTest, AlbumArtFollowsTheSongAndKeepsItsPlaceAndTheDisableChoice)
{
    const QString firstSong = SongFile("a b");
    const QString secondSong = SongFile("c d");
    ASSERT_FALSE(firstSong.isEmpty());
    ASSERT_FALSE(secondSong.isEmpty());
    ui_testing::ImageSearchServer images;
    WriteSettings("<General><Autoplay>0</Autoplay><Check_updates>0</Check_updates>"
                  "<PictureArt><x>300</x><y>200</y></PictureArt></General>");
    Start();
    CPictureArtDlg& art = *window->Controls().pictureArt;
    EXPECT_EQ(art.GetScreenCenter(), QPoint(300, 200));
    art.Lookup().SetMinimumGap(std::chrono::milliseconds(0));

    window->Playback().OnDropFile(firstSong);
    ASSERT_TRUE(PumpUntil([&] { return art.isVisible(); }, 15000));
    ASSERT_GE(images.HitCount(), 2u);
    EXPECT_EQ(images.Hits()[0].target, "/images?q=a%20b");
    EXPECT_EQ(art.size(), QSize(120, 90));
    EXPECT_EQ(art.GetScreenCenter(), QPoint(300, 200));

    window->Playback().OnDropFile(ToneFile());
    EXPECT_FALSE(art.isVisible()) << "a new station hides the last song's picture";

    art.OnCommand(CPictureArtDlg::kCommandDisable);
    EXPECT_FALSE(window->Options().advanced.m_showPictures);
    {
        CXMLSettings settings(SettingsPath());
        EXPECT_EQ(settings.GetInt("General", "PictureArt\\visible", 1, false), 0);
    }
    const size_t asked = images.HitCount();
    window->Playback().OnDropFile(secondSong);
    PumpFor(1500);
    EXPECT_EQ(images.HitCount(), asked) << "disabled pictures are not looked up";
    EXPECT_FALSE(art.isVisible());

    art.MoveCenterTo(QPoint(420, 310));
    window->Settings().SaveSettings(window->Settings().TakeSettingsSnapshot());
    CXMLSettings settings(SettingsPath());
    EXPECT_EQ(settings.GetInt("General", "PictureArt\\x", 0, false), 420);
    EXPECT_EQ(settings.GetInt("General", "PictureArt\\y", 0, false), 310);
}

} // namespace
