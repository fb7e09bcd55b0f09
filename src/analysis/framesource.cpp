#include "framesource.h"

#include <cmath>

void FrameCursor::reset(double index, const VideoProperties& props)
{
    nextIndex = index;
    containerFrames = props.containerFrames;
    skipped = 0;
    maxInARow =
        props.fps > 0 && std::isfinite(props.fps)
            ? static_cast<int>(std::ceil(std::min(props.fps, 1000.0) * maxUnreadableSeconds))
            : maxUnreadableWithoutRate;
}

// Failed reads count as unreadable frames only when a frame reads after them: at the end of a
// video whose container promises a few frames too many they are no damage.
bool FrameCursor::read(cv::VideoCapture& capture, FrameSource::Frame& frame)
{
    for (int failed = 0; failed <= maxInARow; ++failed) {
        if (readFrame(capture, frame.colour)) {
            frame.index = nextIndex + failed;
            nextIndex = frame.index + 1;
            skipped += failed;
            return true;
        }
        if (!(nextIndex + failed + 1 < containerFrames))
            break;
    }
    return false;
}

bool CaptureSource::open(const QString& path, int startFrame, cv::Mat& first,
                         VideoProperties& props)
{
    const bool read = openVideoAt(capture, path, startFrame, first, &props);
    cursor.reset(startFrame + 1, props);
    return read;
}

const FrameSource::Frame* CaptureSource::next()
{
    return cursor.read(capture, frame) ? &frame : nullptr;
}
