// The analysis run: "Process"/"Cancel" and the Analyse step of the frame loop. The run itself
// lives in RunController; the window advances it one step per tick and only shows what it
// reports: the overlay, the result table, the density window, the controls and the status bar.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "analysisrun.h"
#include "areacontour.h"
#include "countingmodebox.h"
#include "framereader.h"
#include "imagewindow.h"
#include "insectdetect.h"
#include "runcontroller.h"
#include "tableviewfile.h"
#include "tableviewresult.h"
#include "vorldensity.h"

#include <QDebug>
#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>
#include <opencv2/imgproc.hpp>

namespace
{
QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

// "a.mp4 (reason), b.mp4 (reason)" for the videos of the run that ended as `kind`.
QString namesWithReasons(const QVector<VideoOutcome>& outcomes, VideoOutcome::Kind kind)
{
    QStringList names;
    for (const VideoOutcome& o : outcomes) {
        if (o.kind == kind)
            names << QStringLiteral("%1 (%2)").arg(fileName(o.path), o.reason);
    }
    return names.join(QStringLiteral(", "));
}
} // namespace

void MainWindow::createAnalysisObjects()
{
    insectDetect = std::make_unique<InsectDetect>();
    connect(insectDetect.get(), &InsectDetect::Add_Insect_detected, this,
            &MainWindow::Add_Insect_detected);
    vorlDensity = std::make_unique<VorlDensity>();
    analysisRun = std::make_unique<AnalysisRun>(tracker, *insectDetect, *regions, *vorlDensity);
    frameSource = std::make_unique<FrameReader>();
    runController = std::make_unique<RunController>(*analysisRun, *frameSource);
    RunCallbacks& callbacks = runController->callbacks;
    callbacks.videoStarted = [this](const RunProgress& p, const VideoProperties&, const cv::Mat&) {
        showRunVideo(p);
    };
    callbacks.frameAnalysed = [this](const RunProgress& p, const cv::Mat& frame,
                                     const std::vector<Result>& events) {
        showAnalysedFrame(p, frame, events);
    };
    callbacks.videoEnded = [this](const VideoOutcome& o) { reportVideoEnd(o); };
}

void MainWindow::algo()
{
    if (running()) {
        cancelRun();
        return;
    }
    const QStringList queue =
        AnalysisRun::selectQueue(ui->cb_process_conf->currentIndex(), tableViewFile->paths(),
                                 tableViewFile->doneStatuses(), currentFile);
    const QString refused = runController->start(queue, player.frame().size(), countingBox->mode());
    if (!refused.isEmpty()) {
        statusBar()->showMessage(tr("Analysis not started: %1").arg(refused));
        return;
    }
    ClearResult();
    ui->tv_result->setEnabled(false);
    fileBeforeBatch = currentFile;
    runStep = Analyse;
    timer->stop();
    timer->start(1);
    ui->pb_algo->setText(QStringLiteral("Cancel"));
}

// The video being analysed ends as interrupted, keeping only its .part file, and stays on
// screen, paused at the last analysed frame.
void MainWindow::cancelRun()
{
    runController->requestStop();
    while (runController->step()) {
    }
    ModeVideo(ProcessingCancelled);
    if (player.open(currentFile, static_cast<int>(runFrame)))
        showWithRegions(player.frame());
    showPosition();
    statusBar()->showMessage(tr("Analysis cancelled in %1").arg(fileName(currentFile)));
}

void MainWindow::analyseTick()
{
    if (!runController->step())
        finishRun();
}

void MainWindow::finishRun()
{
    ModeVideo(ProcessingDone);
    ui->tv_result->setEnabled(true);
    currentFile = fileBeforeBatch;
    pauseAfterStep();
    ModeVideo(VideoReady);
    const QVector<VideoOutcome>& outcomes = runController->outcomes();
    QString message =
        tr("Analysis finished: %n video(s)", nullptr, runController->count(VideoOutcome::Analysed));
    const QString skipped = namesWithReasons(outcomes, VideoOutcome::Skipped);
    if (!skipped.isEmpty())
        message += tr("; skipped: %1").arg(skipped);
    const QString failed = namesWithReasons(outcomes, VideoOutcome::Failed);
    if (!failed.isEmpty())
        message += tr("; failed: %1").arg(failed);
    statusBar()->showMessage(message);
}

// The window shows the video the run has started on, at frame 90, with the run's regions.
void MainWindow::showRunVideo(const RunProgress& progress)
{
    currentFile = progress.path;
    runFrame = progress.frame;
    enterProcessing();
    ClearResult();
    showRunProgress(progress);
    tableViewFile->refresh();
}

// Skipped and failed videos are named with their reason; their files never look complete.
void MainWindow::reportVideoEnd(const VideoOutcome& outcome)
{
    const QString name = fileName(outcome.path);
    if (outcome.kind == VideoOutcome::Skipped) {
        qWarning() << "Skipped" << outcome.path << outcome.reason;
        statusBar()->showMessage(tr("Skipped %1: %2").arg(name, outcome.reason));
    } else if (outcome.kind == VideoOutcome::Failed) {
        qWarning() << "Failed" << outcome.path << outcome.reason;
        statusBar()->showMessage(tr("Failed %1: %2").arg(name, outcome.reason));
    }
    tableViewFile->refresh();
}

void MainWindow::showAnalysedFrame(const RunProgress& progress, const cv::Mat& frame,
                                   const std::vector<Result>& events)
{
    frame.copyTo(overlayFrame);
    QList<Target*> targets = analysisRun->trackedTargets();
    draw_targets(overlayFrame, targets);
    if (resultList.addFrameEvents(events))
        tableViewResult->ShowResults(resultList.all());
    regions->draw(overlayFrame);
    showFrame(overlayFrame);
    if (ui->cb_vorlview->isChecked())
        showDensity();
    runFrame = progress.frame;
    showRunProgress(progress);
}

void MainWindow::showDensity()
{
    if (!vorlWindow)
        vorlWindow = std::make_unique<ImageWindow>(this, tr("Vorl Instect"));
    const cv::Mat map = analysisRun->densitySnapshot();
    if (map.empty())
        return;
    cv::cvtColor(map, densityRgb, cv::COLOR_BGR2RGB);
    vorlWindow->showImage(QImage(densityRgb.data, densityRgb.cols, densityRgb.rows,
                                 static_cast<int>(densityRgb.step), QImage::Format_RGB888));
}

// Analysis reads until the decoder fails, so the progress is measured against the container's
// whole frame count, not the usable count of playback.
void MainWindow::showRunProgress(const RunProgress& progress)
{
    statusBar()->showMessage(tr("Analysing %1 of %2: %3, frame %4 of %5")
                                 .arg(progress.video)
                                 .arg(progress.videos)
                                 .arg(fileName(progress.path))
                                 .arg(progress.frame, 0, 'f', 0)
                                 .arg(progress.frameCount, 0, 'f', 0));
}
