#pragma once

#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

// Opening a video for analysis the way both front ends do it, so that they decode the very same
// frames: the decoder is opened on the path (see decoderPath), positioned at the
// start frame by seeking (not by reading up to it), and that frame is read.
//
//   cv::VideoCapture capture;
//   cv::Mat frame;
//   VideoProperties props;
//   if (!openVideoAt(capture, path, 90, frame, &props)) { ... cannot be analysed ... }
//   while (readFrame(capture, frame)) ...
struct VideoProperties {
    double fps = 0;
    double containerFrames = 0; // frame count reported by the container
    int frameWidth = 0;
    int frameHeight = 0;
    bool opened = false; // the decoder opened, even if the start frame could not be read
};

// The path handed to the decoder, in the file-system encoding (on Windows with '\' turned
// into '/').
std::string decoderPath(const QString& path);

// False when the file cannot be opened, or its start frame cannot be read or is empty; `props`
// is filled as far as the decoder got. Decoder errors never escape as exceptions.
bool openVideoAt(cv::VideoCapture& capture, const QString& path, int startFrame, cv::Mat& frame,
                 VideoProperties* props = nullptr);

// The next frame into `frame` (its buffer is reused when the size fits); false at the end or on
// a decoder error.
bool readFrame(cv::VideoCapture& capture, cv::Mat& frame);
