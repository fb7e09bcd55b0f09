#include "blobsplit.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace
{
// Cores shallower than this, in pixels, are the texture of one blob's edge, not bodies.
constexpr double shallowestCore = 2;

// A `size` view of `store`, which only ever grows: blobs of every size reuse it.
cv::Mat viewOf(cv::Mat& store, cv::Size size, int type)
{
    if (store.type() != type || store.cols < size.width || store.rows < size.height)
        store.create(std::max(store.rows, size.height), std::max(store.cols, size.width), type);
    return store(cv::Rect(cv::Point(), size));
}
} // namespace

const std::vector<BlobSplit::Part>& BlobSplit::split(const std::vector<cv::Point>& contour,
                                                     const cv::Rect& box, int usualArea)
{
    parts.clear();
    if (usualArea <= 0 || box.area() < splitShare * usualArea)
        return parts;
    // A blank border, so that the outline's own edge is at depth 0.
    const cv::Point shift = cv::Point(1, 1) - box.tl();
    const cv::Size size(box.width + 2, box.height + 2);
    cv::Mat filled = viewOf(filledStore, size, CV_8UC1);
    filled.setTo(0);
    outline[0] = contour;
    cv::drawContours(filled, outline, 0, cv::Scalar(255), cv::FILLED, cv::LINE_8, cv::noArray(),
                     INT_MAX, shift);
    const int area = cv::countNonZero(filled);
    if (area < splitShare * usualArea)
        return parts;
    cv::Mat depth = viewOf(depthStore, size, CV_32FC1);
    cv::distanceTransform(filled, depth, cv::DIST_L2, cv::DIST_MASK_3);
    double deepest = 0;
    cv::minMaxLoc(depth, nullptr, &deepest);
    if (deepest * coreShare < shallowestCore)
        return parts;
    // Cores are the sites (zero pixels) of a second transform, which labels every pixel with the
    // core nearest to it.
    cv::Mat sites = viewOf(sitesStore, size, CV_8UC1);
    cv::compare(depth, deepest * coreShare, sites, cv::CMP_LT);
    cv::Mat nearest = viewOf(nearestStore, size, CV_32SC1);
    // The distances to the cores are not needed: they go where the depth was.
    cv::distanceTransform(sites, depth, nearest, cv::DIST_L2, cv::DIST_MASK_5,
                          cv::DIST_LABEL_CCOMP);
    double cores = 0;
    cv::minMaxLoc(nearest, nullptr, &cores);
    if (cores < 2)
        return parts;
    parts.assign(static_cast<size_t>(cores), Part());
    for (int y = 0; y < filled.rows; ++y) {
        const uchar* in = filled.ptr<uchar>(y);
        const int* label = nearest.ptr<int>(y);
        for (int x = 0; x < filled.cols; ++x) {
            if (!in[x] || label[x] < 1)
                continue;
            Part& p = parts[static_cast<size_t>(label[x] - 1)];
            const cv::Rect pixel(x - shift.x, y - shift.y, 1, 1);
            p.box = p.area == 0 ? pixel : (p.box | pixel);
            ++p.area;
        }
    }
    for (const Part& p : parts)
        if (p.area < partShare * usualArea) {
            parts.clear();
            break;
        }
    return parts;
}
