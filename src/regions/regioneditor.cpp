#include "regioneditor.h"

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

void RegionEditor::press(cv::Point p)
{
    pressPos = p;
    if (current == EditArea)
        contour.add_area_point(p);
    else if (current == EditMask)
        contour.add_mask_point(p);
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
