// Region editing: the mouse on the video and the buttons of the three region groups.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "areacontour.h"
#include "tableviewfile.h"
#include "viewmapping.h"

#include <QGuiApplication>

namespace
{
// The cross-hair is an application-wide override cursor; it is replaced rather than stacked,
// so the arrow comes back with a single restore.
void useCrossCursor()
{
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(Qt::CrossCursor);
    else
        QGuiApplication::setOverrideCursor(Qt::CrossCursor);
}

void useArrowCursor()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}
} // namespace

cv::Point MainWindow::videoPosition(const QMouseEvent* e) const
{
    return ViewMapping::of(viewState).toVideo(e->localPos());
}

void MainWindow::sendMousePressVideo(QMouseEvent* e)
{
    editor.press(videoPosition(e));
    redraw();
}

void MainWindow::sendMouseMoveVideo(QMouseEvent* e)
{
    const cv::Point p = videoPosition(e);
    if (editor.mode() != RegionEditor::NoEdit)
        ui->la_mouse->setText(QStringLiteral("mouse x: %1 y:%2").arg(p.x).arg(p.y));
    else
        ui->la_mouse->clear();

    if (e->buttons() == Qt::LeftButton && editor.mode() == RegionEditor::ShiftBoth) {
        editor.drag(p, viewState.frameSize());
        redraw();
    }
}

void MainWindow::sendMouseBClickVideo(QMouseEvent* e)
{
    if (editor.doubleClick()) {
        redraw();
        return;
    }
    // A run's worker renders the pictures: it follows the zoom from its next picture on.
    viewState.toggleZoom(ViewMapping::of(viewState).toVideoUnzoomed(e->localPos()));
    if (running())
        runPictures->setView(runDisplay());
    redraw();
}

void MainWindow::cleararea()
{
    if (!showsVideo())
        return;
    editor.startArea();
    redraw();
    setControlsEnabled({ui->pb_clearmask, ui->pb_savemask, ui->pb_cancelmask, ui->pb_cleararea},
                       false);
    useCrossCursor();
}

void MainWindow::clearmask()
{
    if (!showsVideo())
        return;
    editor.startMask();
    redraw();
    setControlsEnabled({ui->pb_clearmask, ui->pb_cleararea, ui->pb_savearea, ui->pb_cancelarea,
                        ui->pb_movebox, ui->pb_savebox, ui->pb_cancelbox},
                       false);
    useCrossCursor();
}

void MainWindow::savearea()
{
    if (!showsVideo())
        return;
    editor.regions().set_state(AreaContour::None);
    const bool saved = editor.regions().save_area(currentFile);
    endPolygonEdit();
    refreshAfterSave(saved);
}

void MainWindow::savemask()
{
    if (!showsVideo())
        return;
    editor.regions().set_state(AreaContour::None);
    const bool saved = editor.regions().save_mask(currentFile);
    endPolygonEdit();
    refreshAfterSave(saved);
}

void MainWindow::cancelarea()
{
    editor.regions().set_state(AreaContour::None);
    editor.regions().load_area(currentFile);
    tellRegionLoad({editor.regions().load_problem()});
    endPolygonEdit();
}

void MainWindow::cancelmask()
{
    editor.regions().set_state(AreaContour::None);
    editor.regions().load_mask(currentFile);
    tellRegionLoad({editor.regions().load_problem()});
    endPolygonEdit();
}

void MainWindow::loadRegionFiles()
{
    editor.regions().set_state(
        AreaContour::None); // no preview of another video's polygons survives
    editor.regions().load_area(currentFile);
    const QString areaProblem = editor.regions().load_problem();
    editor.regions().load_mask(currentFile);
    tellRegionLoad({areaProblem, editor.regions().load_problem()});
}

// A refused or unreadable region file, or one with lines read as 0, is named in the status bar.
void MainWindow::tellRegionLoad(const QStringList& problems)
{
    QStringList told = problems;
    told.removeAll(QString());
    if (!told.isEmpty())
        statusBar()->showMessage(told.join(QStringLiteral("; ")));
}

// A drawing or a shift belongs to the video on screen: changing or closing the video ends it
// as its Cancel would, so nothing of it can be saved into another video's files.
void MainWindow::cancelRegionEdit()
{
    if (editor.mode() == RegionEditor::EditArea)
        cancelarea();
    else if (editor.mode() == RegionEditor::EditMask)
        cancelmask();
    else if (editor.mode() == RegionEditor::ShiftBoth)
        on_pb_cancelbox_clicked();
}

void MainWindow::endPolygonEdit()
{
    editor.setMode(RegionEditor::Idle);
    setRegionButtonsEnabled(true);
    setShiftButtonsEnabled(true);
    useArrowCursor();
    redraw();
}

// Region files are only ever written for the video on screen.
bool MainWindow::showsVideo() const
{
    return !running() && player.isOpen() && !currentFile.isEmpty();
}

void MainWindow::on_pb_movebox_clicked()
{
    if (!showsVideo())
        return;
    editor.setMode(RegionEditor::ShiftBoth);
    setRegionButtonsEnabled(false);
    ui->pb_movebox->setEnabled(false);
}

// Saved while the shift preview may still be shown, so the previews are what is written.
void MainWindow::on_pb_savebox_clicked()
{
    if (!showsVideo())
        return;
    const bool maskSaved = editor.regions().save_mask(currentFile);
    const bool areaSaved = editor.regions().save_area(currentFile);
    editor.regions().set_state(AreaContour::None);
    editor.setMode(RegionEditor::Idle);
    setRegionButtonsEnabled(true);
    ui->pb_movebox->setEnabled(true);
    refreshAfterSave(maskSaved && areaSaved);
    useArrowCursor();
    redraw();
}

void MainWindow::on_pb_cancelbox_clicked()
{
    editor.regions().set_state(AreaContour::None);
    editor.regions().load_mask(currentFile);
    editor.setMode(RegionEditor::Idle);
    setRegionButtonsEnabled(true);
    ui->pb_movebox->setEnabled(true);
    useArrowCursor();
    redraw();
}

// Listing the directory again reopens the video, which reloads the regions from their files.
// When a file could not be written that would throw away what the user drew, so the polygons
// stay in memory for another try and the failure is shown instead.
void MainWindow::refreshAfterSave(bool saved)
{
    if (!saved) {
        statusBar()->showMessage(
            tr("The region file of %1 could not be written.").arg(currentFile));
        return;
    }
    statusBar()->clearMessage();
    tableViewFile->refresh();
}
