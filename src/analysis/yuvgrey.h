#pragma once

#include <opencv2/core.hpp>

struct AVFrame;

// The grey that cv::cvtColor(COLOR_BGR2GRAY) makes of BgrPicture's conversion of a decoded 4:2:0
// picture, computed from the picture's planes without the BGR picture in between.
//
// swscale turns such a picture into BGR with its unscaled converter, in which every pixel is a
// function of its own luma and of the chroma of its 2x2 block: each channel is the sum of a term
// of Y and a term of U, of V or of both, clipped to 0..255. What the terms are is learnt from
// swscale itself, on synthetic pictures run through BgrPicture; the grey made from them is then
// compared with cvtColor of BgrPicture's output for every one of the 2^24 (Y, U, V), in a picture
// of the very width the video has. Only when all of them agree is the converter used; otherwise
// (another swscale or processor, another pixel format) frames go through BGR as before.
//
//   if (const YuvGrey* grey = YuvGrey::forPictures(frame->format, codedSize))
//       grey->convert(frame, area, greyArea);
class YuvGrey
{
public:
    // The converter for pictures of this format and coded size, learnt and checked once per
    // process; null when their grey cannot be had this way. Safe to call from any thread.
    static const YuvGrey* forPictures(int format, cv::Size coded);

    // The pixels `area` of `frame` into `grey`, which gets the area's size (8-bit, one channel).
    void convert(const AVFrame* frame, const cv::Rect& area, cv::Mat& grey) const;

    // One term: mulhi((x << 3) - offset, coefficient) + constant, the high half of a 16-bit
    // signed product as swscale's converter takes it.
    struct Term {
        int offset = 0;
        int coefficient = 0;
        int constant = 0;
        int operator()(int x) const { return (((x << 3) - offset) * coefficient >> 16) + constant; }
    };
    // B = clip(luma(Y) + blue(U)), G = clip(luma(Y) + greenU(U) + greenV(V)),
    // R = clip(luma(Y) + red(V)).
    struct Terms {
        Term luma, blue, greenU, greenV, red;
    };
    const Terms& terms() const { return t; }

    // The vectors the conversion works in: the widest the processor has (256 bits with AVX2),
    // or 128 bits, which every processor with vectors has.
    enum class Vectors { Widest, Narrow };
    explicit YuvGrey(Vectors vectors = Vectors::Widest) : vectors(vectors) {}

    // Learns the terms for pictures of `format` `width` pixels wide, and checks them on every
    // (Y, U, V); false when either fails. Exposed for tests.
    bool learn(int format, int width);

    // Pixels [x0, x1) of a row into out[0 .. x1 - x0), from the rows of the three planes.
    using RowConverter = void (*)(const Terms& t, const uchar* y, const uchar* u, const uchar* v,
                                  uchar* out, int x0, int x1);

private:
    bool checkAll(int format, int width) const;

    Vectors vectors;
    Terms t;
    RowConverter convertRow = nullptr;
};
