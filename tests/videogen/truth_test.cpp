#include "truth.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace
{

using videogen::Blob;
using videogen::TrueEvent;

Blob along(std::vector<cv::Point> path, int radius = 4, int first = 0)
{
    Blob b;
    b.path = std::move(path);
    b.radius = radius;
    b.firstFrame = first;
    return b;
}

std::vector<cv::Point> rowPath(int y, std::vector<int> xs)
{
    std::vector<cv::Point> path;
    for (int x : xs)
        path.emplace_back(x, y);
    return path;
}

const cv::Point top{100, 50}, bottom{100, 150};
const std::vector<cv::Point> square{{100, 100}, {200, 100}, {200, 200}, {100, 200}, {100, 100}};

} // namespace

TEST(TruthLine, StraightCrossingsGiveOneEventEachWithTheirDirection)
{
    const std::vector<Blob> blobs{along(rowPath(100, {80, 90, 98, 104, 112}), 4, 10),
                                  along(rowPath(120, {120, 105, 95, 80}), 4, 30)};
    const std::vector<TrueEvent> events = videogen::lineEvents(blobs, 100, top, bottom);
    ASSERT_EQ(events.size(), 2u);
    // Rightwards across a line drawn downwards is In.
    EXPECT_EQ(events[0].frame, 13);
    EXPECT_EQ(events[0].insect, 0);
    EXPECT_EQ(events[0].at, cv::Point(104, 100));
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].out, 0);
    // The body (radius 4) touches the line from x 96 to x 104.
    EXPECT_EQ(events[0].touchFirst, 12);
    EXPECT_EQ(events[0].touchLast, 13);
    EXPECT_EQ(events[1].frame, 32);
    EXPECT_EQ(events[1].out, 1);
    EXPECT_EQ(events[1].in, 0);
}

TEST(TruthLine, TouchingTheLineAndTurningBackIsNoEvent)
{
    const std::vector<Blob> blobs{along(rowPath(100, {80, 90, 100, 100, 95, 80}))};
    EXPECT_TRUE(videogen::lineEvents(blobs, 100, top, bottom).empty());
}

TEST(TruthLine, AStepEndingOnTheLineCountsOnceWhenTheInsectGoesOn)
{
    const std::vector<Blob> blobs{along(rowPath(100, {90, 100, 100, 100, 110, 120}))};
    const std::vector<TrueEvent> events = videogen::lineEvents(blobs, 100, top, bottom);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].frame, 4);
    // Sitting on the line is touching it.
    EXPECT_EQ(events[0].touchFirst, 1);
}

TEST(TruthLine, PassingBeyondTheLinesEndIsNoCrossing)
{
    const std::vector<Blob> blobs{along(rowPath(170, {80, 95, 105, 120}))};
    EXPECT_TRUE(videogen::lineEvents(blobs, 100, top, bottom).empty());
    const std::vector<Blob> throughEnd{along(rowPath(150, {90, 110}))};
    EXPECT_EQ(videogen::lineEvents(throughEnd, 100, top, bottom).size(), 1u);
}

TEST(TruthLine, SidesFollowTheDrawingDirection)
{
    EXPECT_EQ(videogen::sideOfLine(top, bottom, {90, 100}), 1);
    EXPECT_EQ(videogen::sideOfLine(top, bottom, {110, 100}), -1);
    EXPECT_EQ(videogen::sideOfLine(top, bottom, {100, 170}), 0);
    // Drawn from left to right, the right-hand side is below.
    EXPECT_EQ(videogen::sideOfLine({50, 100}, {150, 100}, {100, 120}), 1);
}

TEST(TruthArea, EntryAndExitOfAnInsectPassingThrough)
{
    const std::vector<Blob> blobs{along(rowPath(150, {80, 96, 104, 150, 196, 204, 220}), 4, 5)};
    const std::vector<TrueEvent> events = videogen::areaEvents(blobs, 100, square);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].frame, 7);
    EXPECT_EQ(events[0].touchFirst, 6);
    EXPECT_EQ(events[0].touchLast, 7);
    EXPECT_EQ(events[1].out, 1);
    EXPECT_EQ(events[1].frame, 10);
    EXPECT_EQ(events[1].at, cv::Point(204, 150));
}

TEST(TruthArea, APauseOnTheBorderIsOneEntrySpanningThePause)
{
    std::vector<int> xs{80, 90, 97};
    xs.insert(xs.end(), 20, 100); // twenty frames on the border
    xs.insert(xs.end(), {103, 110, 130});
    const std::vector<Blob> blobs{along(rowPath(150, xs))};
    const std::vector<TrueEvent> events = videogen::areaEvents(blobs, 100, square);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].in, 1);
    EXPECT_EQ(events[0].frame, 23);
    EXPECT_EQ(events[0].touchFirst, 2);
    EXPECT_EQ(events[0].touchLast, 23);
}

TEST(TruthArea, AnInsectAppearingInsideAndLeavingGivesOnlyTheExit)
{
    const std::vector<Blob> blobs{along(rowPath(150, {150, 180, 210}))};
    const std::vector<TrueEvent> events = videogen::areaEvents(blobs, 100, square);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].out, 1);
}

TEST(TruthFiles, CentresAndEventsAreWrittenOneLineEach)
{
    const std::string dir = ::testing::TempDir();
    const std::vector<Blob> blobs{along(rowPath(100, {90, 110}), 4, 2)};
    ASSERT_TRUE(videogen::writeCentres(dir + "centres.csv", blobs, 10));
    ASSERT_TRUE(
        videogen::writeEvents(dir + "events.csv", videogen::lineEvents(blobs, 10, top, bottom)));
    std::ifstream centres(dir + "centres.csv"), events(dir + "events.csv");
    std::stringstream c, e;
    c << centres.rdbuf();
    e << events.rdbuf();
    EXPECT_EQ(c.str(), "frame;insect;x;y\n2;0;90;100\n3;0;110;100\n");
    EXPECT_EQ(e.str(), "frame;insect;x;y;In;Out;touchFirst;touchLast\n3;0;110;100;1;0;2;3\n");
    std::string error;
    EXPECT_FALSE(videogen::writeCentres("/nonexistent/folder/c.csv", blobs, 10, &error));
    EXPECT_NE(error.find("/nonexistent/folder/c.csv"), std::string::npos);
}
