#pragma once

#include <opencv2/core.hpp>
#include <vector>

// A picture kept shrunk by a whole factor, brought up to date only where its source changed, so
// that a large picture that changes in small places (the density map) can be shown many times a
// second. Each shrunk pixel is the average of the factor x factor source pixels it covers, so
// thin lines stay visible; the last source columns and rows that make no whole block are left
// out.
//
//   ShrunkPicture shrunk;
//   const cv::Mat& shown = shrunk.update(map, ShrunkPicture::factorToFit(map.size(), area),
//                                        changedRects);
class ShrunkPicture
{
public:
    // The smallest whole factor that makes a picture of size `picture` fit into `area`; 1 when
    // it fits already or the area is empty.
    static int factorToFit(cv::Size picture, cv::Size area);

    // `source` shrunk by `factor`. Only the blocks that meet `changed` are redone, unless the
    // source's size or the factor differs from the last call, which redoes the whole picture.
    const cv::Mat& update(const cv::Mat& source, int factor, const std::vector<cv::Rect>& changed);
    // The next update() redoes the whole picture.
    void renew() { shrunk.release(); }

private:
    void redo(const cv::Mat& source, const cv::Rect& changed);

    cv::Mat shrunk;
    cv::Size sourceSize;
    int factor = 1;
};
