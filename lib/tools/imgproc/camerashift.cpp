#include "camerashift.h"

#include "countingmode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace
{
// The estimate works on the middle of the picture, at most this many pixels on a side, halved:
// enough texture to lock on, little work even on large frames.
constexpr int windowSide = 384;
constexpr int reduction = 2; // as cv::pyrDown halves
// The frame must hold at least this much of a window on a side to be worth aligning.
constexpr int smallestWindow = 32;
// A camera shaken by wind moves a pixel or two; a larger jump is not taken for a shake.
constexpr double largestShift = 8;
// Phase correlation places the peak to about a tenth of a (reduced) pixel, drawn towards whole
// pixels; a few steps of Gauss-Newton on the difference then refine it.
constexpr int refinements = 3;
// A step shorter than this (reduced pixels) means the refinement has settled.
constexpr double settledStep = 0.02;
// The reduced pictures are smoothed by about a (reduced) pixel, so that their gradient describes
// them over shifts of that size and the refinement neither stops short nor overshoots.
constexpr double smoothing = 1;
// Only the detail finer than a box of this many (reduced) pixels is aligned: the card's texture,
// not a soft shadow moving across it, which would otherwise draw the estimate along with it.
constexpr int detailBox = 9;
// In the refinement, a remaining shift of a (reduced) pixel changes a pixel by at most its
// gradient; a difference larger than that and this many grey levels of noise is an insect or a
// shadow, and is left out.
constexpr double outlierNoise = 8;
// A background whose detail changes by less than this (squared grey levels per reduced pixel, on
// average) is flat: there is nothing to align on, and nothing a shift would change.
constexpr double leastTexture = 1;
// Shifting the background must remove at least this share of its mean difference from the
// frame, or the peak came from noise or from insects rather than from the camera.
constexpr double smallestImprovement = 0.1;
// A frame whose mean difference from the background (in grey levels, on every
// roughRowStep-th row of the window) is at most stillShare times, plus stillSlack, what it was
// when the camera was last found still is taken as still too, for at most longestStillSeconds in
// a row: a shake of half a pixel on a textured card raises that difference by far more, and the
// first frames of a gust, building up to it, pass so tight a bar already. While the camera is
// taken as still, that difference follows the frames' down (a shadow passing off the picture, the
// background catching up), so that a calmer spell does not hide the next shake.
constexpr int roughRowStep = 4;
constexpr double stillShare = 1.1;
constexpr double stillSlack = 0.3;
constexpr double longestStillSeconds = 0.5;
// The background's detail is recomputed after this many estimates: it learns over about a third
// of a second, and a change of light barely changes its fine detail.
constexpr int detailRefresh = 4;
// The refinement stops once the shift and its last step together are below this share of the
// shift worth undoing.
constexpr double clearlyStillShare = 0.5;
} // namespace

cv::Rect CameraShift::window(cv::Size size) const
{
    const int w = std::min(size.width, windowSide), h = std::min(size.height, windowSide);
    return cv::Rect((size.width - w) / 2, (size.height - h) / 2, w, h);
}

double CameraShift::meanDifference(const cv::Mat& other) const
{
    // Leave out the margin a shift fills with repeated border pixels.
    const int margin = static_cast<int>(largestShift) / reduction + 1;
    const cv::Rect inner(margin, margin, frame32.cols - 2 * margin, frame32.rows - 2 * margin);
    return cv::norm(frame32(inner), other(inner), cv::NORM_L1) / inner.area();
}

CameraShift::CameraShift()
{
    setFrameRate(0);
}

void CameraShift::setFrameRate(double fps)
{
    longestStill = framesIn(longestStillSeconds, fps);
}

void CameraShift::forget()
{
    detailAge = -1;
    shiftedValid = false;
    wasStill = false;
    framesTakenStill = 0;
}

namespace
{
// The sum of |frame * scale - background| over a row.
long long rowDifference(const uchar* f, const ushort* b, int n, int scale)
{
    long long sum = 0;
    int x = 0;
#if CV_SIMD128
    // The scaled frame fits 16 bits while the scale does: 255 * 257 is the most.
    if (scale <= 257) {
        const cv::v_uint16x8 factor = cv::v_setall_u16(static_cast<ushort>(scale));
        cv::v_uint32x4 total = cv::v_setzero_u32();
        for (; x + 16 <= n; x += 16) {
            cv::v_uint16x8 low, high;
            cv::v_expand(cv::v_load(f + x), low, high);
            const cv::v_uint16x8 a = cv::v_absdiff(cv::v_mul_wrap(low, factor), cv::v_load(b + x));
            const cv::v_uint16x8 c =
                cv::v_absdiff(cv::v_mul_wrap(high, factor), cv::v_load(b + x + 8));
            cv::v_uint32x4 a0, a1, c0, c1;
            cv::v_expand(a, a0, a1);
            cv::v_expand(c, c0, c1);
            total += (a0 + a1) + (c0 + c1);
        }
        sum = cv::v_reduce_sum(total);
    }
#endif
    for (; x < n; ++x)
        sum += std::abs(f[x] * scale - b[x]);
    return sum;
}
} // namespace

