#pragma once

#include <opencv2/core.hpp>
#include <vector>

// A picture kept shrunk to a given size, brought up to date only where its source changed, so
// that a large picture that changes in small places (the density map) can be shown many times a
// second. Each shrunk pixel is the average of the source pixels it covers, so thin lines stay
// visible.
//
//   ShrunkPicture shrunk;
//   const cv::Mat& shown = shrunk.update(map, {800, 450}, changedRects);
class ShrunkPicture
{
public:
    // `source` shrunk to `size` (at most the source's size). Only the parts covering `changed`
    // are redone, unless the source's or the wanted size differs from the last call, which
    // redoes the whole picture.
    const cv::Mat& update(const cv::Mat& source, cv::Size size,
                          const std::vector<cv::Rect>& changed);
    // The next update() redoes the whole picture.
    void renew() { shrunk.release(); }

private:
    void redo(const cv::Mat& source, const cv::Rect& changed);

    cv::Mat shrunk;
    cv::Size sourceSize;
};
