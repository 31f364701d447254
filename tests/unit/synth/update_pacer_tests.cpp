// The update thread's pace: 1 ms while events flow, 10 ms after 9 s without
// any, whatever a cycle really lasts.
#include <gtest/gtest.h>

#include "synth/update_pacer.h"

namespace {

// Idle cycles of `cycleMs` each from `now` until the pacer slows down; the
// time that took.
ULONGLONG IdleUntilSlow(UpdatePacer& pacer, ULONGLONG& now, ULONGLONG cycleMs) {
    const ULONGLONG start = now;
    while (pacer.OnCycle(true, now += cycleMs) != UpdatePacer::kSlowPeriodMs) {
        if (now - start > 60000) break;
    }
    return now - start;
}

}  // namespace

TEST(UpdatePacer, SlowsDownAfterNineSecondsIdleAndSpeedsUpAtTheFirstEvent) {
    ULONGLONG now = 1000;
    UpdatePacer pacer(now);
    EXPECT_EQ(pacer.Period(), 1u);
    for (int i = 0; i < 8999; ++i) ASSERT_EQ(pacer.OnCycle(true, now += 1), 1u) << i;
    EXPECT_EQ(pacer.OnCycle(true, now += 1), 10u);
    EXPECT_EQ(pacer.OnCycle(true, now += 10), 10u);
    EXPECT_EQ(pacer.OnCycle(false, now += 10), 1u);
    EXPECT_EQ(IdleUntilSlow(pacer, now, 1), 9000u);
}

TEST(UpdatePacer, CoarseTimerSlowsDownAfterTheSameTime) {
    // Sleep(1) lasting a 15.6 ms timer tick: still 9 s, not 9000 cycles.
    ULONGLONG now = 0;
    UpdatePacer pacer(now);
    const ULONGLONG took = IdleUntilSlow(pacer, now, 16);
    EXPECT_GE(took, 9000u);
    EXPECT_LT(took, 9016u);
}

TEST(UpdatePacer, AnEventRestartsTheIdleTime) {
    ULONGLONG now = 0;
    UpdatePacer pacer(now);
    for (int i = 0; i < 8000; ++i) pacer.OnCycle(true, now += 1);
    pacer.OnCycle(false, now += 1);
    EXPECT_EQ(IdleUntilSlow(pacer, now, 1), 9000u);
}

TEST(UpdatePacer, UpdateLengthIsClamped) {
    EXPECT_EQ(UpdateLengthMs(0), 20u);
    EXPECT_EQ(UpdateLengthMs(250), 250u);
    EXPECT_EQ(UpdateLengthMs(5000), 1000u);
}
