// The output side's time base: the steady clock, unless a test has taken
// the clock over to move time by hand, so that the device's pace and the
// placement of asynchronous events can be checked frame by frame without
// depending on how the machine schedules threads.
#pragma once

#include <cstdint>

namespace tsl::output {

// Nanoseconds on the output clock.
int64_t ClockNs() noexcept;

// Tests only. While a manual clock is on, ClockNs() returns the value last
// set, and stays there until set again. Switch it on before BASS_Init so the
// device starts counting from the manual time.
void SetManualClock(int64_t ns) noexcept;
void ReleaseManualClock() noexcept;

} // namespace tsl::output
