#include "shrunkpicture.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace
{
int ceilDiv(int a, int b)
{
    return (a + b - 1) / b;
}
} // namespace

int ShrunkPicture::factorToFit(cv::Size picture, cv::Size area)
{
    if (area.width <= 0 || area.height <= 0)
        return 1;
    return std::max({1, ceilDiv(picture.width, area.width), ceilDiv(picture.height, area.height)});
}

const cv::Mat& ShrunkPicture::update(const cv::Mat& source, int wanted,
                                     const std::vector<cv::Rect>& changed)
{
    const cv::Size size(source.cols / std::max(wanted, 1), source.rows / std::max(wanted, 1));
    if (source.empty() || size.empty())
        return shrunk;
    if (shrunk.size() != size || sourceSize != source.size() || shrunk.type() != source.type()) {
        factor = wanted;
        sourceSize = source.size();
        cv::resize(source(cv::Rect(0, 0, size.width * factor, size.height * factor)), shrunk, size,
                   0, 0, cv::INTER_AREA);
        return shrunk;
    }
    for (const cv::Rect& r : changed)
        redo(source, r & cv::Rect(0, 0, source.cols, source.rows));
    return shrunk;
}

// The blocks that meet `changed`, averaged again: each block shrinks to one pixel by itself, so
// this gives exactly the pixels that shrinking the whole picture would.
void ShrunkPicture::redo(const cv::Mat& source, const cv::Rect& changed)
{
    const cv::Rect blocks =
        cv::Rect(cv::Point(changed.x / factor, changed.y / factor),
                 cv::Point(ceilDiv(changed.br().x, factor), ceilDiv(changed.br().y, factor))) &
        cv::Rect(0, 0, shrunk.cols, shrunk.rows);
    if (blocks.empty())
        return;
    cv::Mat part = shrunk(blocks);
    const cv::Rect covered(blocks.x * factor, blocks.y * factor, blocks.width * factor,
                           blocks.height * factor);
    cv::resize(source(covered), part, part.size(), 0, 0, cv::INTER_AREA);
}
