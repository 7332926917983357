// The player on a sound server of the test's own that answers but has nowhere to play.

#include "audio/RadioPlayer.h"
#include "tests/audio/PlayerStatusLog.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestMedia.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace testing_support;

namespace
{

constexpr int kRate = 44100;

class PlayerOnSoundServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SoundServer::Available())
            GTEST_SKIP() << SoundServer::Missing();
        if (SoundServer::PipeWire())
            GTEST_SKIP() << "PipeWire's service takes a stream while it has no sink, and plays it unheard";
        unsetenv("SDL_AUDIODRIVER"); // a driver chosen for SDL would keep the library off the server
        std::string reason;
        ASSERT_TRUE(m_server.Start(reason)) << reason;
        SineOptions options;
        options.seconds = 20.0;
        m_tone = m_folder.filePath(QStringLiteral("tone.mp3"));
        ASSERT_TRUE(GenerateSine(m_tone, MediaFormat::Mp3, options));
    }
    void TearDown() override
    {
        if (m_player) {
            m_player->StopNow(false);
            EXPECT_TRUE(Finished());
        }
        ShutdownAudio();
        unsetenv("PULSE_SERVER");
        unsetenv("PULSE_CLIENTCONFIG");
    }

    void Play()
    {
        m_from = m_log.entries.size();
        m_player
            = std::make_unique<RadioPlayer>(QStringLiteral("Tone"), m_tone, 0, 0, 100, false, &m_log, 4000, 0, false);
        m_id = m_player.get();
        m_player->StartThread();
    }
    // The statuses of the last player started.
    std::vector<int> Codes() const { return m_log.CodesOf(m_id, m_from); }
    // Waits for the player's last word and lets it go, as the manager does.
    bool Finished()
    {
        const bool finished = PlayerStatusLog::PumpUntil(
            [&] { return !Codes().empty() && Codes().back() == PlayerStatusFinished; }, 20000);
        if (finished)
            m_player.reset();
        return finished;
    }

    int m_argc = 0;
    QCoreApplication m_app { m_argc, nullptr };
    QTemporaryDir m_folder;
    QString m_tone;
    SoundServer m_server;
    PlayerStatusLog m_log;
    std::unique_ptr<RadioPlayer> m_player;
    const void* m_id = nullptr;
    size_t m_from = 0;
};

} // namespace

TEST_F(PlayerOnSoundServerTest, WithoutASinkThePlayerEndsOnAnOutputErrorAndTheNextStartPlaysOnceOneIsBack)
{
    ASSERT_EQ(m_server.Control({ "unload-module", "module-null-sink" }), 0);
    Play();
    ASSERT_TRUE(Finished()) << "the player never posted its last status: " << testing::PrintToString(Codes());
    // The output could not be opened, and the status says so; the set-up ran to its end (a fault in it
    // would have cut it short before 3), and nothing is said to play.
    EXPECT_EQ(
        Only(Codes(), { PlayerStatusInitFailed, PlayerStatusInitDone, PlayerStatusCannotConnect, PlayerStatusPlaying }),
        (std::vector<int> { PlayerStatusInitFailed, PlayerStatusInitDone, PlayerStatusCannotConnect }));

    ASSERT_EQ(
        m_server.Control({ "load-module", "module-null-sink", "sink_name=probe", "rate=44100", "channels=2" }), 0);
    ASSERT_EQ(m_server.Control({ "set-default-sink", "probe" }), 0);
    MonitorRecorder monitor(m_server.Address());
    ASSERT_TRUE(monitor.Started());
    Play();
    ASSERT_TRUE(PlayerStatusLog::PumpUntil([&] { return !Only(Codes(), { PlayerStatusPlaying }).empty(); }, 10000))
        << testing::PrintToString(Codes());
    bool heard = false;
    size_t from = monitor.Frames();
    for (int quarter = 0; quarter < 20 && !heard && monitor.WaitForFrames(from + kRate / 4, 3000); ++quarter) {
        heard = LoudFrames(monitor.Left(from, kRate / 4)) > size_t(kRate / 5);
        from += kRate / 4;
    }
    EXPECT_TRUE(heard) << "no sound at the sink";
}
