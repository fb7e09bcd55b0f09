#include "regioneditor.h"

#include <algorithm>

void RegionEditor::forget()
{
    contour.set_state(AreaContour::None);
    contour.clear_area();
    contour.clear_mask();
    current = NoEdit;
}

void RegionEditor::startArea()
{
    contour.set_state(AreaContour::EditingArea);
    contour.clear_area();
    current = EditArea;
}

void RegionEditor::startMask()
{
    contour.set_state(AreaContour::EditingMask);
    contour.clear_mask();
    current = EditMask;
}

// A coordinate of 0 reads as "no vertex" to classic counting: a click on the picture's first row
// or column gives a vertex on the second.
void RegionEditor::press(cv::Point p)
{
    pressPos = p;
    const cv::Point vertex(std::max(p.x, 1), std::max(p.y, 1));
    if (current == EditArea)
        contour.add_area_point(vertex);
    else if (current == EditMask)
        contour.add_mask_point(vertex);
}

void RegionEditor::drag(cv::Point p, cv::Size frame)
{
    if (current != ShiftBoth)
        return;
    if (p.x < 0 || p.x > frame.width || p.y < 0 || p.y > frame.height)
        return;
    contour.shift(pressPos - p, frame.height, frame.width);
    contour.set_state(AreaContour::ShiftPreview);
}

// The press of the double-click's first click has already appended a vertex.
bool RegionEditor::doubleClick()
{
    if (current == EditArea) {
        contour.close_area();
        return true;
    }
    if (current == EditMask) {
        contour.close_mask();
        return true;
    }
    return false;
}
