#include "imagegraphicsview.h"

#include "displaygeometry.h"

#include <QDebug>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QPixmap>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace
{
constexpr int ZoomLayout = 640;
constexpr int WideLayout = 120; // a 360-pixel-high display
constexpr int StandardLayout = 60;

int cutOrigin(int centre, int extent, int half)
{
    if (centre <= half)
        return 0;
    if (centre >= extent - half)
        return extent - 2 * half;
    return centre - half;
}
} // namespace

ImageGraphicsView::ImageGraphicsView(DisplayGeometry* geometry, QGraphicsView* graphicsView)
    : graphicsView(graphicsView), scene(new QGraphicsScene(this)), geometry(geometry)
{
}

cv::Rect ImageGraphicsView::zoomRect(cv::Size frame, int x, int y)
{
    return {cutOrigin(x, frame.width, 320), cutOrigin(y, frame.height, 240), 640, 480};
}

// A new scene whenever the layout changes, so that its extent always fits the picture.
void ImageGraphicsView::useLayout(int layout)
{
    if (sceneLayout == layout)
        return;
    delete scene;
    scene = new QGraphicsScene(this);
    sceneLayout = layout;
}

void ImageGraphicsView::showImage(cv::Mat mat, bool bZoom, int x, int y, bool save,
                                  QString filename)
{
    if (mat.empty())
        return;
    scene->clear();
    if (bZoom) {
        useLayout(ZoomLayout);
        const cv::Rect cut = zoomRect(mat.size(), x, y) & cv::Rect(0, 0, mat.cols, mat.rows);
        mat(cut).copyTo(shown);
    } else {
        useLayout(geometry->height == 360 ? WideLayout : StandardLayout);
        cv::resize(mat, shown, cv::Size(geometry->width, geometry->height), 0, 0, cv::INTER_CUBIC);
    }
    if (save)
        writeImage(filename);
    // Straight into the pixmap's own layout (B, G, R, 255 in memory), which spares Qt a second
    // conversion of every shown frame.
    cv::cvtColor(shown, rgb, cv::COLOR_BGR2BGRA);
    display(QImage(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step), QImage::Format_RGB32));
}

// A failed write must not stop the frame loop; it is logged once per file name, also when the
// writer throws (a name without a known image extension), since this runs on every shown frame.
void ImageGraphicsView::writeImage(const QString& filename)
{
    if (filename.isEmpty())
        return;
    QString reason;
    try {
        if (cv::imwrite(QFile::encodeName(filename).toStdString(), shown))
            return;
    } catch (const cv::Exception& e) {
        reason = QString::fromLocal8Bit(e.what());
    }
    if (failedWrites.contains(filename))
        return;
    failedWrites.insert(filename);
    qWarning().noquote() << "Cannot write image" << filename << reason;
}

void ImageGraphicsView::showImageGrey(cv::Mat mat)
{
    if (mat.empty())
        return;
    scene->clear();
    cv::resize(mat, shown, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
    display(QImage(shown.data, shown.cols, shown.rows, static_cast<int>(shown.step),
                   QImage::Format_Grayscale8));
}

void ImageGraphicsView::display(const QImage& image)
{
    // The pixmap copies the pixels, so the buffers can be reused for the next frame.
    scene->addPixmap(QPixmap::fromImage(image));
    graphicsView->setScene(scene);
}

void ImageGraphicsView::clear()
{
    scene->clear();
    graphicsView->setScene(scene);
}
