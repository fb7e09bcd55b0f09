#include "viewmapping.h"

#include "displaygeometry.h"
#include "videoview.h"

#include <cmath>

cv::Point ViewMapping::rounded(QPointF viewPos)
{
    return {static_cast<int>(std::floor(viewPos.x() + 0.5)),
            static_cast<int>(std::floor(viewPos.y() + 0.5))};
}

ViewMapping ViewMapping::of(const VideoView& view)
{
    return {view.geometry(), view.frameSize(), view.zoom().on, view.zoom().centre};
}

cv::Point ViewMapping::toVideo(QPointF viewPos) const
{
    if (!zoom)
        return toVideoUnzoomed(viewPos);
    const cv::Rect cut = VideoView::zoomRect(frame, zoomCentre);
    return rounded(viewPos) + cut.tl();
}

cv::Point ViewMapping::toVideoUnzoomed(QPointF viewPos) const
{
    const cv::Point p = rounded(viewPos);
    return {geometry.toVideo(p.x), geometry.toVideo(p.y)};
}
