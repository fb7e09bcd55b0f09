#pragma once

#include "videoinput.h"

#include <opencv2/videoio.hpp>

// Opening a video through cv::VideoCapture the way the analysis does it, so that the window's
// player and a run decode the very same frames: FFmpeg's back end alone, positioned at the start
// frame by seeking (not by reading up to it), and that frame read.
//
//   cv::VideoCapture capture;
//   cv::Mat frame;
//   VideoProperties props;
//   if (!openVideoAt(capture, path, 90, frame, &props)) { ... cannot be analysed ... }
//   while (readFrame(capture, frame)) ...

// False when the file cannot be opened, or its start frame cannot be read or is empty; `props`
// is filled as far as the decoder got. Decoder errors never escape as exceptions.
bool openVideoAt(cv::VideoCapture& capture, const QString& path, int startFrame, cv::Mat& frame,
                 VideoProperties* props = nullptr);

// The next frame into `frame` (its buffer is reused when the size fits); false at the end or on
// a decoder error.
bool readFrame(cv::VideoCapture& capture, cv::Mat& frame);

// The CaptureReader of the capture module, also used directly where OpenCV's video module is
// linked anyway (the window's player, tests).
class VideoCaptureReader final : public CaptureReader
{
public:
    bool open(const QString& path, int startFrame, cv::Mat& frame, VideoProperties& props) override
    {
        return openVideoAt(capture, path, startFrame, frame, &props);
    }
    bool read(cv::Mat& frame) override { return readFrame(capture, frame); }
    double positionMs() override;
    void release() override { capture.release(); }

private:
    cv::VideoCapture capture;
};
