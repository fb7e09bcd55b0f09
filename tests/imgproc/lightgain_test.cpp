#include "lightgain.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace
{

// A card of grey 160 (the background, in the model's 16-bit levels times 128) under a shadow
// that darkens its left part and a patch of light on its right.
void shadedScene(cv::Size size, cv::Mat& frame, cv::Mat& background)
{
    constexpr int backgroundScale = 128;
    cv::Mat card(size, CV_8UC1);
    cv::RNG(9).fill(card, cv::RNG::UNIFORM, 150, 171);
    card.convertTo(background, CV_16U, backgroundScale);
    cv::Mat light(size, CV_32F);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            light.at<float>(y, x) = x < size.width / 3 ? 0.6f : (x > size.width * 3 / 4 ? 1.3f : 1);
    card.convertTo(frame, CV_32F);
    frame = frame.mul(light);
    frame.convertTo(frame, CV_8U);
}

// The rows of gains are what a bilinear resize of the reduced field to the frame's size gives,
// for frames whose size the field divides and for others, larger and smaller than the field's
// window, with or without vectors.
class LightGainPaths : public ::testing::TestWithParam<LightGain::Vectors>
{
};

INSTANTIATE_TEST_SUITE_P(Vectors, LightGainPaths,
                         ::testing::Values(LightGain::Vectors::Widest, LightGain::Vectors::Narrow));

TEST_P(LightGainPaths, RowsOfGainsAreTheFieldResizedBilinearly)
{
    LightGain light; // one object: its tables must follow each change of size
    light.setVectors(GetParam());
    for (const cv::Size size : {cv::Size(320, 240), cv::Size(317, 229), cv::Size(1794, 1001),
                                cv::Size(1920, 1080), cv::Size(100, 61), cv::Size(33, 17)}) {
        SCOPED_TRACE(testing::Message() << size);
        cv::Mat frame, background;
        shadedScene(size, frame, background);
        light.estimate(frame, background, 128);
        ASSERT_FALSE(light.uniform());
        cv::Mat expected;
        cv::resize(light.field(), expected, size, 0, 0, cv::INTER_LINEAR);
        int differing = 0;
        for (int y = 0; y < size.height; ++y) {
            const cv::Mat row(1, size.width, CV_16UC1, const_cast<ushort*>(light.gainsOfRow(y)));
            differing += cv::norm(expected.row(y), row, cv::NORM_INF) != 0;
        }
        EXPECT_EQ(differing, 0);
        // The shadow's gain is below one, the patch's above.
        const ushort* middle = light.gainsOfRow(size.height / 2);
        EXPECT_LT(middle[0], 1 << LightGain::gainShift);
        EXPECT_GT(middle[size.width - 1], 1 << LightGain::gainShift);
    }
}

// The mean of each block of `picture`, reading every `step`-th row of it.
template <typename T> cv::Mat blockMeans(const cv::Mat& picture, int factor, int step)
{
    cv::Mat means(picture.rows / factor, picture.cols / factor, picture.type());
    const int area = factor * (factor / step);
    for (int y = 0; y < means.rows; ++y)
        for (int x = 0; x < means.cols; ++x) {
            int sum = 0;
            for (int dy = 0; dy < factor; dy += step)
                for (int dx = 0; dx < factor; ++dx)
                    sum += picture.at<T>(y * factor + dy, x * factor + dx);
            means.at<T>(y, x) = cv::saturate_cast<T>(static_cast<float>(sum) * (1.f / area));
        }
    return means;
}

// The median of the medians of each pixel's `window` neighbours down (then across), border
// replicated.
cv::Mat separableMedian(const cv::Mat& codes, int window)
{
    cv::Mat down(codes.size(), CV_8UC1), median(codes.size(), CV_8UC1);
    const int reach = window / 2;
    const auto middle = [reach](std::vector<uchar> v) {
        std::nth_element(v.begin(), v.begin() + reach, v.end());
        return v[static_cast<size_t>(reach)];
    };
    for (int y = 0; y < codes.rows; ++y)
        for (int x = 0; x < codes.cols; ++x) {
            std::vector<uchar> v;
            for (int d = -reach; d <= reach; ++d)
                v.push_back(codes.at<uchar>(std::clamp(y + d, 0, codes.rows - 1), x));
            down.at<uchar>(y, x) = middle(v);
        }
    for (int y = 0; y < codes.rows; ++y)
        for (int x = 0; x < codes.cols; ++x) {
            std::vector<uchar> v;
            for (int d = -reach; d <= reach; ++d)
                v.push_back(down.at<uchar>(y, std::clamp(x + d, 0, codes.cols - 1)));
            median.at<uchar>(y, x) = middle(v);
        }
    return median;
}

// The field as OpenCV's own functions give it: the frame and the background reduced to about 80
// pixels across by the means of whole blocks (of a block more than 8 rows tall, a multiple of 4
// rows, 4 evenly spaced rows), their ratio coded in steps of 1/128 from 0.25, a 9x9 median taken
// down then across (narrower on a field less than 10 pixels high or wide), a 3x3 Gaussian, in
// fixed point.
cv::Mat referenceField(const cv::Mat& frame, const cv::Mat& background, int backgroundScale)
{
    int factor = std::max(2, (std::max(frame.cols, frame.rows) + 79) / 80);
    int step = 1;
    if (factor > 8) {
        factor = (factor + 3) / 4 * 4;
        step = factor / 4;
    }
    const cv::Size reduced(frame.cols / factor, frame.rows / factor);
    const cv::Mat smallFrame = blockMeans<uchar>(frame, factor, step);
    const cv::Mat smallBackground = blockMeans<ushort>(background, factor, step);
    cv::Mat codes(reduced, CV_8UC1);
    for (int y = 0; y < reduced.height; ++y)
        for (int x = 0; x < reduced.width; ++x) {
            const double level = smallBackground.at<ushort>(y, x) / double(backgroundScale);
            const double ratio = level >= 8 ? smallFrame.at<uchar>(y, x) / level : 1.0;
            codes.at<uchar>(y, x) =
                cv::saturate_cast<uchar>((std::clamp(ratio, 0.25, 1.99) - 0.25) * 128);
        }
    const cv::Mat median =
        separableMedian(codes, std::min(9, (std::min(reduced.width, reduced.height) - 1) | 1));
    cv::Mat gains, field;
    const double unit = 1 << LightGain::gainShift;
    median.convertTo(gains, CV_32F, unit / 128, 0.25 * unit);
    cv::GaussianBlur(gains, gains, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    gains.convertTo(field, CV_16U);
    return field;
}

// The reductions, the ratios and the median have fast paths of their own: together they must
// give what OpenCV gives, for frames whose size the reduction divides and for others.
TEST(LightGain, FieldIsWhatOpenCvsFunctionsGive)
{
    LightGain light;
    // The smallest frames' fields take medians of 7, 5 and 3.
    for (const cv::Size size :
         {cv::Size(320, 240), cv::Size(317, 229), cv::Size(1920, 1080), cv::Size(1794, 1001),
          cv::Size(640, 360), cv::Size(33, 17), cv::Size(20, 12), cv::Size(12, 8)}) {
        SCOPED_TRACE(testing::Message() << size);
        cv::Mat frame, background;
        shadedScene(size, frame, background);
        // Insects and specks, so that the medians have outliers to ignore.
        cv::RNG rng(size.width);
        for (int i = 0; i < 40; ++i)
            cv::circle(frame, {rng.uniform(0, size.width), rng.uniform(0, size.height)},
                       rng.uniform(2, 12), cv::Scalar(rng.uniform(0, 255)), cv::FILLED);
        // A dark corner of the background, too dark to give a ratio.
        background(cv::Rect(0, 0, size.width / 4, size.height / 3)).setTo(3 * 128);
        light.estimate(frame, background, 128);
        ASSERT_FALSE(light.uniform());
        EXPECT_EQ(cv::norm(light.field(), referenceField(frame, background, 128), cv::NORM_INF), 0);
    }
}

} // namespace
