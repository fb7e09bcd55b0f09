#pragma once

#include <QPointF>
#include <opencv2/core.hpp>

struct DisplayGeometry;
class VideoView;

// Where a point of the video view lies in the video frame. The view shows either the whole
// frame scaled to the display size, or, when zoomed, a 640 x 480 cut-out at full resolution
// that is kept inside the frame; the mapping follows the same cut-out, so a click lands on the
// pixel under the pointer, also near the frame's edges.
//
//   ViewMapping mapping{geometry, {frameWidth, frameHeight}, zoom, zoomCentre};
//   cv::Point pixel = mapping.toVideo(event->localPos());
struct ViewMapping {
    const DisplayGeometry& geometry;
    cv::Size frame;
    bool zoom = false;
    cv::Point zoomCentre;

    // The mapping of what `view` shows now.
    static ViewMapping of(const VideoView& view);

    // View position to video pixel, through the zoomed cut-out when zoom is on.
    cv::Point toVideo(QPointF viewPos) const;
    // View position to video pixel on the unzoomed picture, whatever the zoom state.
    cv::Point toVideoUnzoomed(QPointF viewPos) const;

    // Nearest whole pixel, halves going up (also for negative values).
    static cv::Point rounded(QPointF viewPos);
};
