// Region editing: the mouse on the video and the buttons of the three region groups.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::sendMousePressVideo(QMouseEvent* e)
{
    Q_UNUSED(e);
}

void MainWindow::sendMouseBClickVideo(QMouseEvent* e)
{
    Q_UNUSED(e);
}

void MainWindow::sendMouseMoveVideo(QMouseEvent* e)
{
    Q_UNUSED(e);
}

void MainWindow::cleararea() {}

void MainWindow::savearea() {}

void MainWindow::cancelarea() {}

void MainWindow::clearmask() {}

void MainWindow::savemask() {}

void MainWindow::cancelmask() {}

void MainWindow::on_pb_movebox_clicked() {}

void MainWindow::on_pb_savebox_clicked() {}

void MainWindow::on_pb_cancelbox_clicked() {}
