#include "areacontour.h"

#include <gtest/gtest.h>

namespace
{

using Points = std::vector<cv::Point>;

const cv::Size frameSize(200, 200);

Points closedRect(int x0, int y0, int x1, int y1)
{
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
}

AreaContour withPolygons(const Points& area, const Points& mask)
{
    AreaContour regions;
    regions.area = area;
    regions.mask = mask;
    return regions;
}

Points countingPoints(AreaContour& regions)
{
    regions.build_counting_points(frameSize, 0);
    Points points;
    regions.counting_points(points);
    return points;
}

int at(const cv::Mat& image, int x, int y)
{
    return image.at<uchar>(y, x);
}

} // namespace

TEST(Rasterise, DetectionRegionIsMaskMinusAreaWithAreaBorderKept)
{
    const AreaContour regions =
        withPolygons(closedRect(50, 50, 150, 150), closedRect(10, 10, 190, 190));
    const cv::Mat image = regions.rasterise(frameSize, 0);
    ASSERT_EQ(image.size(), frameSize);
    ASSERT_EQ(image.type(), CV_8UC1);
    EXPECT_EQ(at(image, 5, 5), 0);      // outside the mask
    EXPECT_EQ(at(image, 10, 100), 255); // mask border
    EXPECT_EQ(at(image, 30, 30), 255);  // inside the mask
    EXPECT_EQ(at(image, 100, 100), 0);  // inside the counting area
    EXPECT_EQ(at(image, 50, 100), 255); // counting area border
    EXPECT_EQ(at(image, 100, 150), 255);
}

TEST(Rasterise, MaskBelowThreeVerticesLeavesOnlyTheAreaBorder)
{
    const AreaContour regions = withPolygons(closedRect(50, 50, 150, 150), {{10, 10}, {190, 190}});
    const cv::Mat image = regions.rasterise(frameSize, 0);
    EXPECT_EQ(cv::countNonZero(image), 4 * 100);
    EXPECT_EQ(at(image, 50, 50), 255);
    EXPECT_EQ(at(image, 20, 20), 0);
}

TEST(Rasterise, AreaBelowThreeVerticesLeavesTheFilledMask)
{
    const AreaContour regions = withPolygons({{50, 50}, {150, 150}}, closedRect(10, 10, 189, 189));
    EXPECT_EQ(cv::countNonZero(regions.rasterise(frameSize, 0)), 180 * 180);
}

TEST(Rasterise, UnclosedPolygonIsFilledButOutlinedWithoutItsClosingEdge)
{
    const AreaContour regions =
        withPolygons({{50, 50}, {150, 50}, {150, 150}}, closedRect(10, 10, 190, 190));
    const cv::Mat image = regions.rasterise(frameSize, 0);
    EXPECT_EQ(at(image, 140, 60), 0);    // filled as a triangle
    EXPECT_EQ(at(image, 60, 140), 255);  // outside the triangle, inside the mask
    EXPECT_EQ(at(image, 100, 50), 255);  // first edge outlined
    EXPECT_EQ(at(image, 150, 100), 255); // second edge outlined
    EXPECT_EQ(at(image, 100, 100), 0);   // closing diagonal filled over, not outlined
}

TEST(Rasterise, FillValueAndInvalidSize)
{
    const AreaContour regions;
    EXPECT_EQ(cv::countNonZero(regions.rasterise(frameSize, 255)), 200 * 200);
    EXPECT_TRUE(regions.rasterise(cv::Size(0, 10), 0).empty());
}

TEST(CountingPoints, ClosedSquareInsideLargerMaskGivesEachEdgeInOrder)
{
    AreaContour regions = withPolygons(closedRect(50, 50, 150, 150), closedRect(10, 10, 190, 190));
    EXPECT_EQ(countingPoints(regions), (Points{{50, 50},
                                               {150, 50},
                                               {150, 50},
                                               {150, 150},
                                               {150, 150},
                                               {50, 150},
                                               {50, 150},
                                               {50, 50}}));
}

TEST(CountingPoints, UnclosedAreaHasNoClosingEdge)
{
    AreaContour regions =
        withPolygons({{50, 50}, {150, 50}, {150, 150}}, closedRect(10, 10, 190, 190));
    EXPECT_EQ(countingPoints(regions), (Points{{50, 50}, {150, 50}, {150, 50}, {150, 150}}));
}

TEST(CountingPoints, AreaWhollyOutsideTheMaskGivesNone)
{
    AreaContour regions = withPolygons(closedRect(100, 100, 150, 150), closedRect(10, 10, 60, 60));
    EXPECT_TRUE(countingPoints(regions).empty());
}

TEST(CountingPoints, TwoVertexLineGivesItsVerticesWhateverTheMask)
{
    for (const Points& mask : {Points{}, closedRect(10, 10, 60, 60), closedRect(0, 0, 199, 199)}) {
        AreaContour regions = withPolygons({{100, 20}, {100, 180}}, mask);
        EXPECT_EQ(countingPoints(regions), (Points{{100, 20}, {100, 180}}));
    }
}

