#pragma once

#include <opencv2/core.hpp>
#include <vector>

// Encodes an 8-bit BGR or grey picture as a baseline JPEG of quality 95 through libjpeg, with the
// very settings cv::imencode(".jpg") uses by default, so that the bytes are the same. The window
// and orvane-count then need no part of OpenCV's image codecs, which bring GDAL and a hundred
// more libraries to every start of the program.
//
//     std::vector<uchar> bytes;
//     if (!encodeJpeg(picture, bytes)) { ... an empty or unsupported picture, or libjpeg failed ...
//     }
bool encodeJpeg(const cv::Mat& picture, std::vector<uchar>& bytes);
