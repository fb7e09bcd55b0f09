// Video source and playback: opening and closing videos, the user-interface states, the
// transport slots and the tick of the frame loop.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "areacontour.h"
#include "imagegraphicsview.h"
#include "saveimagecontrol.h"
#include "tableviewfile.h"

#include <QFileInfo>
#include <QStatusBar>
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

void MainWindow::File_Row_Changed(int ifile)
{
    if (running())
        return;
    const QString path = tableViewFile->pathAt(ifile);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    ModeVideo(NoVideo);
    currentFile = path;
    const bool opened = openVideo();
    showReadyVideo(opened);
    if (opened)
        return;
    // Nothing of a video that cannot be shown stays: no frame, no regions, no file to write.
    closeVideo();
    editor.forget();
    currentFile.clear();
    statusBar()->showMessage(tr("%1 cannot be opened as a video.").arg(QFileInfo(path).fileName()));
}

void MainWindow::closeVideo()
{
    view->clear();
    player.close();
}

cv::Size MainWindow::frameSize() const
{
    const VideoProperties& props = player.properties();
    return {props.frameWidth, props.frameHeight};
}

// A decoder that opens but cannot read the start frame still counts as open, with the
// properties and start time of its file in place.
bool MainWindow::openVideo()
{
    return showOpenedVideo(player.open(currentFile));
}

// The video just opened in `player`, whose start frame could be read or not.
bool MainWindow::showOpenedVideo(bool read)
{
    if (!player.isOpen())
        return false;

    // During a run every queued video is analysed with the regions in force at its start.
    if (!running()) {
        loadRegionFiles();
    }
    viewState.setFrameSize(frameSize().width, frameSize().height);

    if (!read)
        return false;
    showWithRegions(player.frame());
    editor.setMode(RegionEditor::Idle);
    return true;
}

void MainWindow::showFrame(const cv::Mat& frame)
{
    view->showImage(frame, viewState.zoom());
    savePicture();
}

void MainWindow::savePicture()
{
    saveImage->pictureShown(view->shownImage());
}

// Overlays go on a copy: the playback's frame always stays as read.
void MainWindow::showWithRegions(const cv::Mat& frame)
{
    frame.copyTo(overlayFrame);
    if (!overlayFrame.empty())
        editor.regions().draw(overlayFrame);
    showFrame(overlayFrame);
}

void MainWindow::showPlayCaption()
{
    ui->pb_play_pause->setText(player.mode() == Playback::Play ? QStringLiteral("Pause")
                                                               : QStringLiteral("Play"));
}

void MainWindow::play_pause_video()
{
    timer->start(player.interval());
    player.togglePlay();
    showPlayCaption();
}

void MainWindow::requestMove(Playback::Mode move)
{
    player.request(move);
    wakeTicks();
}

// A paused video stops the tick (nothing changes on screen); every request starts it again.
// During a run the tick belongs to the run.
void MainWindow::wakeTicks()
{
    if (!running() && player.isOpen() && !timer->isActive())
        timer->start(player.interval());
}

// The regions or the zoom changed: the frame held is shown again with them.
void MainWindow::redraw()
{
    if (!running() && player.isOpen())
        showWithRegions(player.frame());
}

void MainWindow::slow_forward()
{
    requestMove(Playback::StepForward);
}

void MainWindow::fast_forward()
{
    requestMove(Playback::FastForward);
}

void MainWindow::slow_reverse()
{
    requestMove(Playback::StepBackward);
}

void MainWindow::fast_reverse()
{
    requestMove(Playback::FastBackward);
}

void MainWindow::hs_frame_moved(int iPos)
{
    player.seek(iPos);
    wakeTicks();
}

void MainWindow::pauseAfterStep()
{
    player.pause();
    showPlayCaption();
}

// During a run the frame last analysed; the playback stays at the start of the video.
void MainWindow::showPosition()
{
    const double position = running() ? runFrame : player.position();
    ui->la_Num_Frame->setText(number(position));
    ui->hs_frame->setValue(sliderPosition(position));
}

// During a run a tick is one step of it. Without a run the playback carries out the pending
// move and a new frame is shown with the regions; once paused the tick stops until the next
// request, so that a paused video costs no processor time.
void MainWindow::timeframe()
{
    if (runStep == Analyse) {
        analyseTick();
    } else if (!running()) {
        if (player.tick() && player.isOpen())
            showWithRegions(player.frame());
        showPlayCaption();
        if (player.mode() == Playback::Pause)
            timer->stop();
    }
    if (running() || player.isOpen())
        showPosition();
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
    ui->hs_frame->setMaximum(sliderPosition(player.usableFrames()));
    ui->hs_frame->setMinimum(0);
    showPosition();
    ui->la_height->setText(QString::number(frameSize().height));
    ui->la_width->setText(QString::number(frameSize().width));
    ui->la_fps->setText(number(player.properties().fps));
    ui->la_frame->setText(number(player.usableFrames()));
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
    runStep = NoRun;
    player.pause();
    showProcessHint();
    reloadActivity();
}

// Whatever was being edited, shifted or drawn is dropped unsaved, and the previous video's frame,
// regions and message leave the screen: with no video shown, nothing may write region files.
void MainWindow::enterNoVideo()
{
    cancelRegionEdit();
    closeVideo();
    editor.forget();
    currentFile.clear();
    statusBar()->clearMessage();
    setShiftButtonsEnabled(false);
    setTransportEnabled(false);
    ui->la_height->clear();
    ui->la_width->clear();
    ui->la_fps->clear();
    ui->la_frame->clear();
    ui->la_Num_Frame->clear();
    ui->hs_frame->setValue(0);
    setRegionButtonsEnabled(false);
    ui->cb_process_conf->setEnabled(false);
    ui->pb_algo->setEnabled(false);
    ui->tv_result->setEnabled(false);
    ui->la_mouse->clear();
    ui->la_file_selected->clear();
    ClearResult();
    showProcessHint();
}

void MainWindow::enterVideoReady()
{
    showReadyVideo(openVideo());
}

// Without region files the run controls keep their state, the shift buttons are disabled.
void MainWindow::showReadyVideo(bool opened)
{
    if (!opened)
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
    showProcessHint();
    timer->start(player.interval());
}

// Only "Cancel" stays available while a video is analysed. False when the video could not be
// opened or its start frame not read; the controls are then left as they were.
bool MainWindow::enterProcessing()
{
    closeVideo();
    if (!openVideo())
        return false;
    setProcessingControls();
    return true;
}

void MainWindow::setProcessingControls()
{
    setTransportEnabled(false);
    setRegionButtonsEnabled(false);
    setShiftButtonsEnabled(false);
    ui->cb_process_conf->setEnabled(false);
    ui->pb_algo->setEnabled(true);
    ui->tv_result->setEnabled(false);
    setFileControlsEnabled(false);
    showProcessHint();
}

// A greyed "Process" says in its tooltip what it is waiting for.
void MainWindow::showProcessHint()
{
    QString hint;
    if (running())
        hint = tr("Stop the analysis: the video being analysed keeps only its partial result");
    else if (currentFile.isEmpty() || !player.isOpen())
        hint = tr("Select a video in the list first");
    else if (!tableViewFile->hasRegions(currentFile))
        hint = tr("This video has no mask and counting area yet: draw them with \"Tracking box\" "
                  "and \"Counting box\" (Start, then Save)");
    else
        hint = tr("Analyse the videos chosen above");
    ui->pb_algo->setToolTip(hint);
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
