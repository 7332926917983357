#include "ui/windows/PictureArtDlg.h"

#include "core/WindowMessage.h"
#include "ui/controls/HyperStatic.h"
#include "ui/skin/WindowFader.h"

#include "tests/support/MessageRecorder.h"
#include "tests/ui/support/ImageSearchServer.h"
#include "tests/ui/support/SkinTestSupport.h"
#include "tests/ui/support/UiTestSupport.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QScreen>
#include <gtest/gtest.h>

using namespace std::chrono;
using testing_support::PumpFor;
using testing_support::PumpUntil;
using ui_testing::ImageSearchServer;
using ui_testing::PictureBytes;

namespace
{

const int kIsVisible = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_IS_VISIBLE");
const int kDisable = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_DISABLE");

// Stands in for the main window: answers whether it is shown and counts the Disable requests.
class Owner : public QWidget
{
public:
    bool shown = true;
    int disables = 0;

protected:
    bool event(QEvent* event) override
    {
        if (WindowMessage* message = AsWindowMessage(event)) {
            if (message->message() == kIsVisible) {
                message->result = shown ? 1 : 0;
                return true;
            }
            if (message->message() == kDisable) {
                ++disables;
                message->result = 1;
                return true;
            }
        }
        return QWidget::event(event);
    }
};

class PictureArtDlgTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        skin_test::EnsureApplication();
        CWindowFader::SetDurationOverride(0);
    }

    void SetUp() override
    {
        dialog = std::make_unique<CPictureArtDlg>(&owner);
        dialog->Lookup().SetMinimumGap(milliseconds(0));
        dialog->MoveCenterTo(QPoint(400, 300));
    }

    // Runs events until the lookups asked for so far have answered (hits requests in all).
    void AwaitHits(size_t hits)
    {
        ASSERT_TRUE(PumpUntil([&] { return images.HitCount() >= hits; }, 10000));
        PumpFor(300);
    }

    ImageSearchServer images;
    Owner owner;
    std::unique_ptr<CPictureArtDlg> dialog;
};

TEST_F(PictureArtDlgTest, ATitleShowsItsPictureAtItsSizeAroundTheCentreAndTheNextTitleItsOwn)
{
    EXPECT_EQ(dialog->size(), QSize(150, 150));
    dialog->ShowPictureFor("a b");
    ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }, 10000));
    const auto hits = images.Hits();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].target, "/images?q=a%20b");
    EXPECT_EQ(hits[1].target, "/picture");
    EXPECT_EQ(dialog->size(), QSize(120, 90));
    EXPECT_EQ(dialog->GetScreenCenter(), QPoint(400, 300));
    EXPECT_EQ(dialog->SearchPageUrl(), images.server.Url("/images?q=a%20b"));

    images.SetPicture(PictureBytes(200, 100, Qt::red));
    dialog->ShowPictureFor("c");
    EXPECT_FALSE(dialog->isVisible()) << "a new title hides the old picture at once";
    ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }, 10000));
    EXPECT_EQ(dialog->size(), QSize(200, 100));
    EXPECT_EQ(dialog->Picture().pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(skin_test::Render(dialog.get()).pixelColor(100, 50), QColor(Qt::red));
}

TEST_F(PictureArtDlgTest, WhileTheOwnerIsHiddenThePictureArrivesButTheWindowStaysHidden)
{
    owner.shown = false;
    dialog->ShowPictureFor("song");
    AwaitHits(2);
    // The picture is fetched, decoded and handed over after the server saw the request.
    ASSERT_TRUE(PumpUntil([&] { return !dialog->Picture().isNull(); }, 10000));
    EXPECT_EQ(dialog->size(), QSize(120, 90));
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(PictureArtDlgTest, FailedLookupsLeaveTheWindowHiddenAndAnEmptyTitleAsksNothing)
{
    dialog->ShowPictureFor("");
    PumpFor(300);
    EXPECT_EQ(images.HitCount(), 0u);

    images.SetPage(
        "<html>no results here target=_blank><img src=" + images.server.Url("/picture").toUtf8() + " width=1></html>");
    dialog->ShowPictureFor("unknown");
    AwaitHits(1);
    EXPECT_EQ(images.HitCount(), 1u) << "a page without results asks for no picture";
    EXPECT_FALSE(dialog->isVisible());

    images.SetPage(QByteArray());
    const std::pair<const char*, QByteArray> bad[] = { { "broken", QByteArray("\x89PNG\r\n\x1a\nnonsense", 16) },
        { "huge", ui_testing::PngClaiming(20000, 20000) }, { "html", "<html>404</html>" } };
    size_t expected = images.HitCount();
    for (const auto& [title, bytes] : bad) {
        images.SetPicture(bytes);
        dialog->ShowPictureFor(title);
        expected += 2;
        AwaitHits(expected);
        EXPECT_FALSE(dialog->isVisible()) << title;
        EXPECT_EQ(dialog->size(), QSize(150, 150)) << title << ": the window stays as it was";
    }
}

TEST_F(PictureArtDlgTest, AnEmptyTitleOrDisablingDropsTheLookupUnderWayAndDisabledAsksNothing)
{
    images.StallPicture(800);
    dialog->ShowPictureFor("old station's song");
    AwaitHits(2);
    dialog->ShowPictureFor("");
    PumpFor(1500);
    EXPECT_FALSE(dialog->isVisible()) << "no picture of a song that is no longer playing";
    images.StallPicture(0);

    dialog->OnCommand(CPictureArtDlg::kCommandDisable);
    EXPECT_EQ(owner.disables, 1);
    EXPECT_TRUE(dialog->IsDisabled());
    const size_t before = images.HitCount();
    dialog->ShowPictureFor("while disabled");
    PumpFor(500);
    EXPECT_EQ(images.HitCount(), before);
    EXPECT_FALSE(dialog->isVisible());

    dialog->SetEnabled(true);
    dialog->ShowPictureFor("enabled again");
    ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }, 10000));
    dialog->SetEnabled(false);
    EXPECT_FALSE(dialog->isVisible()) << "disabling hides the window";
}

