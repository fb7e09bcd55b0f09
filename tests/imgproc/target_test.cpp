#include "target.h"
#include "targetpool.h"

#include <QString>
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

TEST(TargetPool, SecondReleaseOfASlotDoesNotHandItOutTwice)
{
    TargetPool::destroyInstance();
    TargetPool* pool = TargetPool::instance();
    Target* t = pool->acquire();
    pool->release(t);
    pool->release(t); // ignored: the slot is already free
    EXPECT_EQ(pool->freeList().size(), 10);
    EXPECT_EQ(pool->freeList().count(t), 1);
    Target outsider;
    pool->release(&outsider);
    EXPECT_EQ(pool->freeList().size(), 10);
    TargetPool::destroyInstance();
}

TEST(Target, DistanceIsEuclideanAndPrintShowsAFreshTarget)
{
    Target a, b;
    b.centroid = {3, 4};
    EXPECT_DOUBLE_EQ(a.distance(b), 5.0);
    EXPECT_DOUBLE_EQ(b.distance(a), 5.0);

    static QString printed;
    printed.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { printed = text; });
    Target::resetIdCounter();
    a.init();
    a.print();
    qInstallMessageHandler(previous);
    EXPECT_EQ(printed.toStdString(), "Target 0 @ -1x-1 [Last @ 0x0] : Origin @ -1x-1");
}
