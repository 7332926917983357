// The main window's play road on its own: players on loopback addresses nobody answers, the display
// recorded through its callbacks.

#include "ui/mainwindow/PlaybackControl.h"

#include "audio/RadioManager.h"
#include "audio/RadioPlayer.h"
#include "core/Favorites.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/ui/support/UiTestSupport.h"
#include "ui/options/GeneralProperties.h"
#include "ui/options/PropExtra.h"
#include "ui/options/PropRecordings.h"
#include "ui/options/PropSkins.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/windows/PictureArtDlg.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QSlider>
#include <gtest/gtest.h>

namespace
{

using testing_support::PumpUntil;

class PlaybackControlTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ui_testing::EnsureApplication();
        qputenv("SDL_AUDIODRIVER", "dummy");
    }

    void SetUp() override
    {
        history.SetPolicy(true, true);
        favorites.SetStorage(folder.FilePath("Kavrilune.xml"), QStringLiteral("Favorites"), 1326);
        history.SetStorage(folder.FilePath("Kavrilune.xml"), QStringLiteral("History"), 1374);
    }

    void TearDown() override
    {
        radio.Shutdown(CRadioManager::kShutdownWaitMs);
        favorites.WaitForThreads();
        history.WaitForThreads();
    }

    CPlaybackControl::Callbacks Record()
    {
        CPlaybackControl::Callbacks callbacks;
        callbacks.showStatus = [this](int status) { shown.push_back(status); };
        callbacks.updateTitleText = [this](bool) { ++titles; };
        callbacks.updateStreamFormatText = [] {};
        callbacks.updatePlayButton = [this] { ++playButtons; };
        callbacks.updateMuteButton = [this] { ++muteButtons; };
        callbacks.updateRecButton = [this] { ++recButtons; };
        callbacks.markDirty = [this] { ++dirty; };
        callbacks.applySkin = [] {};
        callbacks.appFolder = [this] { return folder.Path(); };
        return callbacks;
    }

    // The player the radio plays now, once it has reported.
    LPARAM CurrentPlayer()
    {
        LPARAM current = 0;
        PumpUntil([&] {
            for (const auto& message : notified.messages)
                if (message.lParam && radio.IsCurrentPlayer(reinterpret_cast<RadioPlayer*>(message.lParam)))
                    current = message.lParam;
            return current != 0;
        });
        return current;
    }

    QString HistoryTitle(int index)
    {
        history.WaitForThreads();
        QString title, url;
        history.GetByCommandId(1374 + index, title, url);
        return title;
    }

    testing_support::TempProgramFolder folder;
    testing_support::MessageRecorder notified;
    CRadioManager radio { &notified };
    CFavorites favorites;
    CFavorites history;
    QObject listOwner;
    CStationsListCtrl list { &listOwner };
    QSlider volume;
    QWidget artOwner;
    CPictureArtDlg pictureArt { &artOwner };
    CGeneralProperties general;
    CPropExtra advanced;
    CPropRecordings recordings;
    CPropSkins skins;
    int bufferSizeMs = 4000;
    std::vector<int> shown;
    int titles = 0, playButtons = 0, muteButtons = 0, recButtons = 0, dirty = 0;
    CPlaybackControl control { { radio, favorites, history, list, volume, pictureArt },
        { general, advanced, recordings, skins, bufferSizeMs }, Record() };
};

TEST_F(PlaybackControlTest, TheRecordWishGoesWithItsStationAndStartsWhenThatPlays)
{
    recordings.m_folder = folder.FilePath("Recordings");
    control.SetPendingRecord(true);
    control.OnDropText(QStringLiteral("http://127.0.0.1:9/first"));
    EXPECT_FALSE(radio.IsRecording()) << "nothing to record before the stream plays";
    EXPECT_EQ(playButtons, 1);
    EXPECT_EQ(dirty, 1);
    const LPARAM first = CurrentPlayer();
    ASSERT_NE(first, 0);

    control.OnUpdateStatus(PlayerStatusPlaying, first);
    EXPECT_TRUE(radio.IsRecording());
    EXPECT_EQ(shown.back(), PlayerStatusPlaying);
    EXPECT_TRUE(control.ConfirmStopRecording(true));
    EXPECT_FALSE(radio.IsRecording());
    control.OnUpdateStatus(PlayerStatusPlaying, first);
    EXPECT_FALSE(radio.IsRecording()) << "the wish was acted on once";

    // A wish for a station another replaced before it played goes with it.
    control.SetPendingRecord(true);
    control.OnDropText(QStringLiteral("http://127.0.0.1:9/second"));
    control.OnDropText(QStringLiteral("http://127.0.0.1:9/third"));
    ASSERT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/third");
    const LPARAM third = CurrentPlayer();
    ASSERT_NE(third, 0);
    control.OnUpdateStatus(PlayerStatusPlaying, third);
    EXPECT_FALSE(radio.IsRecording());
}

