#include "blobsplit.h"

#include "unionfind.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <opencv2/imgproc.hpp>

namespace
{
// An image of `size` on `buffer`, which only ever grows: blobs of every size reuse it. The image
// is continuous, so that its pixels are one index apart along a row and a row apart across.
template <typename T> cv::Mat imageOn(std::vector<T>& buffer, cv::Size size, int type)
{
    buffer.resize(std::max(buffer.size(), static_cast<size_t>(size.area())));
    return cv::Mat(size, type, buffer.data());
}

constexpr int outside = -1;
} // namespace

const std::vector<BlobSplit::Part>& BlobSplit::split(const std::vector<cv::Point>& contour,
                                                     int pixels, int usualArea)
{
    parts.clear();
    if (usualArea <= 0)
        return parts;
    // Most blobs are one insect of about the usual area: their outline alone tells, before any
    // image is drawn.
    const double smallest = splitShare * usualArea;
    const cv::Rect box = cv::boundingRect(contour);
    if (box.area() < smallest || pixels < smallest ||
        cv::contourArea(contour) > largestShare * usualArea)
        return parts;
    // A blank border, so that the outline's own edge is at depth 0 and every pixel of the blob
    // has eight neighbours in the images.
    const cv::Point shift = cv::Point(1, 1) - box.tl();
    const cv::Size size(box.width + 2, box.height + 2);
    cv::Mat filled = imageOn(filledStore, size, CV_8UC1);
    filled.setTo(0);
    outline[0] = contour;
    cv::drawContours(filled, outline, 0, cv::Scalar(255), cv::FILLED, cv::LINE_8, cv::noArray(),
                     INT_MAX, shift);
    if (cv::countNonZero(filled) < splitShare * usualArea)
        return parts;
    cv::Mat depth = imageOn(depthStore, size, CV_32FC1);
    cv::distanceTransform(filled, depth, cv::DIST_L2, cv::DIST_MASK_3);
    region = imageOn(regionStore, size, CV_32SC1);
    flood(depth);
    joinSmallParts(static_cast<int>(partShare * usualArea));
    collectParts(shift);
    if (parts.size() < 2)
        parts.clear();
    return parts;
}

int BlobSplit::enclosedPixels(const std::vector<cv::Point>& contour)
{
    return static_cast<int>(cv::contourArea(contour) + cv::arcLength(contour, true) / 2) + 1;
}

// Orders the blob's pixels deepest first, those of one depth in raster order: a stable radix
// sort on the depths' bits, which order non-negative floats as unsigned integers.
void BlobSplit::deepestFirst(const float* depth)
{
    constexpr int bits = 8, buckets = 1 << bits;
    keyed.resize(order.size());
    sorted.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        std::uint32_t key;
        std::memcpy(&key, depth + order[i], sizeof key);
        keyed[i] = {~key, order[i]}; // the deepest has the smallest key
    }
    for (int shift = 0; shift < 32; shift += bits) {
        int start[buckets + 1] = {};
        for (const Keyed& k : keyed)
            ++start[((k.key >> shift) & (buckets - 1)) + 1];
        for (int b = 0; b < buckets; ++b)
            start[b + 1] += start[b];
        for (const Keyed& k : keyed)
            sorted[static_cast<size_t>(start[(k.key >> shift) & (buckets - 1)]++)] = k;
        keyed.swap(sorted);
    }
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = keyed[i].pixel;
}

// From the deepest pixel down, each pixel starts a region or joins those around it.
void BlobSplit::flood(const cv::Mat& depth)
{
    region.setTo(outside);
    order.clear();
    const int cols = depth.cols;
    for (int y = 1; y + 1 < depth.rows; ++y)
        for (int x = 1; x + 1 < cols; ++x)
            if (depth.at<float>(y, x) > 0)
                order.push_back(y * cols + x);
    const float* d = depth.ptr<float>();
    deepestFirst(d);
    parent.clear();
    peak.clear();
    int* label = region.ptr<int>();
    const int around[] = {-cols - 1, -cols, -cols + 1, -1, 1, cols - 1, cols, cols + 1};
    for (int p : order) {
        int joined = outside;
        for (int step : around) {
            const int n = label[p + step];
            if (n == outside)
                continue;
            const int r = rootOf(parent, n);
            if (joined == outside) {
                joined = r;
                continue;
            }
            if (r == joined)
                continue;
            // Two cores meet here: one body unless the pixel is a pinch between two.
            const float lower =
                std::min(peak[static_cast<size_t>(r)], peak[static_cast<size_t>(joined)]);
            if (d[p] < coreShare * lower)
                continue;
            const int high =
                peak[static_cast<size_t>(r)] >= peak[static_cast<size_t>(joined)] ? r : joined;
            parent[static_cast<size_t>(r + joined - high)] = high;
            joined = high;
        }
        if (joined == outside) {
            joined = static_cast<int>(parent.size());
            parent.push_back(joined);
            peak.push_back(d[p]);
        }
        label[p] = joined;
    }
}

// A region too small for an insect is a bump of the outline: the neighbour it touches most
// takes it.
void BlobSplit::joinSmallParts(int smallest)
{
    int* label = region.ptr<int>();
    const size_t regions = parent.size();
    pixels.assign(regions, 0);
    for (int p : order) {
        label[p] = rootOf(parent, label[p]);
        ++pixels[static_cast<size_t>(label[p])];
    }
    // The blob's pixels grouped by region: first[r] is where region r's begin in members.
    first.assign(regions + 1, 0);
    for (size_t r = 0; r < regions; ++r)
        first[r + 1] = first[r] + pixels[r];
    members.resize(order.size());
    filledUpTo.assign(first.begin(), first.end() - 1);
    for (int p : order)
        members[static_cast<size_t>(filledUpTo[static_cast<size_t>(label[p])]++)] = p;
    const int cols = region.cols;
    const int around[] = {-cols, -1, 1, cols};
    for (size_t r = 0; r < regions; ++r) {
        if (parent[r] != static_cast<int>(r) || pixels[r] >= smallest)
            continue;
        // Its most touched neighbour, counted over its border pixels.
        partOf.assign(regions, 0);
        for (int i = first[r]; i < first[r + 1]; ++i)
            for (int step : around) {
                const int q = members[static_cast<size_t>(i)] + step;
                if (label[q] != outside)
                    ++partOf[static_cast<size_t>(rootOf(parent, label[q]))];
            }
        partOf[r] = 0;
        const auto most = std::max_element(partOf.begin(), partOf.end());
        if (*most == 0)
            continue;
        const size_t best = static_cast<size_t>(most - partOf.begin());
        parent[r] = static_cast<int>(best);
        pixels[best] += pixels[r];
    }
}

void BlobSplit::collectParts(cv::Point shift)
{
    partOf.assign(parent.size(), outside);
    for (int y = 0; y < region.rows; ++y) {
        const int* label = region.ptr<int>(y);
        for (int x = 0; x < region.cols; ++x) {
            if (label[x] == outside)
                continue;
            int& index = partOf[static_cast<size_t>(rootOf(parent, label[x]))];
            if (index == outside) {
                index = static_cast<int>(parts.size());
                parts.emplace_back();
            }
            Part& part = parts[static_cast<size_t>(index)];
            const cv::Rect pixel(x - shift.x, y - shift.y, 1, 1);
            part.box = part.area == 0 ? pixel : (part.box | pixel);
            ++part.area;
        }
    }
}
