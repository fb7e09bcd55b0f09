// The analysis run: "Process"/"Cancel" and the NextFile and Analyse blocks of the frame loop.
// The analysis itself lives in AnalysisRun; the window only shows what it produces.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "analysisrun.h"
#include "imagewindow.h"
#include "insectdetect.h"
#include "vorldensity.h"

void MainWindow::createAnalysisObjects()
{
    insectDetect = std::make_unique<InsectDetect>();
    connect(insectDetect.get(), &InsectDetect::Add_Insect_detected, this,
            &MainWindow::Add_Insect_detected);
    vorlDensity = std::make_unique<VorlDensity>();
}

void MainWindow::algo() {}

void MainWindow::nextFileTick() {}

void MainWindow::analyseTick() {}

void MainWindow::startNextQueuedVideo() {}

void MainWindow::finishRun() {}

void MainWindow::showDensity() {}

void MainWindow::showRunProgress() {}
