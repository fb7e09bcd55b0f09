#include "shrunkpicture.h"

#include <algorithm>
#include <numeric>
#include <opencv2/imgproc.hpp>

const cv::Mat& ShrunkPicture::update(const cv::Mat& source, cv::Size size,
                                     const std::vector<cv::Rect>& changed)
{
    if (source.empty() || size.empty())
        return shrunk;
    if (shrunk.size() != size || sourceSize != source.size() || shrunk.type() != source.type()) {
        cv::resize(source, shrunk, size, 0, 0, cv::INTER_AREA);
        sourceSize = source.size();
        return shrunk;
    }
    for (const cv::Rect& r : changed)
        redo(source, r & cv::Rect(0, 0, source.cols, source.rows));
    return shrunk;
}

namespace
{
// The span of shrunk pixels whose footprints meet source pixels [begin, end), and the source
// pixels those footprints cover, in whole blocks: with the scale in lowest terms p / q, each
// block of p source pixels shrinks to exactly q pixels, so a part shrunk alone gets the pixels
// the whole picture would.
struct Span {
    int begin, end, sourceBegin, sourceEnd;
};

Span blocksOf(int begin, int end, int sourceLength, int shrunkLength)
{
    const int common = std::gcd(sourceLength, shrunkLength);
    const int p = sourceLength / common;
    const int q = shrunkLength / common;
    const int firstBlock = begin / p;
    const int endBlock = (end + p - 1) / p;
    return {firstBlock * q, std::min(shrunkLength, endBlock * q), firstBlock * p,
            std::min(sourceLength, endBlock * p)};
}
} // namespace

void ShrunkPicture::redo(const cv::Mat& source, const cv::Rect& changed)
{
    if (changed.empty())
        return;
    const Span x = blocksOf(changed.x, changed.br().x, source.cols, shrunk.cols);
    const Span y = blocksOf(changed.y, changed.br().y, source.rows, shrunk.rows);
    cv::Mat part = shrunk(cv::Rect(cv::Point(x.begin, y.begin), cv::Point(x.end, y.end)));
    const cv::Rect covered(cv::Point(x.sourceBegin, y.sourceBegin),
                           cv::Point(x.sourceEnd, y.sourceEnd));
    cv::resize(source(covered), part, part.size(), 0, 0, cv::INTER_AREA);
}
