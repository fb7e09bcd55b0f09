#pragma once

#include "target.h"

#include <QList>
#include <opencv2/core.hpp>
#include <vector>

// Finds the moving blobs of a greyscale frame by differencing it against the previous one,
// inside an optional mask, and appends one pool Target per blob.
//
// All image work is confined to the mask's bounding box widened by the 26 pixels that the
// erosions and the dilation can reach: outside it the difference is 0 before and after the
// morphology, so the blobs found are exactly those of a whole-frame pass. For the same reason the
// dilation, the second erosion and the contour search run only around the clusters of changed
// pixels that survive the first erosion, each cluster on its own; the contours are then put back
// in the order a whole-frame search returns them. The working images are kept between frames so
// that a frame allocates no image buffer.
class MvtDetector
{
public:
    MvtDetector();

    // Deep copy of the mask; forgets the reference frame, so the next frame detects nothing.
    void setMask(const cv::Mat& m);
    void detect(cv::Mat& frame, QList<Target*>& targets);
    void detectabsdiff(cv::Mat& frame, QList<Target*>& targets);

    // Reach of erosion 1 + dilation 20 + erosion 5, in pixels.
    static constexpr int morphologyReach = 26;

private:
    bool acceptFrame(const cv::Mat& frame) const;
    void findBlobs(const cv::Rect& box, QList<Target*>& targets);
    void markOccupiedBlocks();
    void groupOccupiedBlocks();
    void mergeCloseClusters();
    void traceRegion(const cv::Rect& region, const cv::Point& offset);
    void makeTargets(QList<Target*>& targets);

    cv::Mat previous; // masked reference frame, limited to the working box
    cv::Mat mask;
    cv::Mat boxMask; // the mask inside the working box, 0 or 255
    cv::Rect box;    // working box when a mask is set
    cv::Mat current;
    cv::Mat difference;
    std::vector<std::vector<cv::Point>> contours;
    std::vector<std::vector<cv::Point>> regionContours;
    std::vector<cv::Point> polygon;
    // Clusters of changed pixels, found on a grid of blocks.
    cv::Mat_<uchar> occupied;
    std::vector<uchar> bandOr;
    std::vector<int> parent;
    std::vector<int> clusterOfRoot;
    std::vector<cv::Rect> clusters; // in blocks, then in pixels of the difference image
};
