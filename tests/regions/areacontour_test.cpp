#include "areacontour.h"

#include <gtest/gtest.h>

namespace
{

using Points = std::vector<cv::Point>;

AreaContour withPolygons(const Points& area, const Points& mask)
{
    AreaContour regions;
    regions.area = area;
    regions.mask = mask;
    return regions;
}

cv::Vec3b pixel(const cv::Mat& frame, int x, int y)
{
    return frame.at<cv::Vec3b>(y, x);
}

const cv::Vec3b green(0, 255, 0);
const cv::Vec3b red(0, 0, 255);
const cv::Vec3b black(0, 0, 0);

} // namespace

TEST(AreaContourEditing, CloseNeedsThreeVerticesAndAppendsACopyEachTime)
{
    AreaContour regions;
    regions.add_area_point({1, 1});
    regions.add_area_point({5, 1});
    regions.close_area();
    EXPECT_EQ(regions.area, (Points{{1, 1}, {5, 1}}));
    regions.add_area_point({5, 5});
    regions.close_area();
    regions.close_area();
    EXPECT_EQ(regions.area, (Points{{1, 1}, {5, 1}, {5, 5}, {1, 1}, {1, 1}}));
    regions.add_area_point({9, 9});
    EXPECT_EQ(regions.area.back(), cv::Point(9, 9));
}

TEST(AreaContourEditing, SetStateBacksUpOnlyThePolygonBeingEdited)
{
    AreaContour regions = withPolygons({{1, 2}, {3, 4}}, {{5, 6}});
    regions.set_state(AreaContour::EditingArea);
    EXPECT_EQ(regions.area_backup, regions.area);
    EXPECT_TRUE(regions.mask_backup.empty());
    regions.set_state(AreaContour::EditingMask);
    EXPECT_EQ(regions.mask_backup, regions.mask);
    regions.clear_area();
    regions.set_state(AreaContour::None);
    EXPECT_EQ(regions.area_backup, (Points{{1, 2}, {3, 4}}));
    EXPECT_EQ(regions.state, AreaContour::None);
}

struct ShiftCase {
    const char* name;
    cv::Point offset;
    Points expectedMask;
    Points expectedArea;
};

class AreaContourShift : public ::testing::TestWithParam<ShiftCase>
{
};

// Frame 100 x 80; mask spans x 10..60, y 20..50; area spans x 30..70, y 5..40. No vertex is
// shifted onto the first row or column: classic counting reads a coordinate of 0 as no vertex.
TEST_P(AreaContourShift, HoldsVerticesInsideTheFrame)
{
    const ShiftCase& c = GetParam();
    AreaContour regions = withPolygons({{30, 5}, {70, 40}}, {{10, 20}, {60, 50}});
    regions.shift(c.offset, 80, 100);
    EXPECT_EQ(regions.shifted_mask, c.expectedMask);
    EXPECT_EQ(regions.shifted_area, c.expectedArea);
    EXPECT_EQ(regions.mask, (Points{{10, 20}, {60, 50}})); // stored polygons untouched
}

INSTANTIATE_TEST_SUITE_P(
    Drags, AreaContourShift,
    ::testing::Values(
        ShiftCase{"WithinFrame", {4, -3}, {{6, 23}, {56, 53}}, {{26, 8}, {66, 43}}},
        ShiftCase{"LeftStopsAtOne", {25, 0}, {{1, 20}, {51, 50}}, {{21, 5}, {61, 40}}},
        ShiftCase{"RightStopsAtWidth", {-45, 0}, {{40, 20}, {90, 50}}, {{60, 5}, {100, 40}}},
        ShiftCase{"UpStopsAtOne", {0, 9}, {{10, 16}, {60, 46}}, {{30, 1}, {70, 36}}},
        ShiftCase{"DownStopsAtHeight", {0, -99}, {{10, 50}, {60, 80}}, {{30, 35}, {70, 70}}},
        ShiftCase{"BothDirectionsClamped", {-45, 9}, {{40, 16}, {90, 46}}, {{60, 1}, {100, 36}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AreaContourShift, VertexAlreadyOutsideFrameBlocksThatDirection)
{
    AreaContour regions = withPolygons({}, {{-5, 10}, {20, 10}});
    regions.shift({7, 0}, 80, 100);
    EXPECT_EQ(regions.shifted_mask, (Points{{-5, 10}, {20, 10}}));
    regions.shift({-7, 0}, 80, 100);
    EXPECT_EQ(regions.shifted_mask, (Points{{2, 10}, {27, 10}}));
}

TEST(AreaContourDraw, NormalStatesDrawAreaGreenAndMaskRedTwoPixelsThick)
{
    for (int state : {0, 1, 2}) {
        AreaContour regions = withPolygons({{10, 20}, {90, 20}}, {{10, 60}, {90, 60}});
        regions.set_state(state);
        regions.area_backup.clear();
        regions.mask_backup.clear();
        cv::Mat frame(100, 100, CV_8UC3, cv::Scalar::all(0));
        regions.draw(frame);
        EXPECT_EQ(pixel(frame, 50, 20), green) << state;
        EXPECT_EQ(pixel(frame, 50, 21), green) << state; // thickness 2
        EXPECT_EQ(pixel(frame, 50, 60), red) << state;
        EXPECT_EQ(pixel(frame, 50, 40), black) << state;
    }
}

TEST(AreaContourDraw, EditingStatesAddTheirBackupAsThinGuide)
{
    AreaContour regions = withPolygons({}, {});
    regions.area_backup = {{10, 30}, {90, 30}};
    regions.mask_backup = {{10, 70}, {90, 70}};
    cv::Mat frame(100, 100, CV_8UC3, cv::Scalar::all(0));
    regions.state = AreaContour::EditingArea;
    regions.draw(frame);
    EXPECT_EQ(pixel(frame, 50, 30), green);
    EXPECT_EQ(pixel(frame, 50, 31), black); // thickness 1
    EXPECT_EQ(pixel(frame, 50, 70), black); // the mask's backup belongs to mask editing
    regions.state = AreaContour::EditingMask;
    regions.draw(frame);
    EXPECT_EQ(pixel(frame, 50, 70), red);
    EXPECT_EQ(pixel(frame, 50, 71), black);
}

TEST(AreaContourDraw, ShiftPreviewDrawsOnlyThePreviews)
{
    AreaContour regions = withPolygons({{10, 20}, {90, 20}}, {{10, 60}, {90, 60}});
    regions.shift({0, -10}, 100, 100);
    regions.set_state(AreaContour::ShiftPreview);
    cv::Mat frame(100, 100, CV_8UC3, cv::Scalar::all(0));
    regions.draw(frame);
    EXPECT_EQ(pixel(frame, 50, 20), black);
    EXPECT_EQ(pixel(frame, 50, 30), green);
    EXPECT_EQ(pixel(frame, 50, 70), red);
}

TEST(AreaContourDraw, OpenPolylineHasNoClosingEdgeAndSingleVertexDrawsNothing)
{
    AreaContour regions = withPolygons({{10, 10}, {90, 10}, {90, 90}}, {{50, 50}});
    cv::Mat frame(100, 100, CV_8UC3, cv::Scalar::all(0));
    regions.draw(frame);
    EXPECT_EQ(pixel(frame, 90, 50), green);
    EXPECT_EQ(pixel(frame, 50, 50), black); // closing diagonal not drawn, lone mask vertex neither
}
