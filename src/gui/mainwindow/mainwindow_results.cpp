// The result list of the video on screen and its table.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::AddResult(Result result)
{
    Q_UNUSED(result);
}

void MainWindow::ClearResult() {}

void MainWindow::Add_Insect_detected(int frame, int x, int y, int in, int out)
{
    Q_UNUSED(frame);
    Q_UNUSED(x);
    Q_UNUSED(y);
    Q_UNUSED(in);
    Q_UNUSED(out);
}

void MainWindow::Result_Row_Changed(int irow)
{
    Q_UNUSED(irow);
}

void MainWindow::loadResults() {}
