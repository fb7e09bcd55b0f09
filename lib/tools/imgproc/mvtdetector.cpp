#include "mvtdetector.h"

#include "targetpool.h"

#include <QDebug>
#include <algorithm>
#include <cstdint>
#include <cstring>
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

// Grid on which the clusters of changed pixels are found.
constexpr int blockSize = 16;
// Blocks this close (in blocks) are grouped before the exact merge.
constexpr int groupingReach = 2;
// Past this share of the working box, one pass over the whole box is cheaper than regions.
constexpr double wholeBoxShare = 0.5;

cv::Rect widened(const cv::Rect& r)
{
    const int by = MvtDetector::morphologyReach;
    return cv::Rect(r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by);
}

int rootOf(std::vector<int>& parent, int i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// findContours returns outer contours in descending raster order of their first point.
bool rasterLater(const std::vector<cv::Point>& a, const std::vector<cv::Point>& b)
{
    return a[0].y > b[0].y || (a[0].y == b[0].y && a[0].x > b[0].x);
}

void orRow(uchar* acc, const uchar* row, int cols)
{
    int x = 0;
    for (; x + 8 <= cols; x += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, acc + x, 8);
        std::memcpy(&b, row + x, 8);
        a |= b;
        std::memcpy(acc + x, &a, 8);
    }
    for (; x < cols; ++x)
        acc[x] |= row[x];
}
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
    box = widened(used) & cv::Rect(0, 0, mask.cols, mask.rows);
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
    cv::threshold(difference, difference, differenceThreshold, setValue, cv::THRESH_BINARY);
    cv::erode(difference, difference, cv::Mat(), cv::Point(-1, -1), firstErosions,
              cv::BORDER_REPLICATE, morphologyBorderValue);

    markOccupiedBlocks();
    groupOccupiedBlocks();
    mergeCloseClusters();
    contours.clear();
    const cv::Rect all(0, 0, difference.cols, difference.rows);
    double covered = 0;
    for (const cv::Rect& c : clusters)
        covered += c.area();
    if (covered > wholeBoxShare * all.area()) {
        traceRegion(all, work.tl());
    } else {
        for (const cv::Rect& c : clusters)
            traceRegion(c, work.tl());
        if (clusters.size() > 1)
            std::sort(contours.begin(), contours.end(), rasterLater);
    }
    makeTargets(targets);
}

// A block is occupied when any of its pixels survived the first erosion.
void MvtDetector::markOccupiedBlocks()
{
    const int rows = difference.rows;
    const int cols = difference.cols;
    occupied.create((rows + blockSize - 1) / blockSize, (cols + blockSize - 1) / blockSize);
    bandOr.resize(static_cast<size_t>(cols));
    uchar* acc = bandOr.data();
    for (int by = 0; by < occupied.rows; ++by) {
        std::fill(bandOr.begin(), bandOr.end(), 0);
        for (int y = by * blockSize; y < std::min(rows, (by + 1) * blockSize); ++y)
            orRow(acc, difference.ptr<uchar>(y), cols);
        for (int bx = 0; bx < occupied.cols; ++bx) {
            uchar any = 0;
            for (int x = bx * blockSize; x < std::min(cols, (bx + 1) * blockSize); ++x)
                any |= acc[x];
            occupied(by, bx) = any != 0;
        }
    }
}

// Occupied blocks close to each other end up in one region anyway: joining them on the grid
// keeps the pairwise merge below short.
void MvtDetector::groupOccupiedBlocks()
{
    const int gw = occupied.cols;
    parent.resize(occupied.total());
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = static_cast<int>(i);
    for (int by = 0; by < occupied.rows; ++by)
        for (int bx = 0; bx < gw; ++bx) {
            if (!occupied(by, bx))
                continue;
            for (int dy = -groupingReach; dy <= 0; ++dy)
                for (int dx = -groupingReach; dx <= groupingReach; ++dx) {
                    const int ny = by + dy, nx = bx + dx;
                    if (dy == 0 && dx >= 0)
                        break;
                    if (ny >= 0 && nx >= 0 && nx < gw && occupied(ny, nx))
                        parent[rootOf(parent, ny * gw + nx)] = rootOf(parent, by * gw + bx);
                }
        }
    clusters.clear();
    clusterOfRoot.assign(parent.size(), -1);
    for (int by = 0; by < occupied.rows; ++by)
        for (int bx = 0; bx < gw; ++bx) {
            if (!occupied(by, bx))
                continue;
            int& index = clusterOfRoot[rootOf(parent, by * gw + bx)];
            const cv::Rect block(bx, by, 1, 1);
            if (index < 0) {
                index = static_cast<int>(clusters.size());
                clusters.push_back(block);
            } else {
                clusters[index] |= block;
            }
        }
}

// Two clusters are traced apart only when neither can reach into the other's region; the final
// regions are the clusters widened by the morphology's reach.
void MvtDetector::mergeCloseClusters()
{
    const cv::Rect all(0, 0, difference.cols, difference.rows);
    for (cv::Rect& c : clusters)
        c = cv::Rect(c.x * blockSize, c.y * blockSize, c.width * blockSize, c.height * blockSize) &
            all;
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < clusters.size(); ++i)
            for (size_t j = i + 1; j < clusters.size();) {
                if ((widened(clusters[i]) & widened(clusters[j])).empty()) {
                    ++j;
                    continue;
                }
                clusters[i] |= clusters[j];
                clusters.erase(clusters.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
            }
    }
    for (cv::Rect& c : clusters)
        c = widened(c) & all;
}

// Dilation, second erosion and contours of one region, which no other region's pixels reach.
void MvtDetector::traceRegion(const cv::Rect& region, const cv::Point& offset)
{
    cv::Mat part = difference(region);
    const cv::Point anchor(-1, -1);
    const int border = cv::BORDER_REPLICATE | cv::BORDER_ISOLATED;
    cv::dilate(part, part, cv::Mat(), anchor, dilations, border, morphologyBorderValue);
    cv::erode(part, part, cv::Mat(), anchor, secondErosions, border, morphologyBorderValue);
    cv::findContours(part, regionContours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE,
                     offset + region.tl());
    for (std::vector<cv::Point>& c : regionContours)
        contours.push_back(std::move(c));
}

void MvtDetector::makeTargets(QList<Target*>& targets)
{
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
