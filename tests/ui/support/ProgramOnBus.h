#pragma once

// The real program playing a live loopback station, on a session bus of the test's own: what the
// desktop's side (media controls, tray, notifications) gets to see of it.

#include "tests/support/IcecastServer.h"
#include "tests/support/SessionBus.h"
#include "tests/ui/support/ProgramFixture.h"

#include <optional>

namespace ui_testing
{

class ProgramOnBusTest : public ProgramTest
{
protected:
    static inline const QString kLive = QStringLiteral("/live");

    // Starts the station on kLive and the session bus; busEnvironment is then what a start of the
    // program on that bus gets. Test services can join the bus before the program starts.
    void StartStationAndBus()
    {
        station.emplace();
        ASSERT_TRUE(station->IsRunning()) << station->Error().toStdString();
        ASSERT_TRUE(station->StartSource(kLive));
        bus.emplace();
        ASSERT_FALSE(bus->Address().isEmpty()) << "no session bus";
        busEnvironment = Environment();
        busEnvironment.insert("DBUS_SESSION_BUS_ADDRESS", bus->Address());
    }

    // Starts the program so that it plays the station from its start under the title, and waits
    // until its window says so.
    void StartPlaying(const QString& title, const QProcessEnvironment& environment)
    {
        WriteSettings("<Autoplay>1</Autoplay><Station_URL>" + station->Url(kLive) + "</Station_URL><Station_Title>"
            + title + "</Station_Title>");
        Launch(program, {}, environment);
        ASSERT_TRUE(WaitForTitle(title, 20000));
    }

    // Made by StartStationAndBus only: the other tests of a suite start neither.
    std::optional<testing_support::IcecastServer> station;
    std::optional<testing_support::SessionBus> bus;
    QProcessEnvironment busEnvironment;
};

} // namespace ui_testing
