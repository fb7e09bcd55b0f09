// The analysis run: "Process"/"Cancel" and the refresh of the window during a run. The run itself
// lives in RunController, which BackgroundRun steps on a thread of its own; the window refreshes
// at the display rate and shows only what it hands over: the latest analysed frame with its
// overlay, the result table, the density window, the controls and the status bar.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "analysisrun.h"
#include "areacontour.h"
#include "backgroundrun.h"
#include "countingmodebox.h"
#include "framereader.h"
#include "imagegraphicsview.h"
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
#include <chrono>

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
    analysisRun =
        std::make_unique<AnalysisRun>(tracker, *insectDetect, editor.regions(), *vorlDensity);
    frameSource = std::make_unique<FrameReader>();
    runController = std::make_unique<RunController>(*analysisRun, *frameSource);
    backgroundRun = std::make_unique<BackgroundRun>(*runController, *analysisRun, editor.regions());
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
    if (!agreesToReplace(queue))
        return;
    const QString refused = runController->start(queue, player.frame().size(), countingBox->mode());
    if (!refused.isEmpty()) {
        statusBar()->showMessage(tr("Analysis not started: %1").arg(refused));
        return;
    }
    ClearResult();
    ui->tv_result->setEnabled(false);
    fileBeforeBatch = currentFile;
    runStep = Analyse;
    // The regions belong to the run until it ends: nothing may edit them in between.
    editor.setMode(RegionEditor::Idle);
    setProcessingControls();
    backgroundRun->setDisplay(runDisplay());
    backgroundRun->start(fileBeforeBatch);
    timer->stop();
    timer->start(std::chrono::duration_cast<std::chrono::milliseconds>(DisplayPacing::Interval));
    ui->pb_algo->setText(QStringLiteral("Cancel"));
}

// The run stops after the frame being analysed; that video ends as interrupted, keeping only its
// .part file. The run then finishes as usual, with no second Cancel possible in between.
void MainWindow::cancelRun()
{
    backgroundRun->cancel();
    ui->pb_algo->setEnabled(false);
    statusBar()->showMessage(tr("Cancelling the analysis of %1").arg(fileName(currentFile)));
}

void MainWindow::analyseTick()
{
    if (!refreshRun())
        return;
    backgroundRun->wait();
    if (runController->stopWasRequested())
        finishCancelledRun();
    else
        finishRun();
}

// The video of the run stays on screen, paused at the last analysed frame, which the worker has
// opened already.
void MainWindow::finishCancelledRun()
{
    ModeVideo(ProcessingCancelled);
    std::swap(player, backgroundRun->returned());
    if (backgroundRun->returnedRead())
        showWithRegions(player.frame());
    showPosition();
    loadResults(); // what the result file holds, not the interrupted run's events
    statusBar()->showMessage(tr("Analysis cancelled in %1").arg(fileName(currentFile)));
}

// Everything the run handed over since the last refresh, in order; then the latest picture.
// True once the run has finished.
bool MainWindow::refreshRun()
{
    backgroundRun->take(runUpdate);
    bool tableChanged = false;
    for (const BackgroundRun::Note& note : runUpdate.notes) {
        switch (note.kind) {
        case BackgroundRun::Note::VideoStarted:
            showRunVideo(note.progress, note.props);
            tableChanged = false; // emptied and shown
            break;
        case BackgroundRun::Note::FrameEvents:
            tableChanged = resultList.addFrameEvents(note.events) || tableChanged;
            break;
        case BackgroundRun::Note::VideoEnded:
            reportVideoEnd(note.outcome);
            break;
        }
    }
    if (tableChanged)
        tableViewResult->appendResults(resultList.all());
    if (runUpdate.newPicture)
        showRunPicture();
    backgroundRun->setDisplay(runDisplay());
    if (!runUpdate.progress.path.isEmpty()) {
        runFrame = runUpdate.progress.frame;
        showRunProgress(runUpdate.progress);
    }
    return runUpdate.finished;
}

// The window returns to the video it showed before the run, which the worker has opened already.
void MainWindow::finishRun()
{
    ModeVideo(ProcessingDone);
    ui->tv_result->setEnabled(true);
    currentFile = fileBeforeBatch;
    std::swap(player, backgroundRun->returned());
    pauseAfterStep();
    showReadyVideo(showOpenedVideo(backgroundRun->returnedRead()));
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

// The window shows the video the run has started on, with the run's regions; its picture comes
// from the run.
void MainWindow::showRunVideo(const RunProgress& progress, const VideoProperties& props)
{
    currentFile = progress.path;
    runFrame = progress.frame;
    player.close();
    viewState.setFrameSize(props.frameWidth, props.frameHeight);
    setProcessingControls();
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

// What the worker renders next: the view's zoom, and the density map when it is to be shown,
// fitted to the screen of its window.
BackgroundRun::Display MainWindow::runDisplay()
{
    BackgroundRun::Display display;
    display.zoom = viewState.zoom();
    display.density = ui->cb_vorlview->isChecked();
    if (display.density) {
        if (!vorlWindow)
            vorlWindow = std::make_unique<ImageWindow>(this, tr("Vorl Instect"));
        const QSize area = vorlWindow->availableArea();
        display.densityArea = cv::Size(area.width(), area.height());
    }
    return display;
}

void MainWindow::showRunPicture()
{
    view->showPicture(runUpdate.picture);
    savePicture();
    if (!runUpdate.density.empty())
        showDensity(runUpdate.density, runUpdate.densityFrame);
}

// The pixmap copies the pixels, so the run's buffer can go back to the worker.
void MainWindow::showDensity(const cv::Mat& bgra, cv::Size original)
{
    vorlWindow->showFitted(
        QImage(bgra.data, bgra.cols, bgra.rows, static_cast<int>(bgra.step), QImage::Format_RGB32),
        QSize(original.width, original.height));
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
