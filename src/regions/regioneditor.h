#pragma once

#include "areacontour.h"

#include <opencv2/core.hpp>

// The region editing of the video on screen, without any widget: the polygons and what a press,
// a drag or a double-click on the video does to them, in video pixels. The window wires the
// mouse and the region buttons to it, and anyone may ask it what is being edited.
//
//   RegionEditor editor;
//   editor.startArea();                   // "clear area": a new area polygon
//   editor.press({10, 20}); editor.press({200, 20});
//   editor.doubleClick();                 // closes it; false when nothing is being drawn
//   editor.regions().save_area(video);
class RegionEditor
{
public:
    // NoEdit: no video; Idle: a video without any edit going on.
    enum Mode { NoEdit = 0, EditArea = 1, EditMask = 2, Idle = 3, ShiftBoth = 4 };

    AreaContour& regions() { return contour; }
    const AreaContour& regions() const { return contour; }
    Mode mode() const { return current; }
    void setMode(Mode mode) { current = mode; }
    // No video any more: nothing is edited and no polygon of the previous video stays, so that
    // nothing of it can be drawn or saved under another video's name.
    void forget();

    // A new area or mask polygon, drawn over the one it replaces.
    void startArea();
    void startMask();
    // A press: a vertex of the polygon being drawn, and where a shift starts.
    void press(cv::Point p);
    // The pointer dragged to `p`: while shifting, both polygons follow it, as long as it stays in
    // the frame.
    void drag(cv::Point p, cv::Size frame);
    // Closes the polygon being drawn; false when none is, so the double-click is free for zoom.
    bool doubleClick();

private:
    AreaContour contour;
    Mode current = NoEdit;
    cv::Point pressPos; // of the last press
};
