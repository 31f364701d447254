#include "core/timer_resolution.h"

#include <mmsystem.h>

TimerResolution::TimerResolution() : TimerResolution(&::timeBeginPeriod, &::timeEndPeriod) {}

TimerResolution::TimerResolution(PeriodCall begin, PeriodCall end)
    : m_end(end), m_granted(begin(kPeriodMs) == TIMERR_NOERROR ? kPeriodMs : 0)
{
}

TimerResolution::~TimerResolution()
{
    if (m_granted)
        m_end(m_granted);
}
