#pragma once

#include "audio/RadioManager.h"
#include "audio/TagFile.h"
#include "tests/audio/IcyTestStream.h"
#include "tests/audio/PlayerStatusLog.h"
#include "tests/support/FfmpegTools.h"
#include "tests/support/TempProgramFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

// A manager playing real streams on the default device, standing in for the main window: it sets the
// options, receives the status messages and deletes finished players. Without a sound card the
// default device is SDL's dummy output, which consumes sound at its real rate.
class PlayerStreamFixture : public ::testing::Test
{
protected:
    PlayerStreamFixture()
    {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        log.onStatus = [this](const PlayerStatusLog::Entry& entry) {
            if (entry.code == PlayerStatusFinished)
                manager.DeletePlayer(reinterpret_cast<RadioPlayer*>(entry.player));
        };
        manager.SetPlayerOptions(0, false, 0, 2000, false, false);
        manager.SetVolume(80);
    }

    // Records the current station for five seconds into "Recordings/<station>/" and checks that
    // fileName there is an MP3 at the channel's sample rate, holding every sample the player decoded
    // while it recorded, tagged with title and artist; tag is left open for further checks.
    void RecordEncodedAndCheck(RadioPlayer* player, const QString& station, const QString& fileName,
        const QString& title, const QString& artist, CTagFile& tag)
    {
        AudioChannelInfo info {};
        ASSERT_TRUE(BASS_ChannelGetInfo(player->GetHandle(), &info));
        // What the player hands its recorder, counted by a DSP after the recorder's under the same lock:
        // a loaded machine may decode less than the wall clock's five seconds, but the file must hold it all.
        struct Counter {
            RadioPlayer* player;
            uint32_t channels;
            std::atomic<int64_t> frames { 0 };
            AudioDsp dsp = 0;
            ~Counter()
            {
                if (dsp)
                    BASS_ChannelRemoveDSP(player->GetHandle(), dsp);
            }
            static void Count(AudioDsp, uint32_t, void*, uint32_t length, void* user)
            {
                auto* self = static_cast<Counter*>(user);
                if (self->player->IsRecording())
                    self->frames += int64_t(length / 2 / self->channels);
            }
        } handed { player, info.chans };
        handed.dsp = BASS_ChannelSetDSP(player->GetHandle(), &Counter::Count, &handed, -1);
        ASSERT_NE(handed.dsp, 0u);
        ASSERT_TRUE(manager.StartRecording(QStringLiteral("Recordings"), QStringLiteral("Untitled"), 128, false));
        PlayerStatusLog::Pump(5000);
        ASSERT_TRUE(manager.StopRecording(true, false));
        const double seconds = double(handed.frames) / double(info.freq);
        EXPECT_GT(seconds, 1.0) << "the recording hardly ran";

        const QString path = folder.FilePath(QStringLiteral("Recordings/%1/%2").arg(station, fileName));
        const testing_support::ProbedAudio probe = testing_support::ProbeAudio(path);
        ASSERT_TRUE(probe.ok) << probe.error.toStdString();
        EXPECT_EQ(probe.codecName, QStringLiteral("mp3"));
        EXPECT_EQ(probe.sampleRate, int(info.freq));
        // The encoder adds its delay and fills the last frame: less than two frames (48 ms at 48 kHz).
        EXPECT_NEAR(double(probe.decodedSamples) / double(std::max(probe.sampleRate, 1)), seconds, 0.1);

        ASSERT_EQ(tag.Open(path), 0);
        EXPECT_EQ(tag.GetTitle(), title);
        EXPECT_EQ(tag.GetArtist(), artist);
    }

    ~PlayerStreamFixture() override
    {
        // Every player must be gone before the log and the manager are.
        if (manager.GetPlayerCount() > 0) {
            manager.Stop(false, false);
            PlayerStatusLog::PumpUntil([this] { return manager.GetPlayerCount() == 0; }, 40000);
        }
        // The server's handlers read the streams: stop them before any stream goes.
        StopServer();
    }

    void StopServer()
    {
        stream.Stop();
        server.Stop();
    }

    CStationItem Station(const QString& title, const QString& url)
    {
        CStationItem station;
        station.SetTitle(title);
        station.AddSource(url);
        return station;
    }

    RadioPlayer* Current()
    {
        RadioPlayer* found = nullptr;
        for (auto it = log.entries.rbegin(); it != log.entries.rend() && !found; ++it) {
            auto* player = reinterpret_cast<RadioPlayer*>(it->player);
            if (player && manager.IsCurrentPlayer(player))
                found = player;
        }
        return found;
    }

    bool WaitForCode(RadioPlayer* player, int code, int ms)
    {
        return PlayerStatusLog::PumpUntil([&] { return log.Has(player, code); }, ms);
    }

    // The first player that posted anything after the log held `before` entries.
    RadioPlayer* NewPlayerAfter(size_t before, int ms)
    {
        RadioPlayer* player = nullptr;
        PlayerStatusLog::PumpUntil(
            [&] {
                for (size_t i = before; i < log.entries.size(); ++i) {
                    if (log.entries[i].player) {
                        player = reinterpret_cast<RadioPlayer*>(log.entries[i].player);
                        return true;
                    }
                }
                return false;
            },
            ms);
        return player;
    }

    int argc = 0;
    QCoreApplication app { argc, nullptr };
    testing_support::TempProgramFolder folder;
    testing_support::LoopbackHttpServer server;
    IcyTestStream stream;
    PlayerStatusLog log;
    CRadioManager manager { &log };
};
