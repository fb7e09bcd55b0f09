#include "areacontour.h"

void AreaContour::draw(cv::Mat&) const {}
bool AreaContour::load_area(const QString&)
{
    return true;
}
bool AreaContour::load_mask(const QString&)
{
    return true;
}
