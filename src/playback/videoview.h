#pragma once

#include "displaygeometry.h"

#include <opencv2/core.hpp>

// The zoom of the video view: a 640 x 480 cut-out at full resolution around a video pixel.
struct ViewZoom {
    static constexpr int CutWidth = 640;
    static constexpr int CutHeight = 480;

    bool on = false;
    cv::Point centre;
};

// What the video view shows of a frame, without any widget: the whole frame at the display size
// of its video, or the zoomed cut-out. The window keeps one for the video on screen; a run's
// worker renders its pictures with the same rules, so the GUI thread only puts them on screen.
//
//   VideoView view;
//   view.setFrameSize(1920, 1080);          // display 640 x 360, unzoomed
//   view.toggleZoom({300, 150});            // a double-click: cut-out around that pixel
//   view.render(frame, picture);            // picture: what the view shows
class VideoView
{
public:
    // A new video: its display size, unzoomed.
    void setFrameSize(int width, int height);
    const DisplayGeometry& geometry() const { return displayGeometry; }
    cv::Size frameSize() const { return frame; }

    const ViewZoom& zoom() const { return currentZoom; }
    // Zooms in around `centre` when unzoomed and the frame is larger than the cut-out; zooms out
    // otherwise. False when the frame is too small to zoom.
    bool toggleZoom(cv::Point centre);
    void unzoom() { currentZoom.on = false; }

    // The cut-out around (x, y), kept inside a frame of the given size.
    static cv::Rect zoomRect(cv::Size frame, cv::Point centre);

    void render(const cv::Mat& frame, cv::Mat& picture) const;
    // The picture of `frame` into `picture` (BGR, its buffer reused): the cut-out when zoomed,
    // else the frame at the display size of its own size, so that a frame of another video never
    // comes out distorted. Shrinking is bilinear: for the known sizes (factors 2 and 3) that is
    // exactly the 2 x 2 average, or the centre pixel of each 3 x 3 block as bicubic gave, at a
    // tenth of bicubic's cost.
    static void render(const cv::Mat& frame, const ViewZoom& zoom, cv::Mat& picture);

private:
    DisplayGeometry displayGeometry;
    cv::Size frame;
    ViewZoom currentZoom;
};
