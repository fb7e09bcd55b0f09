// What the video view shows of a frame, and the shrunk density map kept up to date in parts.
#include "shrunkpicture.h"
#include "videoview.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace
{
cv::Mat noise(cv::Size size, int seed)
{
    cv::Mat frame(size, CV_8UC3);
    cv::RNG(seed).fill(frame, cv::RNG::UNIFORM, 0, 256);
    return frame;
}

double maxDifference(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() ? cv::norm(a, b, cv::NORM_INF) : 1e9;
}
} // namespace

// Full HD shows the centre pixel of each 3 x 3 block, as bicubic scaling always showed it; HD the
// average of each 2 x 2 block; small frames are enlarged; any other size is stretched to 640 x 480.
TEST(VideoView, RendersEachKnownSizeAtItsDisplaySize)
{
    cv::Mat picture;
    const cv::Mat fullHd = noise({1920, 1080}, 1);
    VideoView::render(fullHd, ViewZoom{}, picture);
    cv::Mat bicubic;
    cv::resize(fullHd, bicubic, {640, 360}, 0, 0, cv::INTER_CUBIC);
    EXPECT_EQ(maxDifference(picture, bicubic), 0.0);
    EXPECT_EQ(picture.at<cv::Vec3b>(10, 20), fullHd.at<cv::Vec3b>(31, 61));

    const cv::Mat hd = noise({1280, 720}, 2);
    VideoView::render(hd, ViewZoom{}, picture);
    cv::Mat averaged;
    cv::resize(hd, averaged, {640, 360}, 0, 0, cv::INTER_AREA);
    EXPECT_EQ(maxDifference(picture, averaged), 0.0);

    VideoView::render(noise({640, 480}, 3), ViewZoom{}, picture);
    EXPECT_EQ(picture.size(), cv::Size(640, 480));
    VideoView::render(noise({320, 240}, 4), ViewZoom{}, picture);
    EXPECT_EQ(picture.size(), cv::Size(640, 480));
    VideoView::render(noise({800, 600}, 5), ViewZoom{}, picture);
    EXPECT_EQ(picture.size(), cv::Size(640, 480));

    VideoView::render(cv::Mat(), ViewZoom{}, picture); // nothing to show: the picture stays
    EXPECT_EQ(picture.size(), cv::Size(640, 480));
}

TEST(VideoView, ZoomShowsTheCutOutAtFullResolutionKeptInsideTheFrame)
{
    const cv::Mat frame = noise({1920, 1080}, 6);
    VideoView view;
    view.setFrameSize(1920, 1080);
    EXPECT_TRUE(view.toggleZoom({1900, 1000}));
    cv::Mat picture;
    view.render(frame, picture);
    EXPECT_EQ(maxDifference(picture, frame(cv::Rect(1280, 600, 640, 480))), 0.0);
    EXPECT_TRUE(view.toggleZoom({10, 10}));
    EXPECT_FALSE(view.zoom().on);

    // A new video starts unzoomed; frames no larger than the cut-out never zoom.
    view.toggleZoom({500, 500});
    view.setFrameSize(640, 480);
    EXPECT_FALSE(view.zoom().on);
    EXPECT_FALSE(view.toggleZoom({100, 100}));
    EXPECT_FALSE(view.zoom().on);
    EXPECT_EQ(view.geometry().width, 640);
}

struct ShrinkCase {
    cv::Size source;
    int factor;
};

class ShrunkPictureTest : public testing::TestWithParam<ShrinkCase>
{
};

// Changed in small places again and again, the shrunk picture stays the picture shrunk whole.
TEST_P(ShrunkPictureTest, PartsRedoneEqualThePictureShrunkWhole)
{
    const ShrinkCase c = GetParam();
    cv::Mat source = noise(c.source, 7);
    const cv::Size size(c.source.width / c.factor, c.source.height / c.factor);
    const cv::Rect blocks(0, 0, size.width * c.factor, size.height * c.factor);
    ShrunkPicture shrunk;
    cv::RNG rng(8);
    cv::Mat whole;
    for (int round = 0; round < 30; ++round) {
        std::vector<cv::Rect> changed;
        for (int i = rng.uniform(0, 6); i > 0; --i) {
            const cv::Point from(rng.uniform(0, c.source.width), rng.uniform(0, c.source.height));
            const cv::Point to = from + cv::Point(rng.uniform(-40, 40), rng.uniform(-40, 40));
            cv::line(source, from, to, cv::Scalar(0, 0, 0), 1, cv::LINE_8);
            changed.push_back(cv::Rect(from, cv::Size(1, 1)) | cv::Rect(to, cv::Size(1, 1)));
        }
        const cv::Mat& shown = shrunk.update(source, c.factor, changed);
        cv::resize(source(blocks), whole, size, 0, 0, cv::INTER_AREA);
        ASSERT_EQ(maxDifference(shown, whole), 0.0) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ShrunkPictureTest,
                         testing::Values(ShrinkCase{{1920, 1080}, 2}, ShrinkCase{{1920, 1080}, 3},
                                         ShrinkCase{{1000, 701}, 3}));

TEST(ShrunkPicture, FactorIsTheSmallestThatFits)
{
    EXPECT_EQ(ShrunkPicture::factorToFit({1920, 1080}, {1600, 1000}), 2);
    EXPECT_EQ(ShrunkPicture::factorToFit({1920, 1080}, {800, 600}), 3);
    EXPECT_EQ(ShrunkPicture::factorToFit({1920, 1080}, {1920, 1080}), 1);
    EXPECT_EQ(ShrunkPicture::factorToFit({1920, 1080}, {0, 0}), 1);
    EXPECT_EQ(ShrunkPicture::factorToFit({1920, 1080}, {1, 1}), 1920);
}

TEST(ShrunkPicture, AnotherSizeOrSourceRedoesTheWholePicture)
{
    ShrunkPicture shrunk;
    const cv::Mat first = noise({1920, 1080}, 9);
    const cv::Mat second = noise({1280, 720}, 10);
    cv::Mat expected;
    shrunk.update(first, 3, {});
    cv::resize(second, expected, {640, 360}, 0, 0, cv::INTER_AREA);
    EXPECT_EQ(maxDifference(shrunk.update(second, 2, {}), expected), 0.0);
    shrunk.renew();
    const cv::Mat third = noise({1280, 720}, 11);
    cv::resize(third, expected, {640, 360}, 0, 0, cv::INTER_AREA);
    EXPECT_EQ(maxDifference(shrunk.update(third, 2, {}), expected), 0.0);
}
