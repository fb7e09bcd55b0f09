#include "mvtdetector.h"

#include "targetpool.h"

#include <QDebug>
#include <opencv2/imgproc.hpp>

namespace
{
constexpr double differenceThreshold = 6;
constexpr double setValue = 255;
constexpr int firstErosions = 1;
constexpr int dilations = 20;
constexpr int secondErosions = 5;
constexpr int minContourPoints = 5;
constexpr double polygonEpsilon = 3.0;
const cv::Scalar morphologyBorderValue = cv::Scalar::all(1);
} // namespace

MvtDetector::MvtDetector() = default;

void MvtDetector::setMask(const cv::Mat& m)
{
    mask = m.clone();
    previous.release();
    boxMask.release();
    box = cv::Rect();
    if (mask.empty() || mask.type() != CV_8UC1)
        return; // every frame will be refused as not matching the mask
    const cv::Rect used = cv::boundingRect(mask);
    if (used.empty())
        return; // nothing to analyse: no frame can ever show motion
    const cv::Rect widened(used.x - morphologyReach, used.y - morphologyReach,
                           used.width + 2 * morphologyReach, used.height + 2 * morphologyReach);
    box = widened & cv::Rect(0, 0, mask.cols, mask.rows);
    cv::compare(mask(box), 0, boxMask, cv::CMP_NE);
}

void MvtDetector::detect(cv::Mat& frame, QList<Target*>& targets)
{
    detectabsdiff(frame, targets);
}

bool MvtDetector::acceptFrame(const cv::Mat& frame) const
{
    if (frame.empty() || frame.type() != CV_8UC1) {
        qWarning("Frame is not an 8-bit grey image: no motion detection");
        return false;
    }
    if (!mask.empty() && (frame.size() != mask.size() || frame.type() != mask.type())) {
        qWarning("Frame of %dx%d does not match the mask of %dx%d: no motion detection", frame.cols,
                 frame.rows, mask.cols, mask.rows);
        return false;
    }
    return true;
}

void MvtDetector::detectabsdiff(cv::Mat& frame, QList<Target*>& targets)
{
    if (!acceptFrame(frame))
        return;
    const cv::Rect work = mask.empty() ? cv::Rect(0, 0, frame.cols, frame.rows) : box;
    if (work.empty())
        return;
    try {
        if (mask.empty())
            frame.copyTo(current);
        else
            cv::bitwise_and(frame(work), boxMask, current);
        if (previous.size() != current.size()) {
            cv::swap(previous, current); // first frame, or a new frame size: the new reference
            return;
        }
        cv::absdiff(previous, current, difference);
        // A caller that passes a non-empty list keeps comparing against the same reference.
        if (targets.isEmpty())
            cv::swap(previous, current);
        findBlobs(work, targets);
    } catch (const cv::Exception& e) {
        qWarning("Motion detection failed: %s", e.what());
    }
}

void MvtDetector::findBlobs(const cv::Rect& work, QList<Target*>& targets)
{
    const cv::Point anchor(-1, -1);
    const int border = cv::BORDER_REPLICATE;
    cv::threshold(difference, difference, differenceThreshold, setValue, cv::THRESH_BINARY);
    cv::erode(difference, difference, cv::Mat(), anchor, firstErosions, border,
              morphologyBorderValue);
    cv::dilate(difference, difference, cv::Mat(), anchor, dilations, border, morphologyBorderValue);
    cv::erode(difference, difference, cv::Mat(), anchor, secondErosions, border,
              morphologyBorderValue);
    cv::findContours(difference, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE, work.tl());

    TargetPool* pool = TargetPool::instance();
    for (const std::vector<cv::Point>& contour : contours) {
        if (contour.size() < minContourPoints)
            continue;
        Target* t = pool->acquire();
        if (!t) {
            qWarning("No more target in the pool");
            return;
        }
        cv::approxPolyDP(contour, polygon, polygonEpsilon, true);
        const cv::Rect r = cv::boundingRect(polygon);
        t->init();
        t->width = r.width;
        t->height = r.height;
        t->origin = r.tl();
        t->centroid = cv::Point(r.x + r.width / 2, r.y + r.height / 2);
        targets.append(t);
    }
}
