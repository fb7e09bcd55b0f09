// The analysis run: "Process"/"Cancel" and the NextFile and Analyse blocks of the frame loop.
// The analysis itself lives in AnalysisRun; the window only shows what it produces: the overlay,
// the result table, the density window, the controls and the progress in the status bar.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "analysisrun.h"
#include "areacontour.h"
#include "exportpath.h"
#include "imagewindow.h"
#include "insectdetect.h"
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
} // namespace

void MainWindow::createAnalysisObjects()
{
    insectDetect = std::make_unique<InsectDetect>();
    connect(insectDetect.get(), &InsectDetect::Add_Insect_detected, this,
            &MainWindow::Add_Insect_detected);
    vorlDensity = std::make_unique<VorlDensity>();
    analysisRun = std::make_unique<AnalysisRun>(tracker, *insectDetect, *regions, *vorlDensity);
}

void MainWindow::algo()
{
    if (ui->pb_algo->text() != QLatin1String("Process")) {
        ModeVideo(ProcessingCancelled);
        statusBar()->showMessage(tr("Analysis cancelled in %1").arg(fileName(currentFile)));
        return;
    }
    analysisRun->start(player.frame().size());
    ClearResult();
    ui->tv_result->setEnabled(false);
    fileBeforeBatch = currentFile;
    batchQueue =
        AnalysisRun::selectQueue(ui->cb_process_conf->currentIndex(), tableViewFile->paths(),
                                 tableViewFile->doneStatuses(), currentFile);
    batchTotal = batchQueue.size();
    skippedVideos.clear();
    runStep = NextFile;
    timer->stop();
    timer->start(1);
    ui->pb_algo->setText(QStringLiteral("Cancel"));
}

void MainWindow::nextFileTick()
{
    if (batchQueue.isEmpty())
        finishRun();
    else
        startNextQueuedVideo();
    tableViewFile->refresh();
}

void MainWindow::finishRun()
{
    ModeVideo(ProcessingDone);
    ui->tv_result->setEnabled(true);
    currentFile = fileBeforeBatch;
    pauseAfterStep();
    ModeVideo(VideoReady);
    QString message =
        tr("Analysis finished: %n video(s)", nullptr, batchTotal - skippedVideos.size());
    if (!skippedVideos.isEmpty())
        message += tr("; skipped: %1").arg(skippedVideos.join(QStringLiteral(", ")));
    statusBar()->showMessage(message);
}

// A video that cannot be read, whose frames do not fit the run's mask, or whose result file cannot
// be written is left out: no result file (it would mark the video as done) and no density files.
void MainWindow::skipVideo(const QString& reason)
{
    skippedVideos << tr("%1 (%2)").arg(fileName(currentFile), reason);
    qWarning() << "Skipped" << currentFile << reason;
    statusBar()->showMessage(tr("Skipped %1: %2").arg(fileName(currentFile), reason));
}

void MainWindow::startNextQueuedVideo()
{
    currentFile = batchQueue.takeFirst();
    if (!enterProcessing()) {
        skipVideo(player.isOpen() ? tr("frame 90 cannot be read")
                                  : tr("the video cannot be opened"));
        return;
    }
    if (!ExportPath::ensureFolder(currentFile)) {
        skipVideo(tr("cannot create the folder %1").arg(ExportPath::folder(currentFile)));
        return;
    }
    if (!analysisRun->beginVideo(currentFile, player.frame(), player.properties().fps,
                                 player.startTime())) {
        skipVideo(analysisRun->refusal());
        return;
    }
    if (!analysisRun->resultFileCreated()) {
        skipVideo(tr("cannot write the result file %1")
                      .arg(ExportPath::file(currentFile, QLatin1String(ExportPath::resultSuffix))));
        return;
    }
    ClearResult();
    runStep = Analyse;
    showRunProgress();
}

void MainWindow::analyseTick()
{
    cv::Mat& frame = overlayFrame;
    if (!player.readNext(frame)) {
        if (!analysisRun->endVideo())
            qWarning() << "Cannot write the density map of" << currentFile;
        runStep = NextFile;
        return;
    }

    const std::vector<Result> events = analysisRun->analyseFrame(frame, player.position());
    QList<Target*> targets = analysisRun->trackedTargets();
    draw_targets(frame, targets);
    if (resultList.addFrameEvents(events))
        tableViewResult->ShowResults(resultList.all());
    regions->draw(frame);
    showFrame(frame);
    if (ui->cb_vorlview->isChecked())
        showDensity();
    player.advance();
    showRunProgress();
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

// The video on screen is the one last taken from the queue. Analysis reads until the decoder
// fails, so the progress is measured against the container's whole frame count, not the usable
// count of playback.
void MainWindow::showRunProgress()
{
    statusBar()->showMessage(tr("Analysing %1 of %2: %3, frame %4 of %5")
                                 .arg(batchTotal - batchQueue.size())
                                 .arg(batchTotal)
                                 .arg(fileName(currentFile))
                                 .arg(player.position(), 0, 'f', 0)
                                 .arg(player.properties().containerFrames, 0, 'f', 0));
}
