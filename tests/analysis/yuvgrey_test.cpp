// The grey made straight from decoded 4:2:0 pictures must be byte for byte what cv::cvtColor
// makes of swscale's BGR conversion (BgrPicture): for every (Y, U, V), at any position in the row
// and in pictures of any content, in the whole picture and in bands of rows.
#include "videodecoder.h"
#include "yuvgrey.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <gtest/gtest.h>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <random>

namespace
{

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

Frame allocate(int format, cv::Size size)
{
    Frame frame(av_frame_alloc());
    frame->format = format;
    frame->width = size.width;
    frame->height = size.height;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 32), 0);
    return frame;
}

// What the grey of `area` must be: cvtColor of BgrPicture's conversion of the whole picture, or
// of the band of rows around the area when `band`, as the reader converts them.
cv::Mat expectedGrey(const AVFrame* frame, const cv::Rect& area, bool band = false)
{
    BgrPicture bgr;
    const cv::Size coded(frame->width, frame->height);
    bgr.convert(frame, coded, band ? area.y : 0, band ? area.br().y : coded.height);
    cv::Mat grey;
    cv::cvtColor(bgr.mat()(area), grey, cv::COLOR_BGR2GRAY);
    return grey;
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// A picture 4096 pixels wide, 64 rows of which hold all 65536 chroma pairs, one to each 2x2
// block, with the four luma values 4 s ... 4 s + 3 in its pixels: 64 such slices hold every
// (Y, U, V) once.
void fillSlice(AVFrame* frame, int slice)
{
    for (int by = 0; by < frame->height / 2; ++by) {
        for (int bx = 0; bx < frame->width / 2; ++bx) {
            const int pair = by * (frame->width / 2) + bx;
            frame->data[1][by * frame->linesize[1] + bx] = static_cast<uint8_t>(pair >> 8);
            frame->data[2][by * frame->linesize[2] + bx] = static_cast<uint8_t>(pair & 255);
            for (int j = 0; j < 4; ++j)
                frame->data[0][(2 * by + j / 2) * frame->linesize[0] + 2 * bx + j % 2] =
                    static_cast<uint8_t>(4 * slice + j);
        }
    }
}

void fillRandom(AVFrame* frame, std::mt19937& random)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? frame->height : (frame->height + 1) / 2;
        const int columns = plane == 0 ? frame->width : (frame->width + 1) / 2;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                frame->data[plane][y * frame->linesize[plane] + x] = static_cast<uint8_t>(random());
    }
}

class YuvGreyFormats : public ::testing::TestWithParam<int>
{
};

// The pixels of the 64 slices whose grey differs from cvtColor of swscale's BGR: in the whole
// slice, and in an area from an odd column and row to short of the end, whose first and last
// pixels of each row take the vector code through a copy.
long differingOnEveryYuv(const YuvGrey& converter, int format)
{
    const cv::Size size(4096, 64);
    const Frame frame = allocate(format, size);
    const cv::Rect whole(cv::Point(), size), inner(1, 1, size.width - 4, size.height - 3);
    cv::Mat grey;
    long differing = 0;
    for (int slice = 0; slice < 64; ++slice) {
        fillSlice(frame.get(), slice);
        const cv::Mat expected = expectedGrey(frame.get(), whole);
        converter.convert(frame.get(), whole, grey);
        if (grey.size() != size)
            return -1;
        cv::Mat unequal = grey != expected;
        differing += cv::countNonZero(unequal);
        converter.convert(frame.get(), inner, grey);
        unequal = grey != expected(inner);
        differing += cv::countNonZero(unequal);
    }
    return differing;
}

TEST_P(YuvGreyFormats, EveryYuvGivesTheGreyOfSwscaleAndCvtColor)
{
    const YuvGrey* converter = YuvGrey::forPictures(GetParam(), {4096, 64});
    ASSERT_NE(converter, nullptr) << "the grey path is unavailable: frames go through BGR";
    EXPECT_EQ(differingOnEveryYuv(*converter, GetParam()), 0);
}

// Processors without AVX2 convert in 128-bit vectors.
TEST_P(YuvGreyFormats, NarrowVectorsGiveTheSameGrey)
{
    YuvGrey narrow(YuvGrey::Vectors::Narrow);
    ASSERT_TRUE(narrow.learn(GetParam(), 4096));
    EXPECT_EQ(differingOnEveryYuv(narrow, GetParam()), 0);
}

// Pictures of noise at the sizes of the footage, in areas of any position and width, and in the
// bands of rows that the reader converts on their own.
TEST_P(YuvGreyFormats, AnyAreaOfAnyPictureMatches)
{
    std::mt19937 random(7);
    for (const cv::Size size : {cv::Size(1920, 1088), cv::Size(336, 256)}) {
        const YuvGrey* converter = YuvGrey::forPictures(GetParam(), size);
        ASSERT_NE(converter, nullptr);
        const Frame frame = allocate(GetParam(), size);
        fillRandom(frame.get(), random);
        cv::Mat grey;
        for (int i = 0; i < 12; ++i) {
            const int x = static_cast<int>(random() % 40), y = static_cast<int>(random() % 40);
            const int width =
                1 + static_cast<int>(random() % static_cast<unsigned>(size.width - x));
            const int height =
                1 + static_cast<int>(random() % static_cast<unsigned>(size.height - y));
            const cv::Rect area(x, y, width, height);
            converter->convert(frame.get(), area, grey);
            EXPECT_TRUE(sameBytes(grey, expectedGrey(frame.get(), area, i % 2 == 1)))
                << size << " " << area;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(LimitedAndFullRange, YuvGreyFormats,
                         ::testing::Values(AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P));

// Pictures that swscale converts otherwise, or that were not checked, go through BGR.
TEST(YuvGrey, OnlyCheckedPicturesHaveTheGreyPath)
{
    EXPECT_EQ(YuvGrey::forPictures(AV_PIX_FMT_YUV422P, {640, 480}), nullptr);
    EXPECT_EQ(YuvGrey::forPictures(AV_PIX_FMT_NV12, {640, 480}), nullptr);
    EXPECT_EQ(YuvGrey::forPictures(AV_PIX_FMT_YUV420P10LE, {640, 480}), nullptr);
    // An odd height turns swscale to its scaler, whose chroma is filtered.
    EXPECT_EQ(YuvGrey::forPictures(AV_PIX_FMT_YUV420P, {640, 481}), nullptr);
    EXPECT_EQ(YuvGrey::forPictures(AV_PIX_FMT_YUV420P, {330, 246}), nullptr);
    EXPECT_NE(YuvGrey::forPictures(AV_PIX_FMT_YUV420P, {640, 480}), nullptr);
}

// swscale's own constants for ITU-R BT.601 come out of what it does: luma from 16 with 1.164,
// chroma about 128 (all shifted left by 3; coefficients in 1/8192).
TEST(YuvGrey, LearnsSwscalesTerms)
{
    YuvGrey converter;
    ASSERT_TRUE(converter.learn(AV_PIX_FMT_YUV420P, 640));
    const YuvGrey::Terms& t = converter.terms();
    EXPECT_NEAR(t.luma.coefficient / 8192.0, 255.0 / 219, 0.001);
    EXPECT_EQ(t.luma(16), 0);
    EXPECT_EQ(t.luma(235), 255);
    EXPECT_NEAR(t.blue.coefficient / 8192.0, 2.017, 0.002);
    EXPECT_NEAR(t.red.coefficient / 8192.0, 1.596, 0.002);
    EXPECT_EQ(t.blue(128) + t.greenU(128) + t.greenV(128) + t.red(128), 0);
}

} // namespace
