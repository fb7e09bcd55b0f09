#include "target.h"
#include "targetpool.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(Target, InitHandsOutConsecutiveIdsFromZeroAfterReset)
{
    Target::resetIdCounter();
    Target a, b;
    a.agemovement = 7;
    a.init();
    b.init();
    EXPECT_EQ(a.id, 0);
    EXPECT_EQ(b.id, 1);
    EXPECT_EQ(a.agemovement, 7); // init leaves it to the tracker
    EXPECT_EQ(a.centroid, cv::Point(-1, -1));
    EXPECT_EQ(a.origin, cv::Point(-1, -1));
    EXPECT_EQ(a.last, cv::Point(0, 0));
}

TEST(Target, UpdateMovesCentroidToLastAndKeepsIdentity)
{
    Target tracked, detection;
    tracked.id = 4;
    tracked.age = 3;
    tracked.centroid = {10, 20};
    detection.id = 9;
    detection.centroid = {13, 24};
    detection.origin = {3, 4};
    detection.width = 20;
    detection.height = 40;
    tracked.update(detection);
    EXPECT_EQ(tracked.id, 4);
    EXPECT_EQ(tracked.age, 3);
    EXPECT_EQ(tracked.last, cv::Point(10, 20));
    EXPECT_EQ(tracked.centroid, cv::Point(13, 24));
    EXPECT_EQ(tracked.origin, cv::Point(3, 4));
    EXPECT_EQ(tracked.width, 20);
    EXPECT_EQ(tracked.height, 40);
    EXPECT_DOUBLE_EQ(tracked.distance(Target()), std::sqrt(745.0));
    tracked.computeMovement();
    EXPECT_EQ(tracked.movement, 5);
}

TEST(TargetPool, HandsOutEverySlotOnceThenNullAndReusesReleasedSlot)
{
    TargetPool::destroyInstance();
    TargetPool* pool = TargetPool::instance();
    EXPECT_EQ(pool->capacity(), 10);
    pool->resize(1000);
    std::vector<Target*> taken;
    for (int i = 0; i < 1000; ++i)
        taken.push_back(pool->acquire());
    EXPECT_EQ(pool->acquire(), nullptr);
    pool->release(taken[17]);
    EXPECT_EQ(pool->usedList().size(), 999);
    EXPECT_EQ(pool->acquire(), taken[17]);
    TargetPool::destroyInstance();
}