double CameraShift::roughDifference(const cv::Mat& frame, const cv::Mat& background,
                                    int backgroundScale)
{
    long long sum = 0;
    int rows = 0;
    for (int y = 0; y < frame.rows; y += roughRowStep, ++rows)
        sum += rowDifference(frame.ptr<uchar>(y), background.ptr<ushort>(y), frame.cols,
                             backgroundScale);
    return static_cast<double>(sum) / (static_cast<double>(rows) * frame.cols * backgroundScale);
}

bool CameraShift::stillAsBefore(double difference) const
{
    return wasStill && framesTakenStill < longestStill &&
           difference <= stillShare * stillDifference + stillSlack;
}

void CameraShift::prepareBackground(const cv::Mat& background, int backgroundScale)
{
    if (detailAge >= 0 && detailAge < detailRefresh && background32.size() == frame32.size()) {
        ++detailAge;
        return;
    }
    cv::pyrDown(background, smallBackground);
    smallBackground.convertTo(background32, CV_32F, 1.0 / backgroundScale);
    keepDetail(background32);
    gradients(background32, restGradientX, restGradientY);
    detailAge = 1;
    shiftedValid = false;
}

cv::Point2d CameraShift::estimate(const cv::Mat& frame, const cv::Mat& background,
                                  int backgroundScale, double smallestShift)
{
    const cv::Rect middle = window(frame.size());
    if (middle.width < smallestWindow || middle.height < smallestWindow)
        return {};
    const double difference = roughDifference(frame(middle), background(middle), backgroundScale);
    if (stillAsBefore(difference)) {
        ++framesTakenStill;
        stillDifference = std::min(stillDifference, difference);
        return {};
    }
    framesTakenStill = 0;
    // Smoothed before it is halved, so that a thin line shifted by a pixel stays a line shifted
    // by half a pixel rather than jumping from one reduced pixel to the next.
    cv::pyrDown(frame(middle), smallFrame);
    smallFrame.convertTo(frame32, CV_32F);
    keepDetail(frame32);
    prepareBackground(background(middle), backgroundScale);
    // Most frames move little from the last one: the refinement starts from the last shift, and
    // only when that fails does phase correlation search the whole range.
    Outcome outcome = refined(last, smallestShift);
    if (outcome == Outcome::Failed)
        outcome = refined(phaseCorrelation(), smallestShift);
    if (outcome == Outcome::Failed)
        last = {};
    wasStill = outcome == Outcome::Still;
    stillDifference = difference;
    return outcome == Outcome::Shifted ? last * reduction : cv::Point2d();
}

cv::Point2d CameraShift::phaseCorrelation()
{
    if (hann.size() != frame32.size())
        cv::createHanningWindow(hann, frame32.size(), CV_32F);
    // phaseCorrelate windows its inputs in place: it is given windowed copies.
    cv::multiply(frame32, hann, windowedFrame);
    cv::multiply(background32, hann, windowedBackground);
    return cv::phaseCorrelate(windowedBackground, windowedFrame);
}

// Refines `start` into `last`. Still: the shift is too small to matter (or the picture has no
// detail to align on). Shifted: the shifted background explains the frame clearly better.
CameraShift::Outcome CameraShift::refined(cv::Point2d start, double smallestShift)
{
    cv::Point2d d = start;
    bool textured = true;
    for (int i = 0; i < refinements && textured && isPlausible(d); ++i) {
        const cv::Point2d step = refinement(d, textured);
        d += step;
        if (std::hypot(step.x, step.y) < settledStep || clearlyStill(d, step, smallestShift))
            break;
    }
    if (!textured)
        return last = {}, Outcome::Still;
    if (!isPlausible(d))
        return Outcome::Failed;
    // A still camera's next estimate starts from rest, where the background's gradient is known.
    if (std::hypot(d.x, d.y) * reduction < smallestShift)
        return last = {}, Outcome::Still;
    last = d;
    shift(d);
    if (meanDifference(shifted) > (1 - smallestImprovement) * meanDifference(background32))
        return Outcome::Failed;
    return Outcome::Shifted;
}

// A camera that only trembles, well within the shift worth undoing, needs no finer estimate: its
// tremble is left to the pixels' usual variation anyway.
bool CameraShift::clearlyStill(const cv::Point2d& d, const cv::Point2d& step, double smallestShift)
{
    return (std::hypot(d.x, d.y) + std::hypot(step.x, step.y)) * reduction <
           clearlyStillShare * smallestShift;
}

void CameraShift::keepDetail(cv::Mat& picture)
{
    cv::blur(picture, coarse, cv::Size(detailBox, detailBox), cv::Point(-1, -1),
             cv::BORDER_REPLICATE);
    cv::GaussianBlur(picture, picture, cv::Size(), smoothing);
    picture -= coarse;
}

