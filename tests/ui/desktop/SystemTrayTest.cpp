#include "ui/desktop/SystemTray.h"

#include "ui/desktop/QtTrayBackend.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/ui/support/FakeTrayBackend.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <gtest/gtest.h>

using testing_support::MessageRecorder;
using testing_support::PumpUntil;
using ui_testing::FakeTrayBackend;

namespace
{

class SystemTrayTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }
    SystemTrayTest()
    {
        auto backend = std::make_unique<FakeTrayBackend>();
        fake = backend.get();
        tray = std::make_unique<CSystemTray>(&window, std::move(backend));
    }

    // The last message the window received: number and wParam.
    std::pair<int, WPARAM> LastMessage()
    {
        PumpUntil([this] { return !window.messages.empty(); }, 2000);
        if (window.messages.empty())
            return { 0, 0 };
        const auto message = window.messages.back();
        window.messages.clear();
        return { message.message, message.wParam };
    }

    testing_support::TempProgramFolder program;
    MessageRecorder window;
    FakeTrayBackend* fake = nullptr;
    std::unique_ptr<CSystemTray> tray;
};

TEST_F(SystemTrayTest, TipAndBalloonAreCutTogetherNeverInsideASurrogatePair)
{
    const QString longText(200, u'x');
    tray->SetTooltip(longText, true);
    EXPECT_EQ(fake->toolTip, QString(127, u'x'));
    ASSERT_EQ(fake->messages.size(), 1u);
    EXPECT_EQ(fake->messages[0].text, fake->toolTip);
    EXPECT_EQ(fake->messages[0].title, "Kavrilune");

    // A note beyond the basic plane straddling the cut is dropped whole.
    const QString straddling = QString(126, u'a') + QString::fromUcs4(U"\U0001D11E") + "tail";
    tray->SetTooltip(straddling, false);
    EXPECT_EQ(fake->toolTip, QString(126, u'a'));
    EXPECT_EQ(fake->messages.size(), 1u) << "no balloon unless asked";
}

TEST_F(SystemTrayTest, ClicksBecomeMessagesAndABalloonClickCarriesItsNumberUntilTheTipChanges)
{
    fake->Click();
    EXPECT_EQ(LastMessage().first, RegisterWindowMessage("WM_KAVRILUNE_TRAY_COMMAND"));
    fake->RightClick();
    EXPECT_EQ(LastMessage().first, WM_CONTEXTMENU);

    const int balloonClick = RegisterWindowMessage("WM_KAVRILUNE_TRAY_BALLOON_CLICK");
    tray->ShowBalloon("There is new version 2.0 available!", 10, false, 100);
    EXPECT_EQ(fake->messages.back().timeoutMs, 10000);
    fake->ClickMessage();
    EXPECT_EQ(LastMessage(), std::make_pair(balloonClick, WPARAM(100)));
    tray->SetTooltip("Station\nSong", false);
    fake->ClickMessage();
    EXPECT_EQ(LastMessage(), std::make_pair(balloonClick, WPARAM(0)));
}

TEST_F(SystemTrayTest, IconSwitchesRemovalTwiceIsHarmlessAndRecreateRestoresTheLastLook)
{
    EXPECT_FALSE(tray->SetIcon(CSystemTray::kIconRecording)) << "no notification area: failure reported";
    EXPECT_EQ(tray->IconId(), CSystemTray::kIconRecording);
    EXPECT_TRUE(fake->visible) << "the state is kept all the same";
    EXPECT_TRUE(CSystemTray::IconFile(tray->IconId()).endsWith("icons/TrayRecording.png"));
    tray->SetIcon(CSystemTray::kIconNormal);
    EXPECT_TRUE(CSystemTray::IconFile(tray->IconId()).endsWith("icons/Tray.png"));
    tray->SetTooltip("Kavri? Lune!", false);

    tray->RemoveIcon();
    tray->RemoveIcon();
    EXPECT_FALSE(fake->visible);
    EXPECT_FALSE(tray->IsAdded());

    fake->toolTip.clear();
    fake->icon = QIcon();
    tray->Recreate();
    EXPECT_TRUE(tray->IsAdded());
    EXPECT_EQ(fake->toolTip, "Kavri? Lune!");
    EXPECT_EQ(tray->IconId(), CSystemTray::kIconNormal);

    fake->available = true;
    EXPECT_TRUE(tray->SetIcon(CSystemTray::kIconNormal));
}

// Asking the desktop whether it has a notification area blocks on D-Bus: a playing station's titles
// must not ask it again and again, yet an icon shown afresh learns what changed meanwhile.
TEST_F(SystemTrayTest, TitleChangesNeverAskTheDesktopForItsNotificationAreaAnIconShownAfreshDoes)
{
    int asked = 0;
    bool desktopHasOne = false;
    CSystemTray desktopTray(&window, std::make_unique<CQtTrayBackend>([&] {
        ++asked;
        return desktopHasOne;
    }));
    EXPECT_FALSE(desktopTray.SetTooltip("Kavrilune", false));
    EXPECT_FALSE(desktopTray.SetIcon(CSystemTray::kIconNormal));
    const int atStart = asked;
    EXPECT_EQ(atStart, 1);
    for (int title = 0; title < 20; ++title) {
        desktopTray.SetTooltip(QStringLiteral("Loopback FM\nSong %1").arg(title), title % 2 == 0);
        desktopTray.SetIcon(title % 5 == 0 ? CSystemTray::kIconRecording : CSystemTray::kIconNormal);
        desktopTray.Backend().IsAvailable();
    }
    EXPECT_EQ(asked, atStart) << "asked again on title changes";

    desktopHasOne = true;
    desktopTray.Recreate();
    EXPECT_TRUE(desktopTray.SetTooltip("Loopback FM", false)) << "the re-added icon found the new notification area";
    EXPECT_EQ(asked, atStart + 1);
}

} // namespace
