#pragma once

#include "videocapture.h"
#include "videofiles.h"

#include <QDateTime>
#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

// The video on screen and how the transport moves through it, without any widget. The transport
// only records what to do; tick() carries it out, so the window's timer and a test drive
// playback the same way.
//
//   Playback playback;
//   if (!playback.open(path)) ...            // at frame 90, which frame() holds
//   playback.request(Playback::FastForward);
//   playback.tick();                         // at frame 100, paused
//   show(playback.frame()); label(playback.position());
class Playback
{
public:
    enum Mode { Pause, Play, StepForward, FastForward, StepBackward, FastBackward, Seek, ShowOne };

    // The last frames a container announces are often missing; playback never reaches them.
    static constexpr int FrameCountMargin = 5;
    // How far ">>" and "<<" move.
    static constexpr int JumpFrames = 10;

    // Opens `path` and reads its frame `start`. False when the file cannot be opened or that
    // frame cannot be read; when the decoder opened, isOpen() and properties() already describe
    // the new file. A file that does not open leaves the previous properties and frame.
    bool open(const QString& path, int start = VideoFiles::firstAnalysedFrame);
    void close();
    bool isOpen() const { return opened; }

    const VideoProperties& properties() const { return props; }
    // The recording start read from the file name of the video last opened.
    const QDateTime& startTime() const { return recordingStart; }
    // Frames that playing and stepping may reach: the container's count less the margin.
    double usableFrames() const { return props.containerFrames - FrameCountMargin; }
    // Index of the frame that frame() holds (or that the slider asked for).
    double position() const { return pos; }
    // The last frame read, without overlays.
    const cv::Mat& frame() const { return current; }
    Mode mode() const { return currentMode; }

    // Half a frame period in milliseconds, so that playing can keep up with twice the recorded
    // rate; 40 when the container reports no usable rate.
    int interval() const;

    // "Play"/"Pause": playing pauses, anything else plays.
    void togglePlay();
    void pause() { currentMode = Pause; }
    // A step or a jump, carried out by the next tick.
    void request(Mode mode) { currentMode = mode; }
    // The slider: the position is taken at once, the frame is read by the next tick when it is
    // one that can be sought.
    void seek(double position);
    // An event of the result table: the next tick shows frame `index`. False, changing nothing,
    // for a number no frame can have (negative, beyond int, not a number).
    bool showFrameAt(double index);

    // Carries out the pending move; a step, jump or seek ends paused. A failed read leaves the
    // frame and the position as they were. False when nothing new is to be shown: paused, or
    // playing at the usable end.
    bool tick();

    // For an analysis that reads on from the position: the next frame into `frame`, also kept
    // as frame(); the position is advanced separately once the frame has been analysed.
    bool readNext(cv::Mat& frame);
    void advance() { pos += 1; }

private:
    bool keep(bool read);
    bool readAt(double index);
    void jumpTo(double target);
    bool playTick();

    cv::VideoCapture capture;
    VideoProperties props;
    QDateTime recordingStart;
    bool opened = false;
    double pos = 0;
    Mode currentMode = Pause;
    cv::Mat current;
    cv::Mat buffer; // reused between reads
};
