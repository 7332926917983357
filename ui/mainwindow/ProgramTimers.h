#pragma once

#include <QBasicTimer>
#include <map>

class QObject;

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
