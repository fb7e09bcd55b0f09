#include "blobsplit.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace
{

constexpr int usualArea = 200; // a disc of radius 8

// The outer outline of what is drawn in white on `canvas`.
std::vector<cv::Point> outlineOf(const cv::Mat& canvas)
{
    std::vector<std::vector<cv::Point>> found;
    cv::findContours(canvas.clone(), found, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    EXPECT_EQ(found.size(), 1u);
    return found.empty() ? std::vector<cv::Point>() : found.front();
}

std::vector<BlobSplit::Part> split(const cv::Mat& canvas, BlobSplit& splitter)
{
    const std::vector<cv::Point> outline = outlineOf(canvas);
    return splitter.split(outline, BlobSplit::enclosedPixels(outline), usualArea);
}

cv::Mat discs(cv::Point a, cv::Point b, int radius)
{
    cv::Mat canvas(100, 120, CV_8UC1, cv::Scalar(0));
    cv::circle(canvas, a, radius, cv::Scalar(255), cv::FILLED);
    cv::circle(canvas, b, radius, cv::Scalar(255), cv::FILLED);
    return canvas;
}

cv::Point middleOf(const cv::Rect& r)
{
    return {r.x + r.width / 2, r.y + r.height / 2};
}

} // namespace

// Two insects side by side: each part is one of them, with about its area.
TEST(BlobSplit, SplitsTwoTouchingBodiesIntoOneEach)
{
    BlobSplit splitter;
    const cv::Point a(40, 50), b(55, 52);
    const std::vector<BlobSplit::Part> parts = split(discs(a, b, 8), splitter);
    ASSERT_EQ(parts.size(), 2u);
    for (const BlobSplit::Part& p : parts) {
        const cv::Point middle = middleOf(p.box);
        EXPECT_LE(std::min(cv::norm(middle - a), cv::norm(middle - b)), 2.5);
        EXPECT_NEAR(p.area, 190, 25);
    }
    EXPECT_GT(cv::norm(middleOf(parts[0].box) - middleOf(parts[1].box)), 10);
}

// One outline that is one insect as far as its shape tells stays whole: bodies that overlap by
// more than half, a large insect of twice the usual area, an insect whose narrower thorax meets
// its abdomen at a waist, and any blob no larger than the usual one. Nothing is split before the
// usual area is known.
TEST(BlobSplit, LeavesWholeWhatMayBeOneInsect)
{
    BlobSplit splitter;
    EXPECT_TRUE(split(discs({50, 50}, {58, 50}, 9), splitter).empty());

    cv::Mat large(100, 120, CV_8UC1, cv::Scalar(0));
    cv::ellipse(large, {60, 50}, {22, 6}, 20, 0, 360, cv::Scalar(255), cv::FILLED);
    EXPECT_TRUE(split(large, splitter).empty());

    cv::Mat segmented(100, 120, CV_8UC1, cv::Scalar(0));
    cv::ellipse(segmented, {50, 50}, {12, 6}, 0, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::ellipse(segmented, {66, 50}, {5, 4}, 0, 0, 360, cv::Scalar(255), cv::FILLED);
    EXPECT_TRUE(split(segmented, splitter).empty());

    // Beyond sixteen insects' area a blob is a change of light or a swarm's clump.
    EXPECT_TRUE(split(discs({38, 50}, {80, 50}, 24), splitter).empty());

    const cv::Mat pair = discs({40, 50}, {49, 50}, 5);
    EXPECT_TRUE(split(pair, splitter).empty());
    const std::vector<cv::Point> outline = outlineOf(discs({40, 50}, {55, 52}, 8));
    EXPECT_TRUE(splitter.split(outline, BlobSplit::enclosedPixels(outline), 0).empty());
}

// A swarm's blob of several touching insects gives one part each, and a small insect beside one
// twice its size is an insect of its own, however deep the large one's body.
TEST(BlobSplit, SplitsRowsOfTouchingBodiesOfMixedSizes)
{
    BlobSplit splitter;
    cv::Mat row(100, 120, CV_8UC1, cv::Scalar(0));
    for (int i = 0; i < 5; ++i)
        cv::circle(row, {20 + 15 * i, 50 + (i % 2) * 3}, 8, cv::Scalar(255), cv::FILLED);
    EXPECT_EQ(split(row, splitter).size(), 5u);

    const cv::Point large(50, 50), small(66, 52);
    cv::Mat mixed(100, 120, CV_8UC1, cv::Scalar(0));
    cv::circle(mixed, large, 11, cv::Scalar(255), cv::FILLED);
    cv::circle(mixed, small, 6, cv::Scalar(255), cv::FILLED);
    const std::vector<BlobSplit::Part> parts = split(mixed, splitter);
    ASSERT_EQ(parts.size(), 2u);
    const BlobSplit::Part& smaller = parts[0].area < parts[1].area ? parts[0] : parts[1];
    EXPECT_LE(cv::norm(middleOf(smaller.box) - small), 2.5);
}
