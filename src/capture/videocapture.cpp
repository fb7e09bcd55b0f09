#include "videocapture.h"

#include <cmath>

static void readProperties(cv::VideoCapture& capture, VideoProperties& props)
{
    props.frameHeight = static_cast<int>(std::trunc(capture.get(cv::CAP_PROP_FRAME_HEIGHT)));
    props.frameWidth = static_cast<int>(std::trunc(capture.get(cv::CAP_PROP_FRAME_WIDTH)));
    props.fps = capture.get(cv::CAP_PROP_FPS);
    props.containerFrames = capture.get(cv::CAP_PROP_FRAME_COUNT);
}

bool openVideoAt(cv::VideoCapture& capture, const QString& path, int startFrame, cv::Mat& frame,
                 VideoProperties* props)
{
    VideoProperties local;
    VideoProperties& p = props ? *props : local;
    p = VideoProperties();
    try {
        capture.release();
        // FFmpeg alone: OpenCV would otherwise go on to try camera back ends on a file that
        // FFmpeg cannot read (a USB scan per unreadable file, with leaks).
        if (path.isEmpty() || !capture.open(decoderPath(path), cv::CAP_FFMPEG))
            return false;
        p.opened = true;
        readProperties(capture, p);
        capture.set(cv::CAP_PROP_POS_FRAMES, startFrame);
        return capture.read(frame) && !frame.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

bool readFrame(cv::VideoCapture& capture, cv::Mat& frame)
{
    try {
        return capture.read(frame) && !frame.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

double VideoCaptureReader::positionMs()
{
    try {
        return capture.get(cv::CAP_PROP_POS_MSEC);
    } catch (const cv::Exception&) {
        return 0;
    }
}
