// Drawing, closing, cancelling, shifting and saving the counting area and the mask through mouse
// events on the video view and the region buttons of the main window.
#include "windowfixture.h"

#include <QApplication>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QtTest>

using namespace testing_window;
using Points = std::vector<cv::Point>;
Q_DECLARE_METATYPE(Points)
Q_DECLARE_METATYPE(cv::Point)

namespace
{
const char* const allButtons[] = {"pb_clearmask", "pb_savemask", "pb_cancelmask",
                                  "pb_cleararea", "pb_savearea", "pb_cancelarea",
                                  "pb_movebox",   "pb_savebox",  "pb_cancelbox"};

// Counting area and mask of the 320 x 240 video used for the shift tests.
const Points savedArea{{40, 30}, {250, 30}, {250, 200}, {40, 200}, {40, 30}};
const Points savedMask{{20, 20}, {300, 20}, {300, 220}, {20, 220}, {20, 20}};

QString regionFile(const Points& polygon)
{
    QString text;
    for (const cv::Point& p : polygon)
        text += QStringLiteral("%1,%2\n").arg(p.x).arg(p.y);
    return text;
}

Points shifted(const Points& polygon, cv::Point by)
{
    Points out;
    for (const cv::Point& p : polygon)
        out.push_back(p + by);
    return out;
}

int minOf(const Points& polygon, int cv::Point::*axis)
{
    int m = INT_MAX;
    for (const cv::Point& p : polygon)
        m = std::min(m, p.*axis);
    return m;
}

int maxOf(const Points& polygon, int cv::Point::*axis)
{
    int m = INT_MIN;
    for (const cv::Point& p : polygon)
        m = std::max(m, p.*axis);
    return m;
}
} // namespace

class RegionEditingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void verticesFollowThePointer_data();
    void verticesFollowThePointer();
    void doubleClickClosesFromThreeVertices_data();
    void doubleClickClosesFromThreeVertices();
    void buttonsAndCursorPerSlot_data();
    void buttonsAndCursorPerSlot();
    void cancelRestoresFromTheFile();
    void shiftIsClampedToTheFrame();
    void shiftNeedsTheLeftButtonAlone();
    void savingTheShiftWritesBothFiles();
    void maskColumnTurnsYAfterBothSaves();
    void unwritableFileKeepsTheDrawing();
    void changingVideoEndsTheEdit_data();
    void changingVideoEndsTheEdit();
    void refusedRegionFileIsNamedInTheStatusBar();
    void zoomedClicksLandOnThePixel_data();
    void zoomedClicksLandOnThePixel();
    void zoomOnlyOnFramesLargerThanTheCutOut();

private:
    QGraphicsView* videoView() const
    {
        return window->findChild<QGraphicsView*>(QStringLiteral("gv_video"));
    }
    QPushButton* button(const char* name) const
    {
        return window->findChild<QPushButton*>(QLatin1String(name));
    }
    QString mouseText() const
    {
        return window->findChild<QLabel*>(QStringLiteral("la_mouse"))->text();
    }
    QPoint viewportPoint(QPointF scenePoint) const { return videoView()->mapFromScene(scenePoint); }
    void click(QPointF scenePoint)
    {
        QTest::mouseClick(videoView()->viewport(), Qt::LeftButton, {}, viewportPoint(scenePoint));
    }
    // What a real double-click delivers to a widget: press, release, double-click.
    void doubleClick(QPointF scenePoint)
    {
        click(scenePoint);
        QTest::mouseDClick(videoView()->viewport(), Qt::LeftButton, {}, viewportPoint(scenePoint));
    }
    void move(QPointF scenePoint, Qt::MouseButtons held)
    {
        QMouseEvent e(QEvent::MouseMove, viewportPoint(scenePoint), Qt::NoButton, held, {});
        QApplication::sendEvent(videoView()->viewport(), &e);
    }
    void press(QPointF scenePoint)
    {
        QTest::mousePress(videoView()->viewport(), Qt::LeftButton, {}, viewportPoint(scenePoint));
    }
    void startWindow(const QString& video);
    void startWithSavedRegions();
    QString maskStatus(const QString& base) const;

    std::unique_ptr<WorkingDirectory> dir;
    std::unique_ptr<MainWindow> window;
};

void RegionEditingTest::initTestCase()
{
    dir = std::make_unique<WorkingDirectory>();
    QVERIFY(makeVideo(dir->video(QStringLiteral("full_hd")), {1920, 1080}));
    QVERIFY(makeVideo(dir->video(QStringLiteral("small")), {320, 240}));
    dir->makeCurrent();
}

