#include "imagegraphicsview.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QPixmap>
#include <opencv2/imgproc.hpp>

ImageGraphicsView::ImageGraphicsView(QGraphicsView* graphicsView)
    : graphicsView(graphicsView), scene(new QGraphicsScene(this))
{
}

// A new scene whenever the picture's size changes, so that its extent always fits the picture.
void ImageGraphicsView::useLayout(QSize layout)
{
    if (sceneLayout == layout)
        return;
    delete scene;
    scene = new QGraphicsScene(this);
    sceneLayout = layout;
}

void ImageGraphicsView::showImage(const cv::Mat& frame, const ViewZoom& zoom)
{
    if (frame.empty())
        return;
    VideoView::render(frame, zoom, shown);
    showPicture(shown);
}

void ImageGraphicsView::showPicture(const cv::Mat& picture)
{
    if (picture.empty())
        return;
    if (picture.data != shown.data)
        picture.copyTo(shown);
    scene->clear();
    useLayout(QSize(shown.cols, shown.rows));
    // Straight into the pixmap's own layout (B, G, R, 255 in memory), which spares Qt a second
    // conversion of every shown frame.
    cv::cvtColor(shown, rgb, cv::COLOR_BGR2BGRA);
    display(QImage(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step), QImage::Format_RGB32));
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