TEST_F(PlaybackControlTest, StatusReportsReachTheDisplayOnlyFromTheCurrentPlayerOrAfterAPlay)
{
    control.OnUpdateStatus(PlayerStatusCannotConnect, 0);
    EXPECT_TRUE(shown.empty()) << "the watchdog's report before anything was asked to play";
    control.OnUpdateStatus(PlayerStatusConnecting, 8);
    EXPECT_TRUE(shown.empty()) << "no current player";

    control.OnDropText(QStringLiteral("http://127.0.0.1:9/station"));
    const LPARAM player = CurrentPlayer();
    ASSERT_NE(player, 0);
    control.OnUpdateStatus(PlayerStatusBuffering, player + 8);
    EXPECT_TRUE(shown.empty()) << "a stale player";
    const int buttons = playButtons;
    control.OnUpdateStatus(PlayerStatusCannotConnect, 0);
    EXPECT_EQ(shown, std::vector<int> { PlayerStatusCannotConnect });
    EXPECT_EQ(playButtons, buttons + 1);
    for (const int status : { PlayerStatusConnecting, PlayerStatusInitFailed, PlayerStatusStopped })
        control.OnUpdateStatus(WPARAM(status), player);
    EXPECT_EQ(shown.back(), PlayerStatusStopped);
    EXPECT_EQ(playButtons, buttons + 3) << "a failed start and a stop show in the play button";
    EXPECT_EQ(titles, 1) << "a stop shows in the title";

    control.OnMute();
    EXPECT_TRUE(radio.IsMuted());
    EXPECT_EQ(muteButtons, 1);
}

TEST_F(PlaybackControlTest, DropsPastesFavouritesAndTheHistoryPlayWhatTheyCarry)
{
    control.OnDropText(QString());
    EXPECT_EQ(dirty, 0) << "an empty drop plays nothing";

    // An Internet shortcut plays its address; another file plays as it is; a skin package that is none
    // plays nothing.
    const QString shortcut = folder.FilePath("station.url");
    QFile file(shortcut);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[InternetShortcut]\r\nURL=http://127.0.0.1:9/shortcut\r\n");
    file.close();
    control.OnDropFile(shortcut);
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/shortcut");
    EXPECT_EQ(HistoryTitle(0), "http://127.0.0.1:9/shortcut");
    control.OnDropFile(shortcut + QStringLiteral(".zip"));
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/shortcut");

    QGuiApplication::clipboard()->setText(QStringLiteral("http://127.0.0.1:9/") + QString(3981, u'x'));
    control.OnPasteUrl();
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/shortcut") << "too long for an address";
    QGuiApplication::clipboard()->setText(QStringLiteral("http://127.0.0.1:9/pasted"));
    control.OnPasteUrl();
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/pasted");

    ASSERT_GT(favorites.AddAndSave(QStringLiteral("Favourite"), QStringLiteral("http://127.0.0.1:9/favourite"), 0), 0);
    control.OnFavoriteItem(1326);
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/favourite");
    control.OnFavoriteItem(1327);
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/favourite") << "no such favourite";
    EXPECT_EQ(HistoryTitle(0), "Favourite");
    EXPECT_EQ(HistoryTitle(1), "http://127.0.0.1:9/pasted");

    // Back and next walk the history from the entry marked current, without adding to it.
    history.SetCurrent(QStringLiteral("Favourite"));
    control.OnBack();
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/pasted");
    control.OnBack();
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/shortcut");
    control.OnNext();
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/pasted");
    control.OnHistoryItem(1374);
    EXPECT_EQ(radio.GetStationUrl(), "http://127.0.0.1:9/favourite");
    EXPECT_EQ(HistoryTitle(0), "Favourite");
    EXPECT_EQ(HistoryTitle(3), "");
}

} // namespace