TEST_F(PictureArtDlgTest, APictureLargerThanTheScreenIsScaledDownKeepingItsShape)
{
    images.SetPicture(PictureBytes(4000, 2000));
    dialog->ShowPictureFor("wide");
    ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }, 10000));
    const QSize available = dialog->screen()->availableGeometry().size();
    EXPECT_LE(dialog->width(), available.width());
    EXPECT_LE(dialog->height(), available.height());
    EXPECT_NEAR(double(dialog->width()) / dialog->height(), 2.0, 0.01);
    EXPECT_EQ(dialog->Picture().size(), dialog->size() * dialog->devicePixelRatio())
        << "the picture arrives at the window's size: painting only draws it";
}

TEST_F(PictureArtDlgTest, TheCentreZeroLiesInsetFromTheScreenCornerAndResizingKeepsTheCentre)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    dialog->MoveCenterTo(QPoint(0, 0));
    EXPECT_EQ(dialog->GetScreenCenter(), QPoint(screen.width() - 250, screen.height() - 250));
    dialog->ResizeAroundCenter(61, 41);
    EXPECT_EQ(dialog->GetScreenCenter(), QPoint(screen.width() - 250, screen.height() - 250));
    EXPECT_EQ(dialog->size(), QSize(61, 41));
    dialog->MoveCenterTo(QPoint(123, 456));
    EXPECT_EQ(dialog->GetScreenCenter(), QPoint(123, 456));
}

TEST_F(PictureArtDlgTest, TheMenuOpensTheSearchPageClosesTheWindowAndDisablesThePictures)
{
    QStringList opened;
    const UrlOpener previous = SetUrlOpener([&](const QUrl& url) {
        opened << url.toString(QUrl::FullyEncoded);
        return true;
    });
    dialog->ShowPictureFor("menu song");
    ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }, 10000));

    QStringList texts;
    auto choose = [&](const QString& text) {
        ui_testing::PopupScript script([&](QMenu* menu) {
            texts = ui_testing::ActionTexts(menu);
            return ui_testing::ActionByText(menu, text);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dialog->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(dialog.get(), &event);
    };
    choose("Open");
    EXPECT_EQ(texts, QStringList({ "Open", "Close", "Disable" }));
    ASSERT_EQ(opened, QStringList { images.server.Url("/images?q=menu%20song") });

    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(5, 5), dialog->mapToGlobal(QPointF(5, 5)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &doubleClick);
    EXPECT_EQ(opened.size(), 2);

    choose("Close");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->IsDisabled()) << "the next title shows the window again";
    dialog->ShowPictureFor("next");
    ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }, 10000));

    choose("Disable");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(dialog->IsDisabled());
    EXPECT_EQ(owner.disables, 1);
    SetUrlOpener(previous);
}

TEST_F(PictureArtDlgTest, ClosingTheWindowDuringASlowDownloadReturnsWithinASecond)
{
    images.StallPicture(60000);
    dialog->ShowPictureFor("slow");
    ASSERT_TRUE(PumpUntil([&] { return images.HitCount() == 2; }, 10000));
    QElapsedTimer clock;
    clock.start();
    dialog.reset();
    EXPECT_LT(clock.elapsed(), 1500);
    PumpFor(200);
}

} // namespace
