// The process's timer period: asked for once, given back exactly as granted,
// and not given back at all when it was refused (an unmatched end would undo
// another component's request).
#include "core/timer_resolution.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <vector>

namespace {

std::vector<UINT> g_begun;
std::vector<UINT> g_ended;
UINT g_beginResult = TIMERR_NOERROR;

UINT WINAPI RecordBegin(UINT periodMs)
{
    g_begun.push_back(periodMs);
    return g_beginResult;
}

UINT WINAPI RecordEnd(UINT periodMs)
{
    g_ended.push_back(periodMs);
    return TIMERR_NOERROR;
}

class TimerResolutionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_begun.clear();
        g_ended.clear();
        g_beginResult = TIMERR_NOERROR;
    }
};

TEST_F(TimerResolutionTest, AsksForOneMillisecondAndEndsThatPeriodOnce)
{
    {
        const TimerResolution timer(&RecordBegin, &RecordEnd);
        EXPECT_TRUE(timer.Granted());
        EXPECT_EQ(g_begun, std::vector<UINT>{1u});
        EXPECT_TRUE(g_ended.empty()) << "ended while still in use";
    }
    EXPECT_EQ(g_ended, std::vector<UINT>{1u});
}

TEST_F(TimerResolutionTest, ARefusedRequestEndsNothing)
{
    g_beginResult = TIMERR_NOCANDO;
    {
        const TimerResolution timer(&RecordBegin, &RecordEnd);
        EXPECT_FALSE(timer.Granted());
    }
    EXPECT_EQ(g_begun, std::vector<UINT>{1u});
    EXPECT_TRUE(g_ended.empty());
}

}  // namespace
