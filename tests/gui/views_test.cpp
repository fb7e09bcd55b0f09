// The video views: display geometry, zoom cut-outs, image writing and mouse coordinates.
#include "displaygeometry.h"
#include "graphicsviewmouse.h"
#include "imagegraphicsview.h"
#include "imagewindow.h"
#include "videoview.h"

#include <QGraphicsScene>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

class ViewsTest : public QObject
{
    Q_OBJECT
private slots:
    void displayGeometry_data();
    void displayGeometry();
    void zoomCutOut_data();
    void zoomCutOut();
    void zoomedImageIsTheCutOutAtFullResolution();
    void mousePressLeftOfThePictureIsZero();
    void densityWindowShowsTheWholeMap_data();
    void densityWindowShowsTheWholeMap();
};

void ViewsTest::displayGeometry_data()
{
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("frameHeight");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("known");
    QTest::addColumn<int>("viewX");
    QTest::addColumn<int>("videoX");
    QTest::newRow("1920x1080") << 1920 << 1080 << 640 << 360 << true << 100 << 300;
    QTest::newRow("1280x720") << 1280 << 720 << 640 << 360 << true << 100 << 200;
    QTest::newRow("640x480") << 640 << 480 << 640 << 480 << true << 100 << 100;
    QTest::newRow("320x240") << 320 << 240 << 640 << 480 << true << 51 << 25;
    QTest::newRow("800x600 stretched") << 800 << 600 << 640 << 480 << false << 100 << 100;
}

void ViewsTest::displayGeometry()
{
    QFETCH(int, frameWidth);
    QFETCH(int, frameHeight);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, known);
    QFETCH(int, viewX);
    QFETCH(int, videoX);
    DisplayGeometry geometry;
    geometry.setDisplayGeometry(1920, 1080); // a previous video must not leak into the next
    QCOMPARE(geometry.setDisplayGeometry(frameWidth, frameHeight), known);
    QCOMPARE(geometry.width, width);
    QCOMPARE(geometry.height, height);
    QCOMPARE(geometry.toVideo(viewX), videoX);
}

void ViewsTest::zoomCutOut_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QRect>("cut");
    QTest::newRow("near origin") << 100 << 100 << QRect(0, 0, 640, 480);
    QTest::newRow("near far corner") << 1900 << 1000 << QRect(1280, 600, 640, 480);
    QTest::newRow("middle") << 960 << 540 << QRect(640, 300, 640, 480);
    QTest::newRow("on the left limit") << 320 << 240 << QRect(0, 0, 640, 480);
    QTest::newRow("on the right limit") << 1600 << 840 << QRect(1280, 600, 640, 480);
}

void ViewsTest::zoomCutOut()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QRect, cut);
    const cv::Rect r = VideoView::zoomRect({1920, 1080}, cv::Point(x, y));
    QCOMPARE(QRect(r.x, r.y, r.width, r.height), cut);
}

static cv::Mat gradientFrame(int cols, int rows)
{
    cv::Mat frame(rows, cols, CV_8UC3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            frame.at<cv::Vec3b>(r, c) = cv::Vec3b(c % 256, r % 256, (c / 256) * 30 + r / 256);
    return frame;
}

void ViewsTest::zoomedImageIsTheCutOutAtFullResolution()
{
    QGraphicsView graphicsView;
    ImageGraphicsView view(&graphicsView);
    const cv::Mat frame = gradientFrame(1920, 1080);

    view.showImage(frame, ViewZoom{true, {1900, 1000}});
    QCOMPARE(cv::norm(view.shownImage(), frame(cv::Rect(1280, 600, 640, 480)), cv::NORM_INF), 0.0);
    QCOMPARE(graphicsView.scene()->itemsBoundingRect().size(), QSizeF(640, 480));

    view.showImage(frame, ViewZoom{});
    QCOMPARE(view.shownImage().cols, 640);
    QCOMPARE(view.shownImage().rows, 360);
    QCOMPARE(graphicsView.scene()->items().size(), 1);

    view.showImage(cv::Mat(), ViewZoom{}); // ignored: picture stays
    QCOMPARE(graphicsView.scene()->items().size(), 1);
}

void ViewsTest::mousePressLeftOfThePictureIsZero()
{
    GraphicsViewMouse view;
    view.resize(400, 400);
    QGraphicsScene scene;
    scene.addRect(0, 0, 100, 100);
    view.setScene(&scene); // centred: the view's corner lies left of and above the scene
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy presses(&view, &GraphicsViewMouse::sendMousePressVideo);
    QPointF received(-1, -1);
    connect(&view, &GraphicsViewMouse::sendMousePressVideo, this,
            [&](QMouseEvent* e) { received = e->localPos(); });
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(presses.count(), 1);
    QCOMPARE(received, QPointF(0, 0));

    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(QPointF(60, 40)));
    QCOMPARE(received, QPointF(60, 40));
}

void ViewsTest::densityWindowShowsTheWholeMap_data()
{
    QTest::addColumn<QSize>("map");
    QTest::addColumn<double>("scale"); // of the screen's available width or height
    QTest::newRow("fits") << QSize(320, 240) << 0.0;
    QTest::newRow("wide") << QSize(1280, 720) << 1.0;
    QTest::newRow("tall") << QSize(600, 1900) << 1.0;
}

// The offscreen screen is smaller than a full-HD density map: the map is scaled down to fit,
// with its proportions, and mouse positions still come in map pixels.
void ViewsTest::densityWindowShowsTheWholeMap()
{
    QFETCH(QSize, map);
    QFETCH(double, scale);
    QWidget source;
    ImageWindow window(&source, QStringLiteral("map"));
    QImage image(map, QImage::Format_RGB888);
    image.fill(Qt::red);
    window.showImage(image);
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QSize available = QGuiApplication::primaryScreen()->availableGeometry().size();
    QVERIFY(available.width() < 1280 || available.height() < 720);
    const QSize expected = scale == 0 ? map : map.scaled(available, Qt::KeepAspectRatio);
    QCOMPARE(window.size(), expected);
    QCOMPARE(window.pixmap(Qt::ReturnByValue).size(), expected);

    QSignalSpy moved(&window, &ImageWindow::mouseMoved);
    QMouseEvent e(QEvent::MouseMove, QPointF(expected.width() - 1, expected.height() - 1),
                  Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&window, &e);
    QCOMPARE(moved.count(), 1);
    const QPoint at = moved.first().first().toPoint();
    QVERIFY(qAbs(at.x() - (map.width() - 1)) <= 2);
    QVERIFY(qAbs(at.y() - (map.height() - 1)) <= 2);
}

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
