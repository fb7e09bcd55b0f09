#include "areacontour.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <limits>

namespace
{

const cv::Scalar green(0, 255, 0);
const cv::Scalar red(0, 0, 255);

void closePolygon(std::vector<cv::Point>& polygon)
{
    if (polygon.size() >= 3)
        polygon.push_back(polygon.front());
}

// Consecutive vertices only: a polygon shows its closing edge once its list ends with the copy.
void drawPolyline(cv::Mat& frame, const std::vector<cv::Point>& polygon, const cv::Scalar& colour,
                  int thickness)
{
    if (polygon.size() < 2 || frame.empty())
        return;
    cv::polylines(frame, polygon, false, colour, thickness, cv::LINE_8, 0);
}

struct Extent {
    int minX = std::numeric_limits<int>::max();
    int maxX = std::numeric_limits<int>::min();
    int minY = std::numeric_limits<int>::max();
    int maxY = std::numeric_limits<int>::min();
    bool empty = true;

    void add(const std::vector<cv::Point>& polygon)
    {
        for (const cv::Point& p : polygon) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
            empty = false;
        }
    }
};

// The offset is held back one pixel at a time until no vertex would leave [1, limit] (a
// coordinate of 0 is no vertex to classic counting); it never changes sign. Closed form of that
// loop: the smallest coordinate bounds a positive offset, the largest one a negative offset.
int clampOffset(int d, int minCoord, int maxCoord, int limit)
{
    if (d > 0 && minCoord - 1 < d)
        return std::max(0, minCoord - 1);
    const long long overshoot = static_cast<long long>(maxCoord) - limit;
    if (d < 0 && overshoot > d)
        return static_cast<int>(std::min(0LL, overshoot));
    return d;
}

void appendShifted(std::vector<cv::Point>& out, const std::vector<cv::Point>& polygon,
                   cv::Point offset)
{
    for (const cv::Point& p : polygon)
        out.push_back(p - offset);
}

} // namespace

void AreaContour::clear_area()
{
    area.clear();
}

void AreaContour::clear_mask()
{
    mask.clear();
}

void AreaContour::add_area_point(cv::Point p)
{
    area.push_back(p);
}

void AreaContour::add_mask_point(cv::Point p)
{
    mask.push_back(p);
}

void AreaContour::close_area()
{
    closePolygon(area);
}

void AreaContour::close_mask()
{
    closePolygon(mask);
}

void AreaContour::set_state(int s)
{
    if (s == EditingArea)
        area_backup = area;
    else if (s == EditingMask)
        mask_backup = mask;
    state = s;
}

void AreaContour::shift(cv::Point offset, int frameHeight, int frameWidth)
{
    shifted_area.clear();
    shifted_mask.clear();
    Extent extent;
    extent.add(mask);
    extent.add(area);
    if (!extent.empty) {
        offset.x = clampOffset(offset.x, extent.minX, extent.maxX, frameWidth);
        offset.y = clampOffset(offset.y, extent.minY, extent.maxY, frameHeight);
    }
    appendShifted(shifted_mask, mask, offset);
    appendShifted(shifted_area, area, offset);
}

void AreaContour::draw(cv::Mat& frame) const
{
    if (state == ShiftPreview) {
        drawPolyline(frame, shifted_area, green, 2);
        drawPolyline(frame, shifted_mask, red, 2);
        return;
    }
    drawPolyline(frame, area, green, 2);
    drawPolyline(frame, mask, red, 2);
    if (state == EditingArea)
        drawPolyline(frame, area_backup, green, 1);
    else if (state == EditingMask)
        drawPolyline(frame, mask_backup, red, 1);
}

void AreaContour::counting_points(std::vector<cv::Point>& out) const
{
    out = countingPoints;
}
