// Video source and playback: opening and closing videos, the user-interface states, the
// transport slots and the tick of the frame loop.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "areacontour.h"
#include "imagegraphicsview.h"
#include "tableviewfile.h"
#include "videoinput.h"
#include "videostart.h"

#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
constexpr double intMax = std::numeric_limits<int>::max();
constexpr double intMin = std::numeric_limits<int>::min();

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// Frame counts come from the container and positions from the slider or a result file, so they
// may be anything; the slider takes them truncated and held within its int range.
int sliderPosition(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(value, intMin, intMax));
}
} // namespace

// Half a frame period, so playback can keep up with twice the recorded rate; 40 ms when the
// container reports no usable frame rate.
int MainWindow::playbackInterval() const
{
    if (!(fps > 0) || !std::isfinite(fps))
        return 40;
    return static_cast<int>(std::min(500.0 / fps, intMax));
}

void MainWindow::File_Row_Changed(int ifile)
{
    if (playMode == Analyse || playMode == NextFile)
        return;
    const QString path = tableViewFile->pathAt(ifile);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    cancelRegionEdit();
    currentFile = path;
    ModeVideo(NoVideo);
    ModeVideo(VideoReady);
}

void MainWindow::closeVideo()
{
    view->clear();
    if (videoOpen) {
        capture.release();
        videoOpen = false;
    }
}

bool MainWindow::readFrameAt(double position, cv::Mat& frame)
{
    return seekTo(position) && readFrame(capture, frame);
}

// A decoder that opens but cannot read the start frame still counts as open, with the
// properties and start time of its file in place.
bool MainWindow::openVideo(int startFrame)
{
    cv::Mat frame;
    VideoProperties props;
    const bool read = openVideoAt(capture, currentFile, startFrame, frame, &props);
    if (!props.opened)
        return false;
    videoOpen = true;

    // During a run every queued video is analysed with the regions in force at its start.
    if (playMode != NextFile) {
        loadRegionFiles();
    }
    frameHeight = props.frameHeight;
    frameWidth = props.frameWidth;
    fps = props.fps;
    frameCount = props.containerFrames - 5;
    startTime = startTimeFromFileName(currentFile);
    displayGeometry.setDisplayGeometry(frameWidth, frameHeight);
    zoom = false;

    if (!read)
        return false;
    frame.copyTo(currentFrame);
    framePos = startFrame;
    showWithRegions(currentFrame);
    editMode = Idle;
    return true;
}

void MainWindow::showFrame(const cv::Mat& frame)
{
    view->showImage(frame, zoom, zoomCentre.x, zoomCentre.y, saveImage, saveImageFile);
}

// Overlays go on a copy: currentFrame always holds the frame as read.
void MainWindow::showWithRegions(const cv::Mat& frame)
{
    frame.copyTo(overlayFrame);
    if (!overlayFrame.empty())
        regions->draw(overlayFrame);
    showFrame(overlayFrame);
}

void MainWindow::play_pause_video()
{
    timer->start(playbackInterval());
    if (ui->pb_play_pause->text() != QLatin1String("Play")) {
        playMode = Pause;
        ui->pb_play_pause->setText(QStringLiteral("Play"));
    } else {
        playMode = Play;
        ui->pb_play_pause->setText(QStringLiteral("Pause"));
    }
}

void MainWindow::slow_forward()
{
    playMode = StepForward;
}

void MainWindow::fast_forward()
{
    playMode = FastForward;
}

void MainWindow::slow_reverse()
{
    playMode = StepBackward;
}

void MainWindow::fast_reverse()
{
    playMode = FastBackward;
}

void MainWindow::hs_frame_moved(int iPos)
{
    playMode = Seek;
    framePos = iPos;
}

void MainWindow::pauseAfterStep()
{
    playMode = Pause;
    ui->pb_play_pause->setText(QStringLiteral("Play"));
}

// A frame read into readBuffer replaces currentFrame; after a failed read currentFrame stays.
bool MainWindow::keepFrame(bool read)
{
    if (read)
        readBuffer.copyTo(currentFrame);
    return read;
}

// Moves to `target` by seeking; framePos follows only when the frame could be read.
void MainWindow::jumpTo(double target)
{
    if (keepFrame(readFrameAt(target, readBuffer)))
        framePos = target;
}

void MainWindow::seekTick()
{
    if (framePos >= 0 && framePos < frameCount - 1)
        keepFrame(readFrameAt(framePos, readBuffer));
    pauseAfterStep();
}

void MainWindow::stepForwardTick()
{
    if (frameCount > framePos && keepFrame(readFrame(capture, readBuffer)))
        framePos += 1;
    pauseAfterStep();
}

void MainWindow::fastForwardTick()
{
    if (frameCount > framePos + 10)
        jumpTo(framePos + 10);
    pauseAfterStep();
}

void MainWindow::stepBackwardTick()
{
    if (framePos >= 1)
        jumpTo(framePos - 1);
    pauseAfterStep();
}

void MainWindow::fastBackwardTick()
{
    if (framePos >= 10)
        jumpTo(framePos - 10);
    pauseAfterStep();
}

void MainWindow::showOneTick()
{
    keepFrame(readFrame(capture, readBuffer));
    pauseAfterStep();
}

void MainWindow::playTick()
{
    if (!(frameCount > framePos))
        return;
    if (keepFrame(readFrame(capture, readBuffer))) {
        framePos += 1;
        ui->hs_frame->setValue(sliderPosition(framePos));
    }
    showWithRegions(currentFrame);
}

