#pragma once

#include <opencv2/core.hpp>

// How far the camera has moved a frame against the background, found on a reduced copy of the
// middle of the picture by phase correlation, to a fraction of a pixel.
//
//     CameraShift shift;
//     const cv::Point2d d = shift.estimate(grey, background); // background: grey levels x 128
//     // d is (0, 0) unless moving the background by d makes it match the frame clearly better.
//
// A flat background, or one covered by moving insects, gives a meaningless peak; the shift is
// kept only when it makes the reduced frame and background differ clearly less than unshifted.
class CameraShift
{
public:
    // `frame` 8-bit grey, `background` 16-bit grey levels times `backgroundScale`, same size.
    // A shift shorter than `smallestShift` pixels is given as (0, 0).
    cv::Point2d estimate(const cv::Mat& frame, const cv::Mat& background, int backgroundScale,
                         double smallestShift);

private:
    cv::Rect window(cv::Size size) const;
    double meanDifference(const cv::Mat& shifted) const;
    static bool clearlyStill(const cv::Point2d& d, const cv::Point2d& step, double smallestShift);
    void keepDetail(cv::Mat& picture);
    enum class Outcome { Still, Shifted, Failed };
    cv::Point2d phaseCorrelation();
    Outcome refined(cv::Point2d start, double smallestShift);
    static bool isPlausible(const cv::Point2d& d);
    void shift(const cv::Point2d& d); // the reduced background shifted by d, into `shifted`
    cv::Point2d refinement(const cv::Point2d& d, bool& textured);

    cv::Mat smallFrame, smallBackground, frame32, background32, hann, windowedFrame,
        windowedBackground, shifted, gradientX, gradientY, coarse;
    cv::Point2d last; // the last shift found, in reduced pixels
};
