// The main window's status display on controls of its own: the status line and the status remembered,
// the titles while nothing plays, and the buttons' tooltips and states.

#include "ui/mainwindow/StatusDisplay.h"

#include "audio/RadioManager.h"
#include "audio/RadioPlayer.h"
#include "core/StationItem.h"
#include "tests/ui/support/FakeTrayBackend.h"
#include "tests/ui/support/UiTestSupport.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/desktop/MprisService.h"
#include "ui/desktop/SystemTray.h"
#include "ui/options/PropExtra.h"

#include <QProgressBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class StatusDisplayTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ui_testing::EnsureApplication(); }

    QWidget window;
    CHyperStatic songTitle { &window }, status { &window }, bufferInfo { &window }, rotatedInfo { &window },
        foundNumber { &window };
    QProgressBar bufferIndicator { &window };
    CGdipButton play { &window }, mute { &window }, rec { &window }, sources { &window }, exit { &window },
        back { &window }, next { &window }, options { &window }, favorites { &window }, expand { &window },
        onTop { &window }, minimize { &window };
    CRadioManager radio;
    CPropExtra advanced;
    ui_testing::FakeTrayBackend* trayBackend = new ui_testing::FakeTrayBackend;
    CSystemTray tray { &window, std::unique_ptr<ITrayBackend>(trayBackend) };
    CMprisService mpris { MprisPlayerControls {} };
    int found = 0;
    CStatusDisplay display { { window, songTitle, status, bufferInfo, rotatedInfo, foundNumber, bufferIndicator, play,
                                 mute, rec, sources, exit, back, next, options, favorites, expand, onTop, minimize },
        radio, advanced, tray, mpris, [this] { return found; } };
};

TEST_F(StatusDisplayTest, EveryStatusWithATextIsShownAndRemembered)
{
    const std::pair<int, const char*> texts[]
        = { { PlayerStatusInitializing, "Initialization..." }, { PlayerStatusInitFailed, "Cannot initialize." },
              { PlayerStatusInitDone, "Initialization completed." }, { PlayerStatusStopping, "Stopping..." },
              { PlayerStatusStopped, "Stopped." }, { PlayerStatusConnecting, "Connecting..." },
              { PlayerStatusBuffering, "Buffering..." }, { PlayerStatusConnectionError, "Connection Error." },
              { PlayerStatusStoppedByItself, "Cannot connect." }, { PlayerStatusCannotConnect, "Cannot connect." } };
    for (const auto& [code, text] : texts) {
        display.ShowStatus(code);
        EXPECT_EQ(status.Text(), text) << code;
        EXPECT_EQ(display.LastStatus(), code);
    }

    // Statuses that are no state of the player leave the line and the last status alone.
    for (const int code : { PlayerStatusTagsRead, PlayerStatusNewStreamTitle, PlayerStatusFinished })
        display.ShowStatus(code);
    EXPECT_EQ(status.Text(), "Cannot connect.");
    EXPECT_EQ(display.LastStatus(), PlayerStatusCannotConnect);

    // The timer writes the elapsed time only while the last status is "playing"; the buffer always.
    display.OnStatusTimer();
    EXPECT_EQ(status.Text(), "Cannot connect.");
    EXPECT_EQ(bufferInfo.Text(), "Buffer: 0%");
    EXPECT_EQ(bufferIndicator.value(), 0);
    display.ShowStatus(PlayerStatusPlaying);
    EXPECT_EQ(display.LastStatus(), PlayerStatusPlaying);
    EXPECT_EQ(status.Text(), "Playing (00:00)");
    status.SetText(QString());
    display.OnStatusTimer();
    EXPECT_EQ(status.Text(), "Playing (00:00)");
}

TEST_F(StatusDisplayTest, WhileNothingPlaysTheTitlesNameTheProgramAndTheInfoLineTheStation)
{
    CStationItem station;
    station.SetTitle(QStringLiteral("Loopback Jazz"));
    station.AddSource(QStringLiteral("http://127.0.0.1:9/jazz"));
    radio.SetCurrentStation(station);
    window.setWindowTitle(QStringLiteral("stale"));

    display.UpdateTitleText(false);
    EXPECT_EQ(window.windowTitle(), "Kavri? Lune!");
    EXPECT_EQ(songTitle.Text(), "Kavri? Lune!");
    EXPECT_EQ(tray.Tooltip(), "Kavri? Lune!");
    display.UpdateRotatedInfo();
    EXPECT_EQ(rotatedInfo.Text(), "Loopback Jazz");
    display.UpdateStreamFormatText();
    EXPECT_EQ(sources.text(), "") << "no format without a stream";
}

TEST_F(StatusDisplayTest, ButtonsCarryTheirNamesAndTheRadiosStates)
{
    found = 7;
    display.UpdateButtons();
    const std::pair<CGdipButton*, const char*> names[] = { { &exit, "Exit" }, { &back, "Back" }, { &next, "Forward" },
        { &options, "Options" }, { &favorites, "Favorites" }, { &expand, "Expand/Collapse" },
        { &onTop, "Always on top" }, { &minimize, "Hide" }, { &play, "Play" }, { &mute, "Mute" }, { &rec, "Rec" } };
    for (const auto& [button, name] : names)
        EXPECT_EQ(button->TooltipText(), name);
    EXPECT_FALSE(play.IsAlternate());
    EXPECT_FALSE(mute.IsAlternate());
    EXPECT_FALSE(rec.IsAlternate());
    EXPECT_EQ(tray.IconId(), CSystemTray::kIconNormal);
    EXPECT_EQ(foundNumber.Text(), "Stations found: 7");

    radio.SetMute(true);
    display.UpdateMuteButton();
    EXPECT_EQ(mute.TooltipText(), "Unmute");
    EXPECT_TRUE(mute.IsAlternate());

    // A recording wished for shows at once, in the button and the tray.
    const QTemporaryDir recordings;
    radio.StartRecording(recordings.path(), QStringLiteral("Untitled"), 0, false);
    ASSERT_TRUE(radio.IsRecording());
    display.UpdateRecButton();
    EXPECT_EQ(rec.TooltipText(), "Stop Rec");
    EXPECT_TRUE(rec.IsAlternate());
    EXPECT_EQ(tray.IconId(), CSystemTray::kIconRecording);
}

} // namespace