// The blocks are tested in a fixed order and each may change playMode, so a step ends in the
// Pause block of the same tick and a video started by NextFile is analysed at once.
void MainWindow::timeframe()
{
    if (playMode == Seek)
        seekTick();
    if (playMode == StepForward)
        stepForwardTick();
    if (playMode == FastForward)
        fastForwardTick();
    if (playMode == StepBackward)
        stepBackwardTick();
    if (playMode == FastBackward)
        fastBackwardTick();
    if (playMode == ShowOne)
        showOneTick();
    if (playMode == NextFile)
        nextFileTick();
    if (playMode == Play)
        playTick();
    else if (playMode == Pause)
        showWithRegions(currentFrame);
    else if (playMode == Analyse)
        analyseTick();
    ui->la_Num_Frame->setText(number(framePos));
    ui->hs_frame->setValue(sliderPosition(framePos));
}

void MainWindow::setControlsEnabled(std::initializer_list<QWidget*> controls, bool on)
{
    for (QWidget* control : controls)
        control->setEnabled(on);
}

void MainWindow::setTransportEnabled(bool on)
{
    setControlsEnabled({ui->pb_play_pause, ui->pb_fast_forward, ui->pb_slow_forward,
                        ui->pb_fast_reverse, ui->pb_slow_reverse, ui->hs_frame},
                       on);
}

void MainWindow::setRegionButtonsEnabled(bool on)
{
    setControlsEnabled({ui->pb_clearmask, ui->pb_savemask, ui->pb_cancelmask, ui->pb_cleararea,
                        ui->pb_savearea, ui->pb_cancelarea},
                       on);
}

void MainWindow::setShiftButtonsEnabled(bool on)
{
    setControlsEnabled({ui->pb_movebox, ui->pb_savebox, ui->pb_cancelbox}, on);
}

void MainWindow::setFileControlsEnabled(bool on)
{
    setControlsEnabled({ui->tv_file, ui->pb_videofile, ui->pb_Import}, on);
}

void MainWindow::showVideoProperties()
{
    ui->hs_frame->setMaximum(sliderPosition(frameCount));
    ui->hs_frame->setMinimum(0);
    ui->hs_frame->setValue(sliderPosition(framePos));
    ui->la_height->setText(QString::number(frameHeight));
    ui->la_width->setText(QString::number(frameWidth));
    ui->la_fps->setText(number(fps));
    ui->la_frame->setText(number(frameCount));
    ui->la_Num_Frame->setText(number(framePos));
    ui->la_file_selected->setText(currentFile);
}

void MainWindow::applyFinishedState()
{
    const bool withRegions = tableViewFile->hasRegions(currentFile);
    setTransportEnabled(true);
    setRegionButtonsEnabled(true);
    setShiftButtonsEnabled(true);
    ui->cb_process_conf->setEnabled(withRegions);
    ui->pb_algo->setEnabled(withRegions);
    ui->tv_result->setEnabled(true);
    setFileControlsEnabled(true);
    ui->pb_algo->setText(QStringLiteral("Process"));
    playMode = Pause;
}

void MainWindow::enterNoVideo()
{
    cancelRegionEdit();
    closeVideo();
    setTransportEnabled(false);
    ui->la_height->clear();
    ui->la_width->clear();
    ui->la_fps->clear();
    ui->la_frame->clear();
    setRegionButtonsEnabled(false);
    ui->cb_process_conf->setEnabled(false);
    ui->pb_algo->setEnabled(false);
    ui->tv_result->setEnabled(false);
    editMode = NoEdit;
    ui->la_mouse->clear();
    ui->la_file_selected->clear();
    ClearResult();
}

// Without region files the run controls keep their state, the shift buttons are disabled.
void MainWindow::enterVideoReady()
{
    if (!openVideo(90))
        return;
    showVideoProperties();
    ui->tv_result->setEnabled(true);
    ClearResult();
    loadResults();
    pauseAfterStep();
    const bool withRegions = tableViewFile->hasRegions(currentFile);
    setTransportEnabled(true);
    setRegionButtonsEnabled(true);
    setShiftButtonsEnabled(withRegions);
    if (withRegions) {
        ui->cb_process_conf->setEnabled(true);
        ui->pb_algo->setEnabled(true);
    }
    timer->start(playbackInterval());
}

// Only "Cancel" stays available while a video is analysed. False when the video could not be
// opened or its start frame not read; the controls are then left as they were.
bool MainWindow::enterProcessing()
{
    closeVideo();
    if (!openVideo(90))
        return false;
    setTransportEnabled(false);
    setRegionButtonsEnabled(false);
    setShiftButtonsEnabled(false);
    ui->cb_process_conf->setEnabled(false);
    ui->pb_algo->setEnabled(true);
    ui->tv_result->setEnabled(false);
    setFileControlsEnabled(false);
    return true;
}

void MainWindow::ModeVideo(statemode mode)
{
    switch (mode) {
    case NoVideo:
        enterNoVideo();
        break;
    case VideoReady:
        enterVideoReady();
        break;
    case Processing:
        enterProcessing();
        break;
    case ProcessingDone:
        closeVideo();
        applyFinishedState();
        break;
    case ProcessingCancelled:
        applyFinishedState();
        break;
    }
}