bool CameraShift::isPlausible(const cv::Point2d& d)
{
    return std::isfinite(d.x) && std::isfinite(d.y) &&
           std::hypot(d.x, d.y) * reduction <= largestShift;
}

void CameraShift::shift(const cv::Point2d& d)
{
    // A camera still shaken starts its next estimate from the last shift, on the same background.
    if (shiftedValid && d == shiftedBy && shifted.size() == background32.size())
        return;
    shiftedBy = d;
    shiftedValid = true;
    const cv::Mat move = (cv::Mat_<double>(2, 3) << 1, 0, d.x, 0, 1, d.y);
    cv::warpAffine(background32, shifted, move, background32.size(), cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
}

namespace
{
// The sums of the normal equations of a Gauss-Newton step, over the pixels whose difference `r`
// between the shifted background and the frame a remaining shift can explain. A row is summed in
// single precision, four pixels at a time, and added to the totals in double precision.
struct NormalSums {
    double xx = 0, xy = 0, yy = 0, xr = 0, yr = 0;

    void addRow(const float* b, const float* f, const float* gx, const float* gy, int from, int to)
    {
        float rxx = 0, rxy = 0, ryy = 0, rxr = 0, ryr = 0;
        int x = from;
#if CV_SIMD128
        cv::v_float32x4 vxx = cv::v_setzero_f32(), vxy = vxx, vyy = vxx, vxr = vxx, vyr = vxx;
        const cv::v_float32x4 noise = cv::v_setall_f32(static_cast<float>(outlierNoise));
        for (; x + 4 <= to; x += 4) {
            const cv::v_float32x4 r = cv::v_load(b + x) - cv::v_load(f + x);
            cv::v_float32x4 ax = cv::v_load(gx + x), ay = cv::v_load(gy + x);
            const cv::v_float32x4 kept = cv::v_abs(r) <= cv::v_abs(ax) + cv::v_abs(ay) + noise;
            ax = ax & kept;
            ay = ay & kept;
            vxx = cv::v_fma(ax, ax, vxx);
            vxy = cv::v_fma(ax, ay, vxy);
            vyy = cv::v_fma(ay, ay, vyy);
            vxr = cv::v_fma(ax, r, vxr);
            vyr = cv::v_fma(ay, r, vyr);
        }
        rxx = cv::v_reduce_sum(vxx), rxy = cv::v_reduce_sum(vxy), ryy = cv::v_reduce_sum(vyy);
        rxr = cv::v_reduce_sum(vxr), ryr = cv::v_reduce_sum(vyr);
#endif
        for (; x < to; ++x) {
            const float r = b[x] - f[x];
            if (std::abs(r) > std::abs(gx[x]) + std::abs(gy[x]) + static_cast<float>(outlierNoise))
                continue;
            rxx += gx[x] * gx[x];
            rxy += gx[x] * gy[x];
            ryy += gy[x] * gy[x];
            rxr += gx[x] * r;
            ryr += gy[x] * r;
        }
        xx += rxx, xy += rxy, yy += ryy, xr += rxr, yr += ryr;
    }
};
} // namespace

// One Gauss-Newton step on the reduced pictures: the frame is about the shifted background less
// its gradient times the remaining shift. Unshifted, the background and its gradient are those
// kept with its detail.
cv::Point2d CameraShift::refinement(const cv::Point2d& d, bool& textured)
{
    const bool atRest = d == cv::Point2d();
    if (!atRest) {
        shift(d);
        gradients(shifted, gradientX, gradientY);
    }
    const cv::Mat& moved = atRest ? background32 : shifted;
    const cv::Mat& alongX = atRest ? restGradientX : gradientX;
    const cv::Mat& alongY = atRest ? restGradientY : gradientY;
    const int margin = static_cast<int>(largestShift) / reduction + 1;
    const cv::Rect inner(margin, margin, frame32.cols - 2 * margin, frame32.rows - 2 * margin);
    NormalSums sums;
    for (int y = inner.y; y < inner.br().y; ++y)
        sums.addRow(moved.ptr<float>(y), frame32.ptr<float>(y), alongX.ptr<float>(y),
                    alongY.ptr<float>(y), inner.x, inner.br().x);
    const double xx = sums.xx, xy = sums.xy, yy = sums.yy, xr = sums.xr, yr = sums.yr;
    textured = (xx + yy) / inner.area() >= leastTexture;
    const double det = xx * yy - xy * xy;
    if (!(det > 0))
        return {};
    return {(yy * xr - xy * yr) / det, (xx * yr - xy * xr) / det};
}

void CameraShift::gradients(const cv::Mat& picture, cv::Mat& alongX, cv::Mat& alongY)
{
    constexpr double sobelScale = 1.0 / 8;
    cv::Sobel(picture, alongX, CV_32F, 1, 0, 3, sobelScale);
    cv::Sobel(picture, alongY, CV_32F, 0, 1, 3, sobelScale);
}
