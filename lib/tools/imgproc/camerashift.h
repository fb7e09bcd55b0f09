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
//
// Most frames of a still camera need no estimate: while the last estimate found the camera still
// and the frame differs from the background about as much as it did then, the camera is taken to
// be still, for up to half a second. The background's detail changes slowly and is
// recomputed only every few estimates; forget() drops it when the background is replaced.
class CameraShift
{
public:
    CameraShift();
    // `frame` 8-bit grey, `background` 16-bit grey levels times `backgroundScale`, same size.
    // A shift shorter than `smallestShift` pixels is given as (0, 0).
    cv::Point2d estimate(const cv::Mat& frame, const cv::Mat& background, int backgroundScale,
                         double smallestShift);
    // The background was replaced (or the frame size changed): nothing known of it holds.
    void forget();
    // Frames come at `fps` (the usual rate until told).
    void setFrameRate(double fps);

private:
    cv::Rect window(cv::Size size) const;
    static double roughDifference(const cv::Mat& frame, const cv::Mat& background,
                                  int backgroundScale);
    bool stillAsBefore(double difference) const;
    void prepareBackground(const cv::Mat& background, int backgroundScale);
    double meanDifference(const cv::Mat& shifted) const;
    static bool clearlyStill(const cv::Point2d& d, const cv::Point2d& step, double smallestShift);
    void keepDetail(cv::Mat& picture);
    enum class Outcome { Still, Shifted, Failed };
    cv::Point2d phaseCorrelation();
    Outcome refined(cv::Point2d start, double smallestShift);
    static bool isPlausible(const cv::Point2d& d);
    void shift(const cv::Point2d& d); // the reduced background shifted by d, into `shifted`
    cv::Point2d refinement(const cv::Point2d& d, bool& textured);
    static void gradients(const cv::Mat& picture, cv::Mat& alongX, cv::Mat& alongY);

    cv::Mat smallFrame, smallBackground, frame32, background32, hann, windowedFrame,
        windowedBackground, shifted, gradientX, gradientY, coarse;
    cv::Mat restGradientX, restGradientY; // of background32, unshifted
    cv::Point2d last;                     // the last shift found, in reduced pixels
    // `shifted` holds background32 shifted by shiftedBy, until background32 is recomputed.
    cv::Point2d shiftedBy;
    bool shiftedValid = false;
    // Estimates since background32 was computed; -1 when it is unknown.
    int detailAge = -1;
    // Whether the last estimate found the camera still, and the frame's rough difference from
    // the background then; frames taken as still since.
    bool wasStill = false;
    double stillDifference = 0;
    int framesTakenStill = 0;
    int longestStill = 0; // frames taken as still in a row at most
};