// Every test starts without region files.
void RegionEditingTest::init()
{
    for (const char* suffix : {"_area.adv", "_mask.adv"}) {
        QFile::remove(dir->exported(QStringLiteral("full_hd"), suffix));
        QFile::remove(dir->exported(QStringLiteral("small"), suffix));
    }
}

// Closed before it is destroyed: a focused line edit losing its focus while the window is torn
// down would call back into a half-destroyed window.
void RegionEditingTest::cleanup()
{
    if (window)
        window->close();
    window.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void RegionEditingTest::startWindow(const QString& video)
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    openVideo(*window, video);
    QCOMPARE(window->regionEditor().mode(), RegionEditor::Idle);
}

void RegionEditingTest::startWithSavedRegions()
{
    QVERIFY(writeText(dir->exported(QStringLiteral("small"), "_area.adv"), regionFile(savedArea)));
    QVERIFY(writeText(dir->exported(QStringLiteral("small"), "_mask.adv"), regionFile(savedMask)));
    startWindow(QStringLiteral("small"));
    QVERIFY(button("pb_movebox")->isEnabled());
}

QString RegionEditingTest::maskStatus(const QString& base) const
{
    auto* table = window->findChild<QTableView*>(QStringLiteral("tv_file"));
    return table->model()->index(rowOf(table, base), 1).data().toString();
}

void RegionEditingTest::verticesFollowThePointer_data()
{
    QTest::addColumn<QString>("video");
    QTest::addColumn<bool>("drawMask");
    QTest::addColumn<Points>("expected");
    // Shown at 640 x 360: view pixels times 3.
    QTest::newRow("1920x1080 area")
        << QStringLiteral("full_hd") << false << Points{{300, 150}, {600, 150}, {600, 450}};
    // Shown at 640 x 480: view pixels halved.
    QTest::newRow("320x240 mask") << QStringLiteral("small") << true
                                  << Points{{50, 25}, {100, 25}, {100, 75}};
}

void RegionEditingTest::verticesFollowThePointer()
{
    QFETCH(QString, video);
    QFETCH(bool, drawMask);
    QFETCH(Points, expected);
    startWindow(video);
    move({100, 50}, Qt::NoButton);
    QCOMPARE(mouseText(), QStringLiteral("mouse x: %1 y:%2").arg(expected[0].x).arg(expected[0].y));

    button(drawMask ? "pb_clearmask" : "pb_cleararea")->click();
    for (QPointF p : {QPointF(100, 50), QPointF(200, 50), QPointF(200, 150)})
        click(p);
    const AreaContour& regions = window->regionEditor().regions();
    QCOMPARE(drawMask ? regions.mask : regions.area, expected);
    QVERIFY((drawMask ? regions.area : regions.mask).empty());
}

void RegionEditingTest::doubleClickClosesFromThreeVertices_data()
{
    QTest::addColumn<int>("vertices");
    QTest::addColumn<bool>("closed");
    QTest::newRow("one") << 1 << false;
    QTest::newRow("two") << 2 << false;
    QTest::newRow("three") << 3 << true;
    QTest::newRow("five") << 5 << true;
}

void RegionEditingTest::doubleClickClosesFromThreeVertices()
{
    QFETCH(int, vertices);
    QFETCH(bool, closed);
    startWindow(QStringLiteral("small"));
    button("pb_cleararea")->click();
    // View points and the video pixels they map to (halved).
    const QPointF corners[] = {{20, 20}, {300, 20}, {300, 200}, {20, 200}, {10, 100}};
    Points expected;
    for (int i = 0; i < vertices; ++i) {
        const QPoint p = corners[i].toPoint();
        expected.emplace_back(p.x() / 2, p.y() / 2);
    }
    for (int i = 0; i < vertices - 1; ++i)
        click(corners[i]);
    doubleClick(corners[vertices - 1]);

    if (closed)
        expected.push_back(expected.front());
    QCOMPARE(window->regionEditor().regions().area, expected);
    QCOMPARE(window->videoView().zoom().on, false);
}

void RegionEditingTest::buttonsAndCursorPerSlot_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<int>("editMode");
    QTest::addColumn<bool>("crossCursor");
    QTest::newRow("cleararea") << "cleararea"
                               << QStringList{"pb_clearmask", "pb_savemask", "pb_cancelmask",
                                              "pb_cleararea"}
                               << 1 << true;
    QTest::newRow("clearmask") << "clearmask"
                               << QStringList{"pb_clearmask",  "pb_cleararea", "pb_savearea",
                                              "pb_cancelarea", "pb_movebox",   "pb_savebox",
                                              "pb_cancelbox"}
                               << 2 << true;
    QTest::newRow("movebox") << "on_pb_movebox_clicked"
                             << QStringList{"pb_clearmask", "pb_savemask", "pb_cancelmask",
                                            "pb_cleararea", "pb_savearea", "pb_cancelarea",
                                            "pb_movebox"}
                             << 4 << false;
}

