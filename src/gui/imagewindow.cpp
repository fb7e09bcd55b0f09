#include "imagewindow.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QToolTip>

#include <cmath>

ImageWindow::ImageWindow(QWidget* source, const QString& title)
    : QLabel(nullptr, source->windowFlags() | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowIcon(source->windowIcon());
    setWindowTitle(source->windowTitle() + QLatin1Char(' ') + title);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

// The window frame is only known once the window is shown; until then the picture gets the
// whole available area. Empty without a screen: any size then fits.
QSize ImageWindow::availableArea() const
{
    const QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shownOn)
        return QSize();
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    return shownOn->availableGeometry().size() - frame;
}

QSize ImageWindow::fittedSize(QSize image) const
{
    const QSize available = availableArea();
    if (available.isEmpty() ||
        (image.width() <= available.width() && image.height() <= available.height()))
        return image;
    return image.scaled(available.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
}

// The picture pixel under the centre of the shown pixel.
QPoint ImageWindow::toImage(QPoint windowPos) const
{
    if (shownSize == imageSize || shownSize.isEmpty())
        return windowPos;
    const auto axis = [](int pos, int image, int shown) {
        return static_cast<int>(std::floor((pos + 0.5) * image / shown));
    };
    return QPoint(axis(windowPos.x(), imageSize.width(), shownSize.width()),
                  axis(windowPos.y(), imageSize.height(), shownSize.height()));
}

void ImageWindow::showImage(QImage image)
{
    const QSize shown = fittedSize(image.size());
    showFitted(shown == image.size()
                   ? image
                   : image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation),
               image.size());
}

void ImageWindow::showFitted(const QImage& shown, QSize original)
{
    imageSize = original;
    shownSize = shown.size();
    setPixmap(QPixmap::fromImage(shown));
    // Sized explicitly: a new top-level window would otherwise be cut to two thirds of the
    // screen.
    if (size() != shownSize)
        resize(shownSize);
    show();
    if (!underMouse())
        return;
    const QPoint pos = toImage(mapFromGlobal(QCursor::pos()));
    if (QRect(QPoint(0, 0), original).contains(pos))
        emit mouseMoved(pos);
}

void ImageWindow::showToolTip(QPoint pos, QString text)
{
    QToolTip::showText(mapToGlobal(pos), text);
}

void ImageWindow::mouseMoveEvent(QMouseEvent* e)
{
    emit mouseMoved(toImage(e->localPos().toPoint()));
    e->accept();
}
