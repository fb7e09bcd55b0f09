// The comparison with the background gives the same changed pixels, blocks and learnt state
// whichever vectors run it.
#include "backgroundmodel.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace
{

constexpr int blockSide = 16;

struct Outcome {
    cv::Mat out;
    cv::Mat_<uchar> blocks;
    BackgroundModel::Comparison c;
};

// A textured card under a shadow that deepens frame by frame, with a dark insect crossing it,
// sensor noise, (from frame 20) a bright patch that stays until it is taken in, and (from frame
// 45) the light up by 60 %, which the background under the insect and the patch follows.
cv::Mat frameAt(cv::Size size, int i)
{
    cv::Mat card(size, CV_8UC1);
    cv::RNG(3).fill(card, cv::RNG::UNIFORM, 60, 250);
    cv::GaussianBlur(card, card, cv::Size(0, 0), 1.0);
    cv::Mat light(size, CV_32F);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const double d = std::hypot(x - size.width * 0.3, y - size.height * 0.5);
            light.at<float>(y, x) = static_cast<float>(1 - 0.02 * i * std::exp(-d * d / 900));
        }
    cv::Mat shaded;
    card.convertTo(shaded, CV_32F);
    shaded = shaded.mul(light) * (i >= 45 ? 1.6 : 1.0);
    shaded.convertTo(card, CV_8U);
    cv::circle(card, {10 + 4 * i, size.height / 2}, 5, cv::Scalar(20), cv::FILLED);
    if (i >= 20)
        cv::rectangle(card, {size.width - 30, 5, 20, 12}, cv::Scalar(255), cv::FILLED);
    cv::Mat noise(size, CV_8SC1);
    cv::RNG(100 + i).fill(noise, cv::RNG::NORMAL, 0, 2);
    cv::add(card, noise, card, cv::noArray(), CV_8U);
    return card;
}

std::vector<Outcome> run(BackgroundModel::Vectors vectors, cv::Size size, const cv::Mat& mask)
{
    BackgroundModel model;
    model.setFrameRate(10); // a short take-in time, so that the patch is taken in
    model.setVectors(vectors);
    model.start(frameAt(size, 0));
    std::vector<Outcome> outcomes;
    for (int i = 1; i < 140; ++i) {
        Outcome o;
        o.out.create(size, CV_8UC1);
        o.blocks.create((size.height + blockSide - 1) / blockSide,
                        (size.width + blockSide - 1) / blockSide);
        o.blocks.setTo(0);
        // Every fifth frame is compared without learning, as for a second list of targets.
        o.c = model.compare(frameAt(size, i % 60), mask, o.out, o.blocks, blockSide, i % 5 != 0);
        outcomes.push_back(o);
    }
    return outcomes;
}

// Widths that are and are not a multiple of the vectors' lanes; a mask with holes.
TEST(BackgroundComparison, WidestAndNarrowVectorsAgreeFrameAfterFrame)
{
    for (const cv::Size size : {cv::Size(160, 96), cv::Size(157, 83)}) {
        cv::Mat mask(size, CV_8UC1, cv::Scalar(255));
        cv::circle(mask, {size.width / 2, size.height / 3}, 12, cv::Scalar(0), cv::FILLED);
        const std::vector<Outcome> widest = run(BackgroundModel::Vectors::Widest, size, mask);
        const std::vector<Outcome> narrow = run(BackgroundModel::Vectors::Narrow, size, mask);
        long changedInAll = 0;
        for (size_t i = 0; i < widest.size(); ++i) {
            SCOPED_TRACE(testing::Message() << size << " frame " << i + 1);
            ASSERT_EQ(widest[i].c.changed, narrow[i].c.changed);
            EXPECT_EQ(cv::norm(widest[i].out, narrow[i].out, cv::NORM_INF), 0);
            EXPECT_EQ(cv::norm(widest[i].blocks, narrow[i].blocks, cv::NORM_INF), 0);
            changedInAll += widest[i].c.changed;
        }
        // The insect, the shadow's doubt and the patch must have exercised the changed paths.
        EXPECT_GT(changedInAll, 1000);
    }
}

} // namespace
