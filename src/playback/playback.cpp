#include "playback.h"

#include "videostart.h"

#include <QDebug>
#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
constexpr double intMax = std::numeric_limits<int>::max();
constexpr int intervalWithoutRate = 40;
} // namespace

bool Playback::open(const QString& path, int startFrame)
{
    cv::Mat frame;
    VideoProperties next;
    const bool read = openVideoAt(capture, path, startFrame, frame, &next);
    opened = next.opened;
    if (!opened)
        return false;
    props = next;
    recordingStart = startTimeFromFileName(path);
    if (!read)
        return false;
    frame.copyTo(current);
    pos = startFrame;
    return true;
}

void Playback::close()
{
    if (opened)
        capture.release();
    opened = false;
}

int Playback::interval() const
{
    const double fps = props.fps;
    if (!(fps > 0) || !std::isfinite(fps))
        return intervalWithoutRate;
    return static_cast<int>(std::min(500.0 / fps, intMax));
}

void Playback::togglePlay()
{
    currentMode = currentMode == Play ? Pause : Play;
}

void Playback::seek(double position)
{
    currentMode = Seek;
    pos = position;
}

// The decoder is positioned at once, so that the next tick's read gives that frame.
bool Playback::showFrameAt(double index)
{
    if (!(index >= 0 && index <= intMax))
        return false;
    pos = index;
    try {
        capture.set(cv::CAP_PROP_POS_FRAMES, index);
    } catch (const cv::Exception& e) {
        qWarning() << "Cannot seek to frame" << index << e.what();
    }
    currentMode = ShowOne;
    return true;
}

// A frame read into `buffer` replaces the current frame; after a failed read it stays.
bool Playback::keep(bool read)
{
    if (read)
        buffer.copyTo(current);
    return read;
}

// False only when the decoder failed with an error; positions past the end are left to the read.
bool Playback::readAt(double index)
{
    try {
        capture.set(cv::CAP_PROP_POS_FRAMES, index);
    } catch (const cv::Exception& e) {
        qWarning() << "Cannot seek to frame" << index << e.what();
        return false;
    }
    return readFrame(capture, buffer);
}

// The position follows only when the frame could be read.
void Playback::jumpTo(double target)
{
    if (keep(readAt(target)))
        pos = target;
}

bool Playback::playTick()
{
    if (!(usableFrames() > pos))
        return false;
    if (keep(readFrame(capture, buffer)))
        pos += 1;
    return true;
}

bool Playback::tick()
{
    const double usable = usableFrames();
    switch (currentMode) {
    case Pause:
        return false;
    case Play:
        return playTick();
    case Seek:
        if (pos >= 0 && pos < usable - 1)
            keep(readAt(pos));
        break;
    case StepForward:
        if (usable > pos && keep(readFrame(capture, buffer)))
            pos += 1;
        break;
    case FastForward:
        if (usable > pos + JumpFrames)
            jumpTo(pos + JumpFrames);
        break;
    case StepBackward:
        if (pos >= 1)
            jumpTo(pos - 1);
        break;
    case FastBackward:
        if (pos >= JumpFrames)
            jumpTo(pos - JumpFrames);
        break;
    case ShowOne:
        keep(readFrame(capture, buffer));
        break;
    }
    currentMode = Pause;
    return true;
}

bool Playback::readNext(cv::Mat& frame)
{
    if (!readFrame(capture, frame))
        return false;
    frame.copyTo(current);
    return true;
}
