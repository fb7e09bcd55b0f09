// The result list of the video on screen and its table.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "csvfile.h"
#include "tableviewresult.h"

#include <QDebug>
#include <limits>

namespace
{
// The list takes entries while it holds at most this many, so it never exceeds one more.
constexpr int ResultListLimit = 2000;
} // namespace

// Callers that append many results refresh the table once at the end.
void MainWindow::AddResult(Result result)
{
    if (results.size() > ResultListLimit)
        return;
    results.append(result);
}

void MainWindow::ClearResult()
{
    results.clear();
    tableViewResult->ShowResults(results);
}

void MainWindow::Add_Insect_detected(int frame, int x, int y, int in, int out)
{
    results.append(Result{static_cast<double>(frame), x, y, in, out, {}});
    tableViewResult->ShowResults(results);
}

// The next tick reads the frame at the event's position and pauses there. Ignored during an
// analysis run, whose frame loop owns the decoder and the play mode, and for a frame number that
// no frame can have (a result file edited by hand: negative, beyond int, not a number), which
// the decoder could not be positioned at.
void MainWindow::Result_Row_Changed(int irow)
{
    if (irow < 0 || irow >= results.size())
        return;
    if (playMode == Analyse)
        return;
    const double frame = results.at(irow).frame;
    if (!(frame >= 0 && frame <= std::numeric_limits<int>::max()))
        return;
    framePos = frame;
    seekTo(framePos);
    playMode = ShowOne;
}

// False only when the decoder failed with an error; positions past the end are left to the read.
bool MainWindow::seekTo(double position)
{
    try {
        capture.set(cv::CAP_PROP_POS_FRAMES, position);
        return true;
    } catch (const cv::Exception& e) {
        qWarning() << "Cannot seek in" << currentFile << e.what();
        return false;
    }
}

// A missing or unreadable result file leaves the list empty. Reading stops once the list is
// full, since further records would be ignored anyway.
void MainWindow::loadResults()
{
    results.clear();
    CsvFile csv;
    csv.open(currentFile, CsvMode::Read);
    Result r;
    while (results.size() <= ResultListLimit &&
           csv.readResult(r.frame, r.x, r.y, r.in, r.out, r.timestamp) == 1)
        AddResult(r);
    csv.close();
    tableViewResult->ShowResults(results);
}
