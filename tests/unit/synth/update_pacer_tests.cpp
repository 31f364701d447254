// The update thread's pace: 1 ms while events flow, 10 ms after 9000 idle cycles.
#include <gtest/gtest.h>

#include "synth/update_pacer.h"

TEST(UpdatePacer, SlowsDownAfter9000IdleCyclesAndSpeedsUpAtTheFirstEvent) {
    UpdatePacer pacer;
    EXPECT_EQ(pacer.Period(), 1u);
    for (int i = 0; i < 8999; ++i) ASSERT_EQ(pacer.OnCycle(true), 1u) << i;
    EXPECT_EQ(pacer.Countdown(), 1u);
    EXPECT_EQ(pacer.OnCycle(true), 10u);
    EXPECT_EQ(pacer.OnCycle(true), 10u);
    EXPECT_EQ(pacer.OnCycle(false), 1u);
    EXPECT_EQ(pacer.Countdown(), 9000u);
}

TEST(UpdatePacer, AnEventRestartsTheCountdown) {
    UpdatePacer pacer;
    for (int i = 0; i < 8000; ++i) pacer.OnCycle(true);
    pacer.OnCycle(false);
    for (int i = 0; i < 8999; ++i) ASSERT_EQ(pacer.OnCycle(true), 1u);
    EXPECT_EQ(pacer.OnCycle(true), 10u);
}

TEST(UpdatePacer, UpdateLengthIsClamped) {
    EXPECT_EQ(UpdateLengthMs(0), 20u);
    EXPECT_EQ(UpdateLengthMs(250), 250u);
    EXPECT_EQ(UpdateLengthMs(5000), 1000u);
}