// Starting an edit disables the conflicting buttons; cancelling enables them again and gives the
// arrow back.
void RegionEditingTest::buttonsAndCursorPerSlot()
{
    QFETCH(QString, slot);
    QFETCH(QStringList, disabled);
    QFETCH(int, editMode);
    QFETCH(bool, crossCursor);
    startWithSavedRegions();
    QVERIFY(QMetaObject::invokeMethod(window.get(), slot.toLatin1().constData()));
    QCOMPARE(static_cast<int>(window->regionEditor().mode()), editMode);
    for (const char* name : allButtons)
        QVERIFY2(button(name)->isEnabled() != disabled.contains(QLatin1String(name)), name);
    const QCursor* cursor = QGuiApplication::overrideCursor();
    QCOMPARE(cursor && cursor->shape() == Qt::CrossCursor, crossCursor);

    const char* cancel = editMode == 1   ? "cancelarea"
                         : editMode == 2 ? "cancelmask"
                                         : "on_pb_cancelbox_clicked";
    QVERIFY(QMetaObject::invokeMethod(window.get(), cancel));
    QCOMPARE(window->regionEditor().mode(), RegionEditor::Idle);
    for (const char* name : allButtons)
        QVERIFY2(button(name)->isEnabled(), name);
    QVERIFY(!QGuiApplication::overrideCursor());
}

// Cancelling reads the file again: a saved polygon comes back, one never saved is empty.
void RegionEditingTest::cancelRestoresFromTheFile()
{
    startWindow(QStringLiteral("small"));
    const AreaContour& regions = window->regionEditor().regions();
    button("pb_cleararea")->click();
    click({100, 100});
    click({300, 100});
    doubleClick({200, 300});
    button("pb_savearea")->click();
    const Points triangle{{50, 50}, {150, 50}, {100, 150}, {50, 50}};
    QCOMPARE(regions.area, triangle);
    QCOMPARE(readText(dir->exported(QStringLiteral("small"), "_area.adv")),
             QStringLiteral("50,50\n150,50\n100,150\n50,50\n"));

    button("pb_cleararea")->click();
    click({10, 10});
    click({20, 20});
    button("pb_cancelarea")->click();
    QCOMPARE(regions.area, triangle);

    button("pb_clearmask")->click();
    click({10, 10});
    click({20, 20});
    button("pb_cancelmask")->click();
    QVERIFY(regions.mask.empty());
    QCOMPARE(regions.state, 0);
}

// A drag moves both previews with the pointer, held back where a vertex would leave the frame:
// at 1 on the left and top (0 is no vertex to classic counting), at the frame's width and
// height on the right and bottom.
void RegionEditingTest::shiftIsClampedToTheFrame()
{
    startWithSavedRegions();
    const AreaContour& regions = window->regionEditor().regions();
    button("pb_movebox")->click();
    press({300, 200}); // video (150, 100)

    move({320, 210}, Qt::LeftButton); // video (160, 105)
    QCOMPARE(regions.state, 3);
    QCOMPARE(regions.shifted_mask, shifted(savedMask, {10, 5}));
    QCOMPARE(regions.shifted_area, shifted(savedArea, {10, 5}));

    move({0, 200}, Qt::LeftButton);
    QCOMPARE(minOf(regions.shifted_mask, &cv::Point::x), 1);
    QCOMPARE(regions.shifted_area, shifted(savedArea, {-19, 0}));
    move({638, 200}, Qt::LeftButton);
    QCOMPARE(maxOf(regions.shifted_mask, &cv::Point::x), 320);
    QCOMPARE(regions.shifted_area, shifted(savedArea, {20, 0}));
    move({300, 0}, Qt::LeftButton);
    QCOMPARE(minOf(regions.shifted_mask, &cv::Point::y), 1);
    move({300, 478}, Qt::LeftButton);
    QCOMPARE(maxOf(regions.shifted_mask, &cv::Point::y), 240);
    QCOMPARE(regions.shifted_area, shifted(savedArea, {0, 20}));

    // The stored polygons stay as they were until the shift is saved.
    QCOMPARE(regions.area, savedArea);
    QCOMPARE(regions.mask, savedMask);
}

