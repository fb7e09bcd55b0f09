#include "framesource.h"

#include <cmath>

void FrameCursor::reset(double index, const VideoProperties& props)
{
    nextIndex = index;
    containerFrames = props.containerFrames;
    fps = props.fps;
    skipped = 0;
    maxInARow =
        props.fps > 0 && std::isfinite(props.fps)
            ? static_cast<int>(std::ceil(std::min(props.fps, 1000.0) * maxUnreadableSeconds))
            : maxUnreadableWithoutRate;
}

// Where the decoder says the frame just read lies, from its time stamp; -1 when it cannot say
// (no usable rate, or frames flushed at the end without a time stamp).
double FrameCursor::stampedIndex(FrameInput& input) const
{
    if (!(fps > 0) || !std::isfinite(fps))
        return -1;
    const double ms = input.positionMs();
    return ms > 0 && std::isfinite(ms) ? std::round(ms * fps / 1000) : -1;
}

// Failed reads count as unreadable frames only when a frame reads after them: at the end of a
// video whose container promises a few frames too many they are no damage. A decoder may also
// drop a damaged stretch without a failed read; its time stamps then show the gap. Small
// differences are left alone, so that a clean video keeps its plain frame count.
bool FrameCursor::read(FrameInput& input, FrameSource::Frame& frame)
{
    for (int failed = 0; failed <= maxInARow; ++failed) {
        if (input.read(frame)) {
            double index = nextIndex + failed;
            const double stamped = stampedIndex(input);
            if ((failed > 0 && stamped >= nextIndex) || stamped > index + 1)
                index = stamped;
            frame.index = index;
            skipped += static_cast<long>(index - nextIndex);
            nextIndex = index + 1;
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
    const bool read = capture.open(path, startFrame, first, props);
    cursor.reset(startFrame + 1, props);
    return read;
}

const FrameSource::Frame* CaptureSource::next()
{
    return cursor.read(input, frame) ? &frame : nullptr;
}
