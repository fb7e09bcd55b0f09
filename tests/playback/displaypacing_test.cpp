// The pacing of a run's display refreshes.
#include "displaypacing.h"

#include <gtest/gtest.h>

namespace
{
using Clock = DisplayPacing::Clock;
using std::chrono::milliseconds;
} // namespace

TEST(DisplayPacing, RefreshesAboutThirtyTimesASecond)
{
    DisplayPacing pacing;
    const Clock::time_point t0{};
    int refreshes = 0;
    // A frame analysed every 2 ms for one second.
    for (int ms = 0; ms < 1000; ms += 2)
        refreshes += pacing.due(t0 + milliseconds(ms));
    EXPECT_GE(refreshes, 28);
    EXPECT_LE(refreshes, DisplayPacing::RefreshesPerSecond);
}

TEST(DisplayPacing, FirstFrameAndFirstFrameAfterRestartAreShown)
{
    DisplayPacing pacing;
    const Clock::time_point t0{};
    EXPECT_TRUE(pacing.due(t0));
    EXPECT_FALSE(pacing.due(t0 + milliseconds(1)));
    pacing.restart();
    EXPECT_TRUE(pacing.due(t0 + milliseconds(2)));
    EXPECT_FALSE(pacing.due(t0 + milliseconds(3)));
}

// After a slow stretch the next frame is shown once, not once per missed interval.
TEST(DisplayPacing, NoBurstAfterASlowFrame)
{
    DisplayPacing pacing;
    const Clock::time_point t0{};
    EXPECT_TRUE(pacing.due(t0));
    EXPECT_TRUE(pacing.due(t0 + milliseconds(500)));
    EXPECT_FALSE(pacing.due(t0 + milliseconds(501)));
    EXPECT_FALSE(pacing.due(t0 + milliseconds(510)));
    EXPECT_TRUE(pacing.due(t0 + milliseconds(534)));
}