void RegionEditingTest::shiftNeedsTheLeftButtonAlone()
{
    startWithSavedRegions();
    const AreaContour& regions = window->regionEditor().regions();
    button("pb_movebox")->click();
    press({300, 200});
    for (Qt::MouseButtons held : {Qt::MouseButtons(Qt::NoButton), Qt::MouseButtons(Qt::RightButton),
                                  Qt::MouseButtons(Qt::LeftButton | Qt::RightButton)})
        move({320, 210}, held);
    QCOMPARE(regions.state, 0);
    QVERIFY(regions.shifted_mask.empty());
    QCOMPARE(mouseText(), QStringLiteral("mouse x: 160 y:105"));
}

void RegionEditingTest::savingTheShiftWritesBothFiles()
{
    startWithSavedRegions();
    button("pb_movebox")->click();
    press({300, 200});
    move({280, 220}, Qt::LeftButton); // (-10, +10) in the video
    button("pb_savebox")->click();

    const Points area = shifted(savedArea, {-10, 10});
    const Points mask = shifted(savedMask, {-10, 10});
    QCOMPARE(readText(dir->exported(QStringLiteral("small"), "_area.adv")), regionFile(area));
    QCOMPARE(readText(dir->exported(QStringLiteral("small"), "_mask.adv")), regionFile(mask));
    // Saving lists the directory again and reopens the video with the files just written.
    const AreaContour& regions = window->regionEditor().regions();
    QCOMPARE(regions.area, area);
    QCOMPARE(regions.mask, mask);
    QCOMPARE(regions.state, 0);
    QCOMPARE(window->regionEditor().mode(), RegionEditor::Idle);
    for (const char* name : allButtons)
        QVERIFY2(button(name)->isEnabled(), name);
}

void RegionEditingTest::maskColumnTurnsYAfterBothSaves()
{
    startWindow(QStringLiteral("small"));
    QCOMPARE(maskStatus(QStringLiteral("small")), QStringLiteral("N"));
    QVERIFY(!button("pb_movebox")->isEnabled());

    button("pb_clearmask")->click();
    for (QPointF p : {QPointF(20, 20), QPointF(600, 20), QPointF(600, 460)})
        click(p);
    doubleClick({20, 460});
    button("pb_savemask")->click();
    QCOMPARE(maskStatus(QStringLiteral("small")), QStringLiteral("N"));

    button("pb_cleararea")->click();
    click({100, 240});
    doubleClick({500, 240});
    button("pb_savearea")->click();
    QCOMPARE(maskStatus(QStringLiteral("small")), QStringLiteral("Y"));
    QVERIFY(button("pb_movebox")->isEnabled());
    QCOMPARE(window->regionEditor().regions().area, (Points{{50, 120}, {250, 120}}));
    QCOMPARE(window->regionEditor().regions().mask.size(), size_t(5));
}

