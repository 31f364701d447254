// How often a stream's update thread renders: every 1 ms while events flow,
// every 10 ms after about 9 s (9000 idle cycles at 1 ms) without any, and back
// to 1 ms at the first event after that.
#pragma once

#include <windows.h>

class UpdatePacer {
public:
    static constexpr DWORD kFastPeriodMs = 1;
    static constexpr DWORD kSlowPeriodMs = 10;
    static constexpr DWORD kIdleCycles = 9000;

    DWORD Period() const { return m_period; }
    DWORD Countdown() const { return m_countdown; }

    // One render cycle ended; idle = no event arrived during it. Returns the
    // period to sleep for the next cycle.
    DWORD OnCycle(bool idle);

private:
    DWORD m_period = kFastPeriodMs;
    DWORD m_countdown = kIdleCycles;
};

// The update length handed to BASS_ChannelUpdate: AdditionalBuffer within 20-1000 ms.
DWORD UpdateLengthMs(DWORD additionalBuffer);
