// The analysis run: "Process"/"Cancel" and the refresh of the window during a run. The run itself
// is an AnalysisSession on a thread of its own, whose pictures RunPictures prepares; the window
// refreshes at the display rate and shows only what they hand over: the latest analysed frame
// with its overlay, the result table, the density window, the controls and the status bar.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "areacontour.h"
#include "countingmodebox.h"
#include "imagegraphicsview.h"
#include "imagewindow.h"
#include "tableviewfile.h"
#include "tableviewresult.h"
#include "videolisting.h"

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
    session = std::make_unique<AnalysisSession>(QStringLiteral("orvane"));
    runPictures = std::make_unique<RunPictures>(*session);
}

void MainWindow::algo()
{
    if (running()) {
        cancelRun();
        return;
    }
    const QStringList queue = AnalysisSession::select(
        static_cast<AnalysisSession::Selection>(ui->cb_process_conf->currentIndex()),
        listVideos(workingDirectory), currentFile);
    if (!agreesToReplace(queue))
        return;
    session->setRegions(editor.regions());
    const QString refused = session->start(queue, player.frame().size(), countingBox->mode());
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
    runPictures->setView(runDisplay());
    runPictures->start(fileBeforeBatch);
    timer->stop();
    timer->start(std::chrono::duration_cast<std::chrono::milliseconds>(DisplayPacing::Interval));
    ui->pb_algo->setText(QStringLiteral("Cancel"));
}

// The run stops after the frame being analysed; that video ends as interrupted, keeping only its
// .part file. The run then finishes as usual, with no second Cancel possible in between.
void MainWindow::cancelRun()
{
    session->cancel();
    ui->pb_algo->setEnabled(false);
    statusBar()->showMessage(tr("Cancelling the analysis of %1").arg(fileName(currentFile)));
}

void MainWindow::analyseTick()
{
    if (!refreshRun())
        return;
    session->wait();
    if (session->stopWasRequested())
        finishCancelledRun();
    else
        finishRun();
}

// The video of the run stays on screen, paused at the last analysed frame, which the worker has
// opened already.
void MainWindow::finishCancelledRun()
{
    ModeVideo(ProcessingCancelled);
    std::swap(player, runPictures->returned());
    if (runPictures->returnedRead())
        showWithRegions(player.frame());
    showPosition();
    loadResults(); // what the result file holds, not the interrupted run's events
    statusBar()->showMessage(tr("Analysis cancelled in %1").arg(fileName(currentFile)));
}

// Everything the run handed over since the last refresh, in order; then the latest picture.
// True once the run has finished.
bool MainWindow::refreshRun()
{
    // The picture first: the notes taken after it tell at least what it shows.
    runPictures->take(runPicture);
    session->take(runUpdate);
    bool tableChanged = false;
    for (const AnalysisSession::Note& note : runUpdate.notes) {
        switch (note.kind) {
        case AnalysisSession::Note::VideoStarted:
            showRunVideo(note.progress, note.props);
            tableChanged = false; // emptied and shown
            break;
        case AnalysisSession::Note::FrameEvents:
            tableChanged = resultList.addFrameEvents(note.events) || tableChanged;
            break;
        case AnalysisSession::Note::VideoEnded:
            reportVideoEnd(note.outcome);
            break;
        }
    }
    if (tableChanged)
        tableViewResult->appendResults(resultList.all());
    if (runPicture.newPicture)
        showRunPicture();
    runPictures->setView(runDisplay());
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
    std::swap(player, runPictures->returned());
    pauseAfterStep();
    showReadyVideo(showOpenedVideo(runPictures->returnedRead()));
    const QVector<VideoOutcome>& outcomes = session->outcomes();
    QString message =
        tr("Analysis finished: %n video(s)", nullptr, session->count(VideoOutcome::Analysed));
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
RunPictures::View MainWindow::runDisplay()
{
    RunPictures::View display;
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
    view->showPicture(runPicture.picture);
    savePicture();
    if (!runPicture.density.empty())
        showDensity(runPicture.density, runPicture.densityFrame);
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
