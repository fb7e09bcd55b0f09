#include "viewmapping.h"

#include "displaygeometry.h"
#include "imagegraphicsview.h"

#include <cmath>

cv::Point ViewMapping::rounded(QPointF viewPos)
{
    return {static_cast<int>(std::floor(viewPos.x() + 0.5)),
            static_cast<int>(std::floor(viewPos.y() + 0.5))};
}

cv::Point ViewMapping::toVideo(QPointF viewPos) const
{
    if (!zoom)
        return toVideoUnzoomed(viewPos);
    const cv::Rect cut = ImageGraphicsView::zoomRect(frame, zoomCentre.x, zoomCentre.y);
    return rounded(viewPos) + cut.tl();
}

cv::Point ViewMapping::toVideoUnzoomed(QPointF viewPos) const
{
    const cv::Point p = rounded(viewPos);
    return {geometry.toVideo(p.x), geometry.toVideo(p.y)};
}
