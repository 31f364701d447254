// The system timer's resolution this process asks for while it runs.
#pragma once

#include <windows.h>

// Asks for a 1 ms timer period for as long as it lives: since Windows 10
// 2004 a process that does not ask gets 15.6 ms sleeps, and the streams' 1 ms
// update cycle would last that long. The period ended is the one granted;
// nothing is ended when the request was refused.
class TimerResolution {
public:
    static constexpr UINT kPeriodMs = 1;
    // timeBeginPeriod and timeEndPeriod, or a test's stand-ins.
    using PeriodCall = UINT(WINAPI*)(UINT periodMs);

    TimerResolution();
    TimerResolution(PeriodCall begin, PeriodCall end);
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

    bool Granted() const { return m_granted != 0; }

private:
    PeriodCall m_end;
    UINT m_granted;
};
