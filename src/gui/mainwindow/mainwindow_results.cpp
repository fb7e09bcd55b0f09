// The result list of the video on screen and its table.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "csvfile.h"
#include "resultrecord.h"
#include "tableviewresult.h"

#include <QFileInfo>
#include <QStatusBar>

// Callers that append many results refresh the table once at the end.
void MainWindow::AddResult(Result result)
{
    resultList.add(result);
}

void MainWindow::ClearResult()
{
    resultList.clear();
    tableViewResult->ShowResults(resultList.all());
}

// The next tick shows the frame at the event's position and pauses there. Ignored during an
// analysis run, whose frame loop owns the decoder, and for a frame number that no frame can have
// (a result file edited by hand).
void MainWindow::Result_Row_Changed(int irow)
{
    if (running() || !resultList.contains(irow))
        return;
    player.showFrameAt(resultList.at(irow).frame);
}

// A missing or unreadable result file leaves the list empty. Reading stops once the list is
// full, since further records would be ignored anyway.
void MainWindow::loadResults()
{
    resultList.clear();
    CsvFile csv;
    csv.open(currentFile, CsvMode::Read);
    Result r;
    while (!resultList.isFull() && csv.readResult(r.frame, r.x, r.y, r.in, r.out, r.timestamp) == 1)
        resultList.add(r);
    csv.close();
    tableViewResult->ShowResults(resultList.all());
    const QString made = ResultRecord::describeResult(currentFile);
    if (!made.isEmpty())
        statusBar()->showMessage(
            tr("Result of %1: %2").arg(QFileInfo(currentFile).fileName(), made));
}
