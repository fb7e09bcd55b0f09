#include "videoview.h"

#include <opencv2/imgproc.hpp>

namespace
{
int cutOrigin(int centre, int extent, int half)
{
    if (centre <= half)
        return 0;
    if (centre >= extent - half)
        return extent - 2 * half;
    return centre - half;
}
} // namespace

void VideoView::setFrameSize(int width, int height)
{
    displayGeometry.setDisplayGeometry(width, height);
    frame = cv::Size(width, height);
    currentZoom.on = false;
}

bool VideoView::toggleZoom(cv::Point centre)
{
    if (frame.width <= ViewZoom::CutWidth || frame.height <= ViewZoom::CutHeight) {
        currentZoom.on = false;
        return false;
    }
    currentZoom.on = !currentZoom.on;
    currentZoom.centre = centre;
    return true;
}

cv::Rect VideoView::zoomRect(cv::Size frame, cv::Point centre)
{
    const int halfWidth = ViewZoom::CutWidth / 2;
    const int halfHeight = ViewZoom::CutHeight / 2;
    return {cutOrigin(centre.x, frame.width, halfWidth),
            cutOrigin(centre.y, frame.height, halfHeight), ViewZoom::CutWidth, ViewZoom::CutHeight};
}

void VideoView::render(const cv::Mat& frame, cv::Mat& picture) const
{
    render(frame, currentZoom, picture);
}

void VideoView::render(const cv::Mat& frame, const ViewZoom& zoom, cv::Mat& picture)
{
    if (frame.empty())
        return;
    if (zoom.on) {
        const cv::Rect cut =
            zoomRect(frame.size(), zoom.centre) & cv::Rect(0, 0, frame.cols, frame.rows);
        frame(cut).copyTo(picture);
        return;
    }
    DisplayGeometry geometry;
    geometry.setDisplayGeometry(frame.cols, frame.rows);
    const cv::Size display(geometry.width, geometry.height);
    if (display == frame.size()) {
        frame.copyTo(picture);
        return;
    }
    const bool shrinking = display.width <= frame.cols && display.height <= frame.rows;
    cv::resize(frame, picture, display, 0, 0, shrinking ? cv::INTER_LINEAR : cv::INTER_CUBIC);
}
