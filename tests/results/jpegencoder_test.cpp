#include "jpegencoder.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace
{
std::vector<uchar> openCvBytes(const cv::Mat& picture)
{
    std::vector<uchar> bytes;
    EXPECT_TRUE(cv::imencode(".jpg", picture, bytes));
    return bytes;
}

cv::Mat noisyScene(cv::Size size, int type)
{
    cv::Mat picture(size, type);
    cv::randu(picture, 0, 256);
    cv::GaussianBlur(picture, picture, cv::Size(5, 5), 0);
    cv::circle(picture, cv::Point(size.width / 3, size.height / 2), size.height / 4,
               cv::Scalar(20, 200, 90), cv::FILLED);
    cv::line(picture, cv::Point(0, 0), cv::Point(size.width, size.height), cv::Scalar::all(255), 2);
    return picture;
}
} // namespace

// The density map's picture must stay byte for byte what OpenCV's encoder wrote: stored results
// and the comparisons between the window and orvane-count rely on it.
TEST(JpegEncoder, WritesTheBytesOpenCvsEncoderWrites)
{
    const cv::Mat colour = noisyScene({640, 480}, CV_8UC3);
    const std::vector<cv::Mat> pictures{colour, noisyScene({37, 23}, CV_8UC3),
                                        noisyScene({320, 240}, CV_8UC1),
                                        cv::Mat(1, 1, CV_8UC3, cv::Scalar(1, 2, 3)),
                                        colour(cv::Rect(13, 7, 101, 55))}; // rows not continuous
    for (const cv::Mat& picture : pictures) {
        std::vector<uchar> ours;
        ASSERT_TRUE(encodeJpeg(picture, ours));
        EXPECT_EQ(ours, openCvBytes(picture)) << picture.cols << "x" << picture.rows;
    }
}

TEST(JpegEncoder, RefusesWhatItCannotEncode)
{
    std::vector<uchar> bytes{1, 2, 3};
    EXPECT_FALSE(encodeJpeg(cv::Mat(), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(encodeJpeg(cv::Mat(8, 8, CV_16UC3, cv::Scalar::all(0)), bytes));
    EXPECT_FALSE(encodeJpeg(cv::Mat(8, 8, CV_8UC4, cv::Scalar::all(0)), bytes));
    // Larger than a JPEG can hold: libjpeg's error comes back as a failure, not an exit.
    EXPECT_FALSE(encodeJpeg(cv::Mat(1, 70000, CV_8UC1, cv::Scalar::all(0)), bytes));
    EXPECT_TRUE(bytes.empty());
}