TEST(CountingPoints, FewerThanTwoAreaVerticesGiveNone)
{
    AreaContour regions = withPolygons({{100, 20}}, closedRect(10, 10, 190, 190));
    EXPECT_TRUE(countingPoints(regions).empty());
    regions.area.clear();
    EXPECT_TRUE(countingPoints(regions).empty());
}

TEST(CountingPoints, RebuildReplacesThePreviousPoints)
{
    AreaContour regions = withPolygons({{100, 20}, {100, 180}}, {});
    countingPoints(regions);
    regions.area = closedRect(100, 100, 150, 150);
    regions.mask = closedRect(10, 10, 60, 60);
    EXPECT_TRUE(countingPoints(regions).empty());
}

struct CrossingCase {
    const char* name;
    Points mask;
    cv::Point from;
    cv::Point to;
    Points expected; // for one direction of the edge
};

class CountingPointsCrossing : public ::testing::TestWithParam<CrossingCase>
{
};

// The area runs along one edge and back ({from, to, from}): the pixels are scanned in raster
// order, so both directions give the same pair.
TEST_P(CountingPointsCrossing, InsideRunsBecomePairs)
{
    const CrossingCase& c = GetParam();
    AreaContour regions = withPolygons({c.from, c.to, c.from}, c.mask);
    Points expected = c.expected;
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(countingPoints(regions), expected);
}

// The mask's own border counts as inside.
INSTANTIATE_TEST_SUITE_P(Edges, CountingPointsCrossing,
                         ::testing::Values(CrossingCase{"HorizontalInsideThenOutside",
                                                        closedRect(10, 10, 100, 190),
                                                        {50, 100},
                                                        {150, 100},
                                                        {{50, 100}, {101, 100}}},
                                           CrossingCase{"HorizontalInsideThenOutsideReversed",
                                                        closedRect(10, 10, 100, 190),
                                                        {150, 100},
                                                        {50, 100},
                                                        {{50, 100}, {101, 100}}},
                                           CrossingCase{"HorizontalOutsideThenInsideKeepsFinalRun",
                                                        closedRect(100, 10, 190, 190),
                                                        {50, 100},
                                                        {150, 100},
                                                        {{100, 100}, {150, 100}}},
                                           CrossingCase{"HorizontalOutsideInsideOutside",
                                                        closedRect(80, 10, 120, 190),
                                                        {50, 100},
                                                        {150, 100},
                                                        {{80, 100}, {121, 100}}},
                                           CrossingCase{"VerticalOutsideInsideOutside",
                                                        closedRect(10, 80, 190, 120),
                                                        {100, 50},
                                                        {100, 150},
                                                        {{100, 80}, {100, 121}}},
                                           CrossingCase{"VerticalInsideThenOutside",
                                                        closedRect(10, 10, 190, 120),
                                                        {100, 150},
                                                        {100, 50},
                                                        {{100, 50}, {100, 121}}},
                                           CrossingCase{"VerticalOutsideThenInsideKeepsFinalRun",
                                                        closedRect(10, 80, 190, 190),
                                                        {100, 50},
                                                        {100, 150},
                                                        {{100, 80}, {100, 150}}},
                                           CrossingCase{
                                               "VerticalTwoInsideRuns",
                                               {{10, 60},
                                                {150, 60},
                                                {150, 80},
                                                {50, 80},
                                                {50, 120},
                                                {150, 120},
                                                {150, 140},
                                                {10, 140},
                                                {10, 60}},
                                               {100, 50},
                                               {100, 150},
                                               {{100, 60}, {100, 81}, {100, 120}, {100, 141}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rasterise, AbsurdCoordinatesFromAFileDoNotCrash)
{
    AreaContour regions =
        withPolygons({{-2000000000, 5}, {2000000000, 5}, {7, 2000000000}, {-2000000000, 5}},
                     {{2147483647, -2147483647}, {5, 5}, {-2147483647, 2147483647}});
    const cv::Mat image = regions.rasterise(frameSize, 0);
    EXPECT_EQ(image.size(), frameSize);
    countingPoints(regions);
    cv::Mat frame(frameSize, CV_8UC3, cv::Scalar::all(0));
    regions.draw(frame);
    regions.shift({-5, 5}, 200, 200);
}

TEST(Rasterise, FarOffVerticesAreFilledAsTheirFramePart)
{
    // A square reaching far beyond the frame covers it all; a triangle whose far vertices lie
    // on the frame's anti-diagonal covers the pixels with x + y between 0 and 10 only.
    const AreaContour square = withPolygons({}, {{-900000000, -900000000},
                                                 {900000000, -900000000},
                                                 {900000000, 900000000},
                                                 {-900000000, 900000000}});
    EXPECT_EQ(cv::countNonZero(square.rasterise(frameSize, 0)), 200 * 200);
    const int far = 2000000000;
    const AreaContour sliver = withPolygons({}, {{far, -far}, {5, 5}, {-far, far}});
    const AreaContour near = withPolygons({}, {{60000, -60000}, {5, 5}, {-60000, 60000}});
    EXPECT_EQ(cv::countNonZero(sliver.rasterise(frameSize, 0)),
              cv::countNonZero(near.rasterise(frameSize, 0)));
}
