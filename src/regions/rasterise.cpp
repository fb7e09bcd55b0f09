// What an analysis derives from the two polygons: the detection mask and the counting segments.

#include "areacontour.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>

namespace
{

bool validSize(cv::Size size)
{
    return size.width > 0 && size.height > 0;
}

// The filling slows down in proportion to the polygon's extent and goes wrong beyond about a
// million pixels, so far-off vertices (a hand-edited region file) are first clipped to a square
// that still holds any frame with a wide margin (the limit that reading a file clamps to).
// Polygons within it are filled untouched.
constexpr int fillLimit = AreaContour::coordinateLimit;

using Polygon = std::vector<cv::Point2d>;

// One Sutherland-Hodgman step: keeps the part of the closed polygon where inside(p) holds.
template <class Inside, class Cross>
Polygon clipAgainst(const Polygon& in, Inside inside, Cross cross)
{
    Polygon out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const cv::Point2d& a = in[i];
        const cv::Point2d& b = in[(i + 1) % in.size()];
        if (inside(a))
            out.push_back(a);
        if (inside(a) != inside(b))
            out.push_back(cross(a, b));
    }
    return out;
}

std::vector<cv::Point> clipToFillLimit(const std::vector<cv::Point>& polygon)
{
    const double l = fillLimit;
    Polygon p(polygon.begin(), polygon.end());
    const auto atX = [](double x) {
        return [x](const cv::Point2d& a, const cv::Point2d& b) {
            return cv::Point2d(x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x));
        };
    };
    const auto atY = [](double y) {
        return [y](const cv::Point2d& a, const cv::Point2d& b) {
            return cv::Point2d(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y);
        };
    };
    p = clipAgainst(
        p, [l](const cv::Point2d& q) { return q.x >= -l; }, atX(-l));
    p = clipAgainst(
        p, [l](const cv::Point2d& q) { return q.x <= l; }, atX(l));
    p = clipAgainst(
        p, [l](const cv::Point2d& q) { return q.y >= -l; }, atY(-l));
    p = clipAgainst(
        p, [l](const cv::Point2d& q) { return q.y <= l; }, atY(l));
    std::vector<cv::Point> clipped;
    for (const cv::Point2d& q : p)
        clipped.emplace_back(cvRound(q.x), cvRound(q.y));
    return clipped;
}

bool withinFillLimit(const std::vector<cv::Point>& polygon)
{
    return std::all_of(polygon.begin(), polygon.end(), [](const cv::Point& p) {
        return std::abs(p.x) <= fillLimit && std::abs(p.y) <= fillLimit;
    });
}

void fillPolygon(cv::Mat& image, const std::vector<cv::Point>& polygon, int value)
{
    const std::vector<std::vector<cv::Point>> polygons{
        withinFillLimit(polygon) ? polygon : clipToFillLimit(polygon)};
    if (polygons.front().size() >= 3)
        cv::fillPoly(image, polygons, cv::Scalar(value), cv::LINE_8, 0);
}

void drawOutline(cv::Mat& image, const std::vector<cv::Point>& polygon, int value)
{
    cv::polylines(image, polygon, false, cv::Scalar(value), 1, cv::LINE_8, 0);
}

// Clamped to the image before any arithmetic, so far-off vertices cannot overflow.
cv::Rect boundingBox(cv::Point a, cv::Point b, cv::Size size)
{
    const auto span = [](int u, int v, int limit, int& lo, int& hi) {
        lo = std::clamp(std::min(u, v), 0, limit);
        hi = std::clamp(std::max(u, v), -1, limit - 1) + 1;
    };
    int x0, x1, y0, y1;
    span(a.x, b.x, size.width, x0, x1);
    span(a.y, b.y, size.height, y0, y1);
    return cv::Rect(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

// The pixels of one edge in raster order (rows from the top, each row from the left), and which
// of them lie on the outside outline. A thin 8-connected line stays inside the bounding box of
// its end points, so only that box of the frame is scanned.
class EdgeScan
{
public:
    explicit EdgeScan(cv::Size size) : line(size, CV_8UC1, cv::Scalar(0)) {}

    void scan(cv::Point a, cv::Point b, const cv::Mat& outline)
    {
        edge.clear();
        outside.clear();
        cv::line(line, a, b, cv::Scalar(255), 1, cv::LINE_8, 0);
        const cv::Rect box = boundingBox(a, b, line.size());
        for (int y = box.y; y < box.y + box.height; ++y) {
            const uchar* e = line.ptr<uchar>(y);
            const uchar* o = outline.ptr<uchar>(y);
            for (int x = box.x; x < box.x + box.width; ++x) {
                if (e[x] != 255)
                    continue;
                edge.emplace_back(x, y);
                if (o[x] == 255)
                    outside.emplace_back(x, y);
            }
        }
        if (box.area() > 0)
            line(box).setTo(cv::Scalar(0));
    }

    std::vector<cv::Point> edge;
    std::vector<cv::Point> outside; // a subsequence of `edge`

private:
    cv::Mat line;
};

// Appends, for each run of the edge inside the mask, its first pixel and the first outside pixel
// after it. A run that ends the edge is closed by the edge's last pixel, so the list stays in
// pairs and no inside part of the border is left out.
void appendInsideRuns(const EdgeScan& s, std::vector<cv::Point>& points)
{
    bool inside = false;
    std::size_t next = 0;
    std::size_t i = 0;
    for (; i < s.edge.size() && next < s.outside.size(); ++i) {
        const cv::Point& p = s.edge[i];
        if (p == s.outside[next]) {
            if (inside)
                points.push_back(p);
            inside = false;
            ++next;
        } else {
            if (!inside)
                points.push_back(p);
            inside = true;
        }
    }
    if (i < s.edge.size()) {
        points.push_back(s.edge[i]);
        points.push_back(s.edge.back());
    }
}

} // namespace

cv::Mat AreaContour::rasterise(cv::Size frameSize, int fill) const
{
    cv::Mat image = rasteriseWithArea(frameSize, fill);
    if (!image.empty() && area.size() >= 3) {
        fillPolygon(image, area, 0);
        drawOutline(image, area, 255);
    }
    return image;
}

cv::Mat AreaContour::rasteriseWithArea(cv::Size frameSize, int fill) const
{
    if (!validSize(frameSize))
        return cv::Mat();
    cv::Mat image(frameSize, CV_8UC1, cv::Scalar(fill));
    if (mask.size() >= 3) {
        fillPolygon(image, mask, 255);
        drawOutline(image, mask, 255);
    }
    return image;
}

cv::Mat AreaContour::build_counting_points(cv::Size frameSize, int fill)
{
    countingPoints.clear();
    if (!validSize(frameSize))
        return cv::Mat();
    // The counting area's border where it lies outside the mask, the mask's own border cleared.
    cv::Mat outline(frameSize, CV_8UC1, cv::Scalar(fill));
    if (area.size() >= 3)
        drawOutline(outline, area, 255);
    if (mask.size() >= 3)
        fillPolygon(outline, mask, 0);
    if (mask.size() >= 2)
        drawOutline(outline, mask, 0);

    if (area.size() < 2)
        return outline;
    EdgeScan scan(frameSize);
    for (std::size_t k = 0; k + 1 < area.size(); ++k) {
        scan.scan(area[k], area[k + 1], outline);
        if (scan.outside.empty()) {
            countingPoints.push_back(area[k]);
            countingPoints.push_back(area[k + 1]);
        } else {
            appendInsideRuns(scan, countingPoints);
        }
    }
    return outline;
}
