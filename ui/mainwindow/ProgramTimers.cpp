#include "ui/mainwindow/ProgramTimers.h"

#include <QObject>

CProgramTimers::CProgramTimers(QObject* owner)
    : m_owner(owner)
{
}

void CProgramTimers::Set(int number, int periodMs)
{
    Entry& entry = m_timers[number];
    entry.period = periodMs;
    entry.timer.start(periodMs, m_owner);
}

void CProgramTimers::Kill(int number)
{
    const auto found = m_timers.find(number);
    if (found != m_timers.end())
        found->second.timer.stop();
}

void CProgramTimers::KillAll()
{
    for (auto& [number, entry] : m_timers)
        entry.timer.stop();
}

bool CProgramTimers::IsActive(int number) const
{
    const auto found = m_timers.find(number);
    return found != m_timers.end() && found->second.timer.isActive();
}

int CProgramTimers::Period(int number) const
{
    const auto found = m_timers.find(number);
    return found == m_timers.end() ? 0 : found->second.period;
}

int CProgramTimers::NumberOf(int qtTimerId) const
{
    for (const auto& [number, entry] : m_timers)
        if (entry.timer.isActive() && entry.timer.timerId() == qtTimerId)
            return number;
    return 0;
}
