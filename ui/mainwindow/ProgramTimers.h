#pragma once

#include <QBasicTimer>
#include <map>

class QObject;

// The main window's timers by number.
namespace program_timers
{

enum Timer : int {
    kTimerStatus = 1, // 400 ms: elapsed time, buffer, list visibility
    kTimerSpectrum = 3, // 32 ms
    kTimerInfo = 4, // 4 s: duration limit, deferred save, rotating title
    kTimerQuitPoll = 5, // 100 ms during exit: quit once no player is left
    kTimerQuitForce = 6, // 5 s after exit began: quit
    kTimerShow = 7, // once, as soon as start-up has run: show the window
    kTimerHide = 8, // once, 250 ms after a hidden start-up: hide to the tray
    kTimerUpdateCheck = 9, // program update check, 10 min then 2 h
    kTimerStationsCheck = 10, // stations database check, 6 min then 1 h
    kTimerPlayReport = 11, // 10 min: play report
};

} // namespace program_timers

// The window's numbered timers: the program's own timer numbers, each on a Qt timer of its owner, so
// that the owner's timerEvent can tell them apart by number.
class CProgramTimers
{
public:
    explicit CProgramTimers(QObject* owner);

    // Starts (or restarts) timer number with the period.
    void Set(int number, int periodMs);
    void Kill(int number);
    void KillAll();
    bool IsActive(int number) const;
    // The period the timer was last set with; 0 when it never was.
    int Period(int number) const;
    // The program number behind a Qt timer id, 0 when it is none of these.
    int NumberOf(int qtTimerId) const;

private:
    struct Entry {
        QBasicTimer timer;
        int period = 0;
    };
    QObject* m_owner;
    std::map<int, Entry> m_timers;
};
