#include "imagewindow.h"

#include <QCursor>
#include <QIcon>
#include <QMouseEvent>
#include <QPixmap>
#include <QToolTip>

ImageWindow::ImageWindow(QWidget* source, const QString& title)
    : QLabel(nullptr, source->windowFlags() | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowIcon(source->windowIcon());
    setWindowTitle(source->windowTitle() + QLatin1Char(' ') + title);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

void ImageWindow::showImage(QImage image)
{
    setPixmap(QPixmap::fromImage(image));
    show();
    if (!underMouse())
        return;
    const QPoint pos = mapFromGlobal(QCursor::pos());
    if (image.rect().contains(pos))
        emit mouseMoved(pos);
}

void ImageWindow::showToolTip(QPoint pos, QString text)
{
    QToolTip::showText(mapToGlobal(pos), text);
}

void ImageWindow::mouseMoveEvent(QMouseEvent* e)
{
    emit mouseMoved(e->localPos().toPoint());
    e->accept();
}
