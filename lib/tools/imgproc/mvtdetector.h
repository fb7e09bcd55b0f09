#pragma once

#include "target.h"

#include <QList>
#include <opencv2/core.hpp>

// Finds the moving blobs of a greyscale frame by differencing it against the previous one,
// inside an optional mask, and appends one pool Target per blob.
class MvtDetector
{
public:
    MvtDetector();

    // Deep copy of the mask; forgets the reference frame, so the next frame detects nothing.
    void setMask(const cv::Mat& m);
    void detect(cv::Mat& frame, QList<Target*>& targets);
    void detectabsdiff(cv::Mat& frame, QList<Target*>& targets);

private:
    cv::Mat previous;
    cv::Mat mask;
};
