#pragma once

#include "videoview.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <opencv2/core.hpp>

class QGraphicsScene;
class QGraphicsView;

// Shows OpenCV frames in a QGraphicsView as VideoView renders them: scaled to the display size of
// their video, or as a 640 x 480 cut-out at full resolution when zoomed. shownImage() is exactly
// what it shows, for "Save image".
class ImageGraphicsView : public QObject
{
    Q_OBJECT
public:
    explicit ImageGraphicsView(QGraphicsView* graphicsView);

    // The picture last shown (BGR).
    const cv::Mat& shownImage() const { return shown; }

public slots:
    void showImage(const cv::Mat& frame, const ViewZoom& zoom);
    // A picture already rendered for the view (by a run's worker), shown as it is.
    void showPicture(const cv::Mat& picture);
    void showImageGrey(cv::Mat mat);
    void clear();

private:
    void useLayout(QSize layout);
    void display(const QImage& image);

    QGraphicsView* graphicsView;
    QGraphicsScene* scene;
    QSize sceneLayout;
    cv::Mat shown; // reused between frames
    cv::Mat rgb;
};