// A save that fails must not reopen the video, which would reload the old file over the drawing.
void RegionEditingTest::unwritableFileKeepsTheDrawing()
{
    const QString blocked = dir->exported(QStringLiteral("small"), "_area.adv");
    QVERIFY(QDir().mkpath(blocked)); // a folder where the file should go
    startWindow(QStringLiteral("small"));
    button("pb_cleararea")->click();
    click({100, 100});
    doubleClick({300, 100});
    button("pb_savearea")->click();
    QDir(blocked).removeRecursively();

    QCOMPARE(window->regionEditor().regions().area, (Points{{50, 50}, {150, 50}}));
    QCOMPARE(window->regionEditor().mode(), RegionEditor::Idle);
    QVERIFY(window->statusBar()->currentMessage().contains(QStringLiteral("could not be written")));
    button("pb_savearea")->click();
    QCOMPARE(readText(blocked), QStringLiteral("50,50\n150,50\n"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
}

void RegionEditingTest::zoomedClicksLandOnThePixel_data()
{
    QTest::addColumn<QPointF>("zoomAt");   // view point of the double-click, unzoomed
    QTest::addColumn<QPointF>("clickAt");  // view point of the vertex, zoomed
    QTest::addColumn<cv::Point>("vertex"); // expected video pixel
    // The cut-out is kept inside the frame, so near an edge the click is not centre-relative.
    QTest::newRow("top-left corner") << QPointF(10, 10) << QPointF(5, 7) << cv::Point(5, 7);
    QTest::newRow("bottom-right corner")
        << QPointF(630, 350) << QPointF(639, 479) << cv::Point(1919, 1079);
    QTest::newRow("middle") << QPointF(320, 180) << QPointF(100, 100) << cv::Point(740, 400);
    QTest::newRow("right edge") << QPointF(635, 180) << QPointF(600, 240) << cv::Point(1880, 540);
}

void RegionEditingTest::zoomedClicksLandOnThePixel()
{
    QFETCH(QPointF, zoomAt);
    QFETCH(QPointF, clickAt);
    QFETCH(cv::Point, vertex);
    startWindow(QStringLiteral("full_hd"));
    doubleClick(zoomAt);
    QVERIFY(window->videoView().zoom().on);
    window->timeframe(); // shows the zoomed cut-out

    button("pb_cleararea")->click();
    click(clickAt);
    QCOMPARE(window->regionEditor().regions().area, Points{vertex});

    // The pixel under the pointer is the frame's pixel at the vertex.
    const cv::Mat& shown = window->videoDisplay().shownImage();
    QCOMPARE(shown.size(), cv::Size(640, 480));
    const QPoint at = clickAt.toPoint();
    QCOMPARE(shown.at<cv::Vec3b>(at.y(), at.x()),
             window->playback().frame().at<cv::Vec3b>(vertex.y, vertex.x));

    // With the area being edited, a double-click closes instead of zooming.
    doubleClick(clickAt);
    QVERIFY(window->videoView().zoom().on);
}

void RegionEditingTest::zoomOnlyOnFramesLargerThanTheCutOut()
{
    startWindow(QStringLiteral("full_hd"));
    doubleClick({100, 50});
    QVERIFY(window->videoView().zoom().on);
    QCOMPARE(window->videoView().zoom().centre, cv::Point(300, 150));
    doubleClick({100, 50});
    QVERIFY(!window->videoView().zoom().on);

    openVideo(*window, QStringLiteral("small"));
    doubleClick({100, 50});
    QVERIFY(!window->videoView().zoom().on);
}

QTEST_MAIN(RegionEditingTest)
#include "regionediting_test.moc"

void RegionEditingTest::changingVideoEndsTheEdit_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("shift") << QStringLiteral("pb_movebox");
    QTest::newRow("area") << QStringLiteral("pb_cleararea");
    QTest::newRow("mask") << QStringLiteral("pb_clearmask");
}

// Whatever was being drawn or shifted on one video never reaches another video's files.
void RegionEditingTest::changingVideoEndsTheEdit()
{
    QFETCH(QString, start);
    const QString otherArea = dir->exported(QStringLiteral("full_hd"), "_area.adv");
    const QString otherMask = dir->exported(QStringLiteral("full_hd"), "_mask.adv");
    QVERIFY(writeText(otherArea, QStringLiteral("700,500\n900,500\n")));
    QVERIFY(writeText(otherMask, regionFile(savedMask)));
    startWithSavedRegions();
    button(start.toLatin1().constData())->click();
    press({300, 200});
    move({280, 220}, Qt::LeftButton);
    for (QPointF p : {QPointF(40, 40), QPointF(400, 60), QPointF(400, 400)})
        click(p);

    openVideo(*window, QStringLiteral("full_hd"));

    const AreaContour& regions = window->regionEditor().regions();
    QCOMPARE(regions.state, 0);
    QCOMPARE(window->regionEditor().mode(), RegionEditor::Idle);
    QCOMPARE(regions.area, (Points{{700, 500}, {900, 500}}));
    QCOMPARE(regions.mask, savedMask);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    for (const char* name : {"pb_savebox", "pb_savearea", "pb_savemask"})
        button(name)->click();
    QCOMPARE(readText(otherArea), QStringLiteral("700,500\n900,500\n"));
    QCOMPARE(readText(otherMask), regionFile(savedMask));
    QCOMPARE(readText(dir->exported(QStringLiteral("small"), "_area.adv")), regionFile(savedArea));
    QCOMPARE(readText(dir->exported(QStringLiteral("small"), "_mask.adv")), regionFile(savedMask));
    QFile::remove(otherArea);
    QFile::remove(otherMask);
}

void RegionEditingTest::refusedRegionFileIsNamedInTheStatusBar()
{
    const QString area = dir->exported(QStringLiteral("small"), "_area.adv");
    QVERIFY(writeText(area, QStringLiteral("nan,1\n2,2\n")));
    QVERIFY(QDir().mkpath(dir->exported(QStringLiteral("small"), "_mask.adv")));
    startWindow(QStringLiteral("small"));
    const QString message = window->statusBar()->currentMessage();
    QVERIFY2(message.contains(area + QStringLiteral(" has 1 line(s)")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("is not a regular file")), qPrintable(message));
    QDir(dir->exported(QStringLiteral("small"), "_mask.adv")).removeRecursively();
}
