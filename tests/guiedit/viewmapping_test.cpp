// View-to-video mapping of the region editor, unzoomed and through the zoomed cut-out.
#include "displaygeometry.h"
#include "viewmapping.h"

#include <gtest/gtest.h>

namespace
{
struct Case {
    const char* name;
    cv::Size frame;
    bool zoom;
    cv::Point zoomCentre;
    QPointF view;
    cv::Point video;
};

class ViewMappingTest : public ::testing::TestWithParam<Case>
{
};

TEST_P(ViewMappingTest, MapsToTheFramePixel)
{
    const Case& c = GetParam();
    DisplayGeometry geometry;
    geometry.setDisplayGeometry(c.frame.width, c.frame.height);
    const ViewMapping mapping{geometry, c.frame, c.zoom, c.zoomCentre};
    EXPECT_EQ(mapping.toVideo(c.view), c.video);
}

const Case cases[] = {
    {"FullHdTripled", {1920, 1080}, false, {}, {100, 50}, {300, 150}},
    {"HdDoubled", {1280, 720}, false, {}, {100, 50}, {200, 100}},
    {"VgaUnchanged", {640, 480}, false, {}, {100, 50}, {100, 50}},
    {"QvgaHalved", {320, 240}, false, {}, {101, 51}, {50, 25}},
    {"OddSizeUnchanged", {800, 600}, false, {}, {639, 479}, {639, 479}},
    {"HalvesGoUp", {640, 480}, false, {}, {10.5, 20.49}, {11, 20}},
    {"HalvesGoUpBeforeScaling", {1920, 1080}, false, {}, {10.5, 0.5}, {33, 3}},
    // Zoomed: the 640 x 480 cut-out at full resolution, kept inside the frame.
    {"ZoomCentred", {1920, 1080}, true, {960, 540}, {100, 100}, {740, 400}},
    {"ZoomTopLeftClamped", {1920, 1080}, true, {100, 100}, {5, 7}, {5, 7}},
    {"ZoomBottomRightClamped", {1920, 1080}, true, {1900, 1000}, {639, 479}, {1919, 1079}},
    {"ZoomAtCutOutEdge", {1280, 720}, true, {320, 240}, {0, 0}, {0, 0}},
    {"ZoomJustInside", {1280, 720}, true, {321, 241}, {0, 0}, {1, 1}},
    {"ZoomRounds", {1280, 720}, true, {1280, 720}, {0.5, 479.4}, {641, 719}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ViewMappingTest, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ViewMapping, UnzoomedIgnoresTheZoom)
{
    DisplayGeometry geometry;
    geometry.setDisplayGeometry(1920, 1080);
    const ViewMapping mapping{geometry, {1920, 1080}, true, {1900, 1000}};
    EXPECT_EQ(mapping.toVideoUnzoomed({100, 50}), cv::Point(300, 150));
}

TEST(ViewMapping, RoundsNegativeHalvesUp)
{
    EXPECT_EQ(ViewMapping::rounded({-0.5, -1.5}), cv::Point(0, -1));
    EXPECT_EQ(ViewMapping::rounded({-0.6, 2.5}), cv::Point(-1, 3));
}
} // namespace
