#pragma once

#include "audio/RadioManager.h"
#include "tests/audio/IcyTestStream.h"
#include "tests/audio/PlayerStatusLog.h"
#include "tests/support/TempProgramFolder.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

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
