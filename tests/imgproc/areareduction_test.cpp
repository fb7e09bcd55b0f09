#include "areareduction.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace
{

// Random texture over a smooth ramp, so that both rounding and saturation are exercised.
cv::Mat picture(cv::Size size, int type, unsigned seed)
{
    cv::Mat m(size, type);
    cv::RNG rng(seed);
    const double top = type == CV_8UC1 ? 255 : 65535;
    rng.fill(m, cv::RNG::UNIFORM, 0, top + 1);
    if (size.width > 8)
        m.colRange(0, 4).setTo(top); // a saturated edge
    return m;
}

void expectAsResize(const cv::Mat& src, cv::Size size, AreaReduction& reduction)
{
    cv::Mat expected, got;
    cv::resize(src, expected, size, 0, 0, cv::INTER_AREA);
    reduction.reduce(src, got, size);
    ASSERT_EQ(got.size(), size);
    ASSERT_EQ(got.type(), src.type());
    EXPECT_EQ(cv::norm(expected, got, cv::NORM_INF), 0)
        << src.cols << "x" << src.rows << " -> " << size.width << "x" << size.height;
}

// The light's gains are measured on frames and working boxes of any size, reduced to about 80
// pixels across: every size must give resize's result to the bit, with or without vectors, or a
// frame's blobs would depend on which path reduced it.
class AreaReductionPaths : public ::testing::TestWithParam<AreaReduction::Vectors>
{
};

INSTANTIATE_TEST_SUITE_P(Vectors, AreaReductionPaths,
                         ::testing::Values(AreaReduction::Vectors::Widest,
                                           AreaReduction::Vectors::None));

TEST_P(AreaReductionPaths, GiveResizesResultForEverySizeAndDepth)
{
    const cv::Size sources[] = {{320, 240}, {317, 229}, {1920, 1080}, {1794, 1001},
                                {640, 360}, {163, 97},  {81, 61},     {96, 72},
                                {100, 100}, {33, 17},   {1799, 1013}};
    AreaReduction reduction; // one object: its tables must follow each change of size
    reduction.setVectors(GetParam());
    unsigned seed = 1;
    for (const cv::Size& s : sources)
        for (int type : {CV_8UC1, CV_16UC1}) {
            const cv::Mat src = picture(s, type, seed++);
            for (int factor : {2, 3, 4, 7, 23, 24}) {
                const cv::Size to(std::max(1, s.width / factor), std::max(1, s.height / factor));
                expectAsResize(src, to, reduction);
            }
            expectAsResize(src, {std::max(1, s.width * 2 / 3), std::max(1, s.height / 5)},
                           reduction);
            expectAsResize(src, s, reduction);
            expectAsResize(src, {1, 1}, reduction);
        }
}

// A working box is a view into a larger frame: rows do not follow each other in memory.
TEST(AreaReduction, ReadsAViewAndReusesItsOutput)
{
    const cv::Mat frame = picture({1000, 700}, CV_8UC1, 7);
    AreaReduction reduction;
    cv::Mat got;
    for (const cv::Rect& box : {cv::Rect(13, 21, 911, 601), cv::Rect(0, 0, 960, 640)}) {
        cv::Mat expected;
        cv::resize(frame(box), expected, {80, 53}, 0, 0, cv::INTER_AREA);
        reduction.reduce(frame(box), got, {80, 53});
        EXPECT_EQ(cv::norm(expected, got, cv::NORM_INF), 0);
    }
}

TEST(AreaReduction, LeavesOtherTypesAndEnlargingToResize)
{
    AreaReduction reduction;
    const cv::Mat colour(40, 60, CV_8UC3, cv::Scalar(10, 200, 90));
    cv::Mat got;
    reduction.reduce(colour, got, {13, 9});
    EXPECT_EQ(got.type(), CV_8UC3);
    EXPECT_EQ(got.size(), cv::Size(13, 9));
    const cv::Mat grey = picture({30, 20}, CV_8UC1, 3);
    expectAsResize(grey, {45, 20}, reduction);
}

} // namespace
