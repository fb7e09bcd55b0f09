// The capped list of events behind the result table.
#include "resultlist.h"

#include <gtest/gtest.h>

namespace
{
Result event(int i)
{
    Result r;
    r.frame = 100 + i;
    r.x = i;
    r.in = 1;
    return r;
}

std::vector<Result> frameEvents(int first, int count)
{
    std::vector<Result> events;
    for (int i = 0; i < count; ++i)
        events.push_back(event(first + i));
    return events;
}

// Fills the list one loaded event at a time.
ResultList loaded(int count)
{
    ResultList list;
    for (int i = 0; i < count; ++i)
        list.add(event(i));
    return list;
}
} // namespace

TEST(ResultList, LoadingKeepsTheFirstCapacityEvents)
{
    ResultList list = loaded(ResultList::Capacity - 1);
    EXPECT_FALSE(list.isFull());
    EXPECT_TRUE(list.add(event(2000)));
    EXPECT_TRUE(list.isFull());
    EXPECT_FALSE(list.add(event(2001)));
    ASSERT_EQ(list.size(), 2001);
    EXPECT_EQ(list.at(2000), event(2000));
}

// Each row: entries before the frame, events of the frame, entries after.
struct FrameCase {
    int before;
    int events;
    int after;
};

class ResultListRun : public testing::TestWithParam<FrameCase>
{
};

// A run adds all of a frame's events while the list holds at most 1999 entries, so a busy frame
// may take it past the cap; from 2000 entries on a frame adds nothing.
TEST_P(ResultListRun, AddsWholeFramesUpToOneBelowTheCap)
{
    const FrameCase c = GetParam();
    ResultList list = loaded(c.before);
    const bool added = list.addFrameEvents(frameEvents(c.before, c.events));
    EXPECT_EQ(added, c.after != c.before);
    ASSERT_EQ(list.size(), c.after);
    if (added) {
        EXPECT_EQ(list.at(c.after - 1), event(c.after - 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Caps, ResultListRun,
                         testing::Values(FrameCase{0, 0, 0}, FrameCase{0, 3, 3},
                                         FrameCase{1998, 1, 1999}, FrameCase{1999, 4, 2003},
                                         FrameCase{2000, 1, 2000}, FrameCase{2001, 2, 2001}));

TEST(ResultList, ContainsOnlyItsIndicesAndClears)
{
    ResultList list = loaded(4);
    EXPECT_TRUE(list.contains(0));
    EXPECT_TRUE(list.contains(3));
    EXPECT_FALSE(list.contains(4));
    EXPECT_FALSE(list.contains(-1));
    list.clear();
    EXPECT_EQ(list.size(), 0);
    EXPECT_FALSE(list.contains(0));
}
