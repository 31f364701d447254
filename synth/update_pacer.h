// How often a stream's update thread renders: every 1 ms while events flow,
// every 10 ms after 9 s without any, and back to 1 ms at the first event
// after that.
//
// The 9 s are measured on the clock, not counted in cycles: a cycle lasts as
// long as the system's timer lets a 1 ms sleep last (about 15.6 ms on
// Windows 10 2004 and later when a process did not raise the resolution), and
// the slow-down must not come fifteen times late.
#pragma once

#include <windows.h>

class UpdatePacer {
public:
    static constexpr DWORD kFastPeriodMs = 1;
    static constexpr DWORD kSlowPeriodMs = 10;
    static constexpr ULONGLONG kIdleMs = 9000;

    explicit UpdatePacer(ULONGLONG nowMs) : m_lastEvent(nowMs) {}

    DWORD Period() const { return m_period; }

    // One render cycle ended at `nowMs`; idle = no event arrived during it.
    // Returns the period to sleep for the next cycle.
    DWORD OnCycle(bool idle, ULONGLONG nowMs);

private:
    DWORD m_period = kFastPeriodMs;
    ULONGLONG m_lastEvent;
};

// The update length handed to BASS_ChannelUpdate: AdditionalBuffer within 20-1000 ms.
DWORD UpdateLengthMs(DWORD additionalBuffer);
