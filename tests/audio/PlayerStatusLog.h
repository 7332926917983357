#pragma once

#include "audio/RadioPlayer.h"
#include "core/WindowMessage.h"
#include "tests/support/MessageRecorder.h"

#include <QEvent>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <vector>

// Stands in for the main window in player and manager tests: records every status message posted to
// it, in order, with its arrival time, and lets a test react to one (the manager's DeletePlayer on 12).
class PlayerStatusLog : public QObject
{
public:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        int code;
        LPARAM player;
        Clock::time_point at;
    };

    bool event(QEvent* event) override
    {
        WindowMessage* message = AsWindowMessage(event);
        if (!message || message->message() != PlayerStatusMessage())
            return QObject::event(event);
        const Entry entry { int(message->wParam), message->lParam, Clock::now() };
        entries.push_back(entry);
        if (onStatus)
            onStatus(entry);
        return true;
    }

    // The codes from player, counting from entry `from` (a deleted player's address may come again).
    std::vector<int> CodesOf(const void* player, size_t from = 0) const
    {
        std::vector<int> codes;
        for (size_t i = from; i < entries.size(); ++i) {
            if (entries[i].player == LPARAM(player))
                codes.push_back(entries[i].code);
        }
        return codes;
    }

    bool Has(const void* player, int code) const
    {
        for (const Entry& entry : entries) {
            if (entry.player == LPARAM(player) && entry.code == code)
                return true;
        }
        return false;
    }

    // The first arrival of code from player, or Clock::time_point() when it has not come.
    Clock::time_point TimeOf(const void* player, int code) const
    {
        for (const Entry& entry : entries) {
            if (entry.player == LPARAM(player) && entry.code == code)
                return entry.at;
        }
        return {};
    }

    static bool PumpUntil(const std::function<bool()>& done, int ms) { return testing_support::PumpUntil(done, ms); }
    static void Pump(int ms) { testing_support::PumpFor(ms); }

    std::vector<Entry> entries;
    std::function<void(const Entry&)> onStatus;
};

// The codes of a sequence that are among wanted, in their order.
inline std::vector<int> Only(const std::vector<int>& codes, std::initializer_list<int> wanted)
{
    std::vector<int> kept;
    for (int code : codes) {
        if (std::find(wanted.begin(), wanted.end(), code) != wanted.end())
            kept.push_back(code);
    }
    return kept;
}
