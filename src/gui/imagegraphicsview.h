#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <opencv2/core.hpp>

class QGraphicsScene;
class QGraphicsView;
struct DisplayGeometry;

// Shows OpenCV frames in a QGraphicsView: scaled to the display size of the open video, or as a
// 640 x 480 cut-out at full resolution when zoomed; optionally writes exactly what it shows to an
// image file.
class ImageGraphicsView : public QObject
{
    Q_OBJECT
public:
    ImageGraphicsView(DisplayGeometry* geometry, QGraphicsView* graphicsView);

    // The top-left corner of the 640 x 480 cut-out around (x, y) in a frame of the given size.
    static cv::Rect zoomRect(cv::Size frame, int x, int y);

    // The picture last shown (BGR), as it was written when saving.
    const cv::Mat& shownImage() const { return shown; }

public slots:
    void showImage(cv::Mat mat, bool bZoom, int x, int y, bool save, QString filename);
    void showImageGrey(cv::Mat mat);
    void clear();

private:
    void useLayout(int layout);
    void writeImage(const QString& filename);
    void display(const QImage& image);

    QGraphicsView* graphicsView;
    QGraphicsScene* scene;
    DisplayGeometry* geometry;
    int sceneLayout = 0;
    cv::Mat shown; // reused between frames
    cv::Mat rgb;
    QSet<QString> failedWrites;
};
