// The main window: start-up state, style sheet, working directory, opening videos, playback and
// the user-interface states.
#include "areacontour.h"
#include "exportpath.h"
#include "mainwindow.h"
#include "resultrecord.h"
#include "startup.h"
#include "videofiles.h"
#include "videogen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace
{
// 130 frames at 25 fps: the usable count is 125.
const videogen::Blob blob{{20, 120}, {2, 0}, 10};

bool makeVideo(const QString& path, cv::Size size = {320, 240}, int frames = 130)
{
    videogen::ClipRecipe recipe;
    recipe.size = size;
    recipe.frames = frames;
    recipe.fps = 25;
    recipe.blobs = {blob};
    return videogen::writeVideo(QFile::encodeName(path).toStdString(), recipe);
}

void touch(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
}

const char* const transport[] = {"pb_play_pause",   "pb_fast_forward", "pb_slow_forward",
                                 "pb_fast_reverse", "pb_slow_reverse", "hs_frame"};
const char* const regionButtons[] = {"pb_clearmask", "pb_savemask", "pb_cancelmask",
                                     "pb_cleararea", "pb_savearea", "pb_cancelarea"};
const char* const shiftButtons[] = {"pb_movebox", "pb_savebox", "pb_cancelbox"};
const char* const fileControls[] = {"tv_file", "pb_videofile", "pb_Import"};
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startUpState();
    void styleSheetPrecedence();
    void workingDirectorySurvivesRestart();
    void selectingARowShowsFrame90();
    void stepAndJumpBoundaries_data();
    void stepAndJumpBoundaries();
    void playStopsAtTheUsableEnd();
    void modeVideoEnableTable_data();
    void modeVideoEnableTable();
    void missingFileKeepsThePreviousVideo();
    void unreadableFileLeavesNoVideoState();
    void pathWithSpacesAndNonAsciiOpens();
    void skippedVideosNameTheirReason();
    void controlsIgnoredAndCancelDuringARun();
    void destroyedWhileTheDirectoryFieldHasFocus();
    void countingModeFollowsTheFolderAndReachesTheRun();
    void keysDriveTheTransportAndAreNamedInTooltips();

private:
    template <typename T = QWidget> T* child(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    QString text(const char* label) const { return child<QLabel>(label)->text(); }
    bool enabled(const char* name) const { return child(name)->isEnabled(); }
    void selectRow(int row);
    int rowOf(const QString& base) const;
    void tick() { QMetaObject::invokeMethod(window.get(), "timeframe"); }
    void setAllControls(bool on);

    std::unique_ptr<QTemporaryDir> config;
    std::unique_ptr<QTemporaryDir> videos;
    std::unique_ptr<MainWindow> window;
};

void MainWindowTest::initTestCase()
{
    // Settings go to a folder of this run only, never to the user's own store.
    config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config->path()));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane")).clear();

    videos = std::make_unique<QTemporaryDir>();
    QDir(videos->path()).mkdir(QStringLiteral("exportCSV"));
    QVERIFY(makeVideo(videos->filePath(QStringLiteral("video_20150612_1430_01.mp4"))));
    QVERIFY(makeVideo(videos->filePath(QStringLiteral("plain.mp4"))));
    touch(videos->filePath(QStringLiteral("exportCSV/plain_area.adv")));
    touch(videos->filePath(QStringLiteral("exportCSV/plain_mask.adv")));
}

void MainWindowTest::init()
{
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), videos->path());
    window = std::make_unique<MainWindow>();
    window->show();
}

void MainWindowTest::cleanup()
{
    window.reset();
}

int MainWindowTest::rowOf(const QString& base) const
{
    const QAbstractItemModel* model = child<QTableView>("tv_file")->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == base)
            return row;
    }
    return -1;
}

void MainWindowTest::selectRow(int row)
{
    auto* table = child<QTableView>("tv_file");
    table->setCurrentIndex(table->model()->index(row, 0));
}

void MainWindowTest::startUpState()
{
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane")).clear();
    window = std::make_unique<MainWindow>();
    window->show();
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvane - v2.6.1"));
    QCOMPARE(window->size(), QSize(1341, 710));
    QCOMPARE(window->minimumSize(), QSize(1200, 710));
    QVERIFY(child<QLineEdit>("le_videofile")->text().isEmpty());
    QVERIFY(child<QLineEdit>("le_videofile")->isReadOnly());
    QCOMPARE(child<QTableView>("tv_file")->model()->rowCount(), 0);

    for (const char* name : transport)
        QVERIFY2(!enabled(name), name);
    for (const char* name : regionButtons)
        QVERIFY2(!enabled(name), name);
    for (const char* name : shiftButtons)
        QVERIFY2(!enabled(name), name);
    for (const char* name : {"pb_algo", "cb_process_conf", "tv_result"})
        QVERIFY2(!enabled(name), name);
    for (const char* name : {"pb_videofile", "tv_file", "pb_about", "pushButton_2"})
        QVERIFY2(enabled(name), name);
    QVERIFY(child("pb_Import")->isVisible());
    QVERIFY(child("w_firstStart")->isVisible());
    QVERIFY(text("la_mouse").isEmpty());
    QVERIFY(text("la_file_selected").isEmpty());
    QVERIFY(text("la_Num_Frame").isEmpty());
    for (const char* name : {"la_width", "la_height", "la_fps", "la_frame"})
        QVERIFY2(text(name).isEmpty(), name);
    QVERIFY(!child<QLabel>("label_logoBrellico")->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(child<QLabel>("label_logoBrellico")->pixmap(Qt::ReturnByValue).width() <= 240);
    QVERIFY(child<QLabel>("label_logoKelmor")->pixmap(Qt::ReturnByValue).height() <= 48);

    auto* box = child<QComboBox>("cb_process_conf");
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->itemText(0), QStringLiteral("only unprocessed files"));
    QCOMPARE(box->itemText(1), QStringLiteral("only one file"));
    QCOMPARE(box->itemText(2), QStringLiteral("all files"));
    QCOMPARE(child<QPushButton>("pb_algo")->text(), QStringLiteral("Process"));
    QCOMPARE(child<QCheckBox>("cb_vorlview")->text(), QStringLiteral("Display trajectories"));
    QVERIFY(!window->findChild<QTimer*>(QStringLiteral("timer"))->isActive());
}

void MainWindowTest::styleSheetPrecedence()
{
    QTemporaryDir dir;
    const QString builtIn = Startup::styleSheet(dir.path());
    QVERIFY(builtIn.contains(QStringLiteral("rgb(43, 43, 43)")));

    QFile local(dir.filePath(QStringLiteral("stylesheet.qss")));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write(QByteArray("QWidget { color: r\xe9"
                           "d; }\0QWidget { color: blue; }",
                           46));
    local.close();
    QCOMPARE(Startup::styleSheet(dir.path()), QStringLiteral("QWidget { color: r\u00e9d; }"));
}

void MainWindowTest::workingDirectorySurvivesRestart()
{
    QTemporaryDir other;
    QVERIFY(makeVideo(other.filePath(QStringLiteral("only.mp4")), {320, 240}, 100));
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(other.path());
        dialog->selectFile(other.path());
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(child("pb_videofile"), Qt::LeftButton);
    QCOMPARE(QDir(child<QLineEdit>("le_videofile")->text()), QDir(other.path()));

    window = std::make_unique<MainWindow>();
    QCOMPARE(QDir(child<QLineEdit>("le_videofile")->text()), QDir(other.path()));
    QCOMPARE(child<QTableView>("tv_file")->model()->rowCount(), 1);
    QCOMPARE(child<QTableView>("tv_file")->model()->index(0, 0).data().toString(),
             QStringLiteral("only"));
}

void MainWindowTest::selectingARowShowsFrame90()
{
    selectRow(rowOf(QStringLiteral("video_20150612_1430_01")));
    QCOMPARE(text("la_Num_Frame"), QStringLiteral("90"));
    QCOMPARE(text("la_width"), QStringLiteral("320"));
    QCOMPARE(text("la_height"), QStringLiteral("240"));
    QCOMPARE(text("la_fps"), QStringLiteral("25"));
    QCOMPARE(text("la_frame"), QStringLiteral("125"));
    QCOMPARE(text("la_file_selected"),
             videos->filePath(QStringLiteral("video_20150612_1430_01.mp4")));
    auto* slider = child<QSlider>("hs_frame");
    QCOMPARE(slider->maximum(), 125);
    QCOMPARE(slider->value(), 90);
    auto* timer = window->findChild<QTimer*>(QStringLiteral("timer"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 20); // trunc(500 / 25)
    tick();                          // paused: the tick stops until the next request
    QVERIFY(!timer->isActive());
    window->slow_forward();
    QVERIFY(timer->isActive());

    // The blob is where it is at frame 90, not where it starts.
    const cv::Mat& frame = window->playback().frame();
    const cv::Point at90 = blob.positionAt(90);
    const cv::Point at0 = blob.positionAt(0);
    QVERIFY(frame.at<cv::Vec3b>(at90)[1] < 90);
    QVERIFY(frame.at<cv::Vec3b>(at0)[1] > 120);
    QCOMPARE(child<QGraphicsView>("gv_video")->scene()->items().size(), 1);
}

// Each row: where to seek first, the move, and where it must end.
void MainWindowTest::stepAndJumpBoundaries_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("expected");
    QTest::newRow(">> inside") << 100 << "fast_forward" << 110;
    QTest::newRow(">> at the end") << 115 << "fast_forward" << 115;
    QTest::newRow("> before the end") << 123 << "slow_forward" << 124;
    QTest::newRow("> at the end") << 125 << "slow_forward" << 125;
    QTest::newRow("<< inside") << 30 << "fast_reverse" << 20;
    QTest::newRow("<< near 0") << 5 << "fast_reverse" << 5;
    QTest::newRow("< inside") << 1 << "slow_reverse" << 0;
    QTest::newRow("< at 0") << 0 << "slow_reverse" << 0;
}

void MainWindowTest::stepAndJumpBoundaries()
{
    QFETCH(int, start);
    QFETCH(QString, slot);
    QFETCH(int, expected);
    selectRow(rowOf(QStringLiteral("plain")));
    if (start == 125) {
        // The slider cannot seek to the last usable frame; step there.
        window->hs_frame_moved(123);
        tick();
        for (int i = 0; i < 2; ++i) {
            window->slow_forward();
            tick();
        }
    } else {
        window->hs_frame_moved(start);
        tick();
    }
    QCOMPARE(window->playback().position(), double(start));
    window->play_pause_video(); // playing: the move must still end paused
    QMetaObject::invokeMethod(window.get(), slot.toLatin1().constData());
    tick();
    QCOMPARE(text("la_Num_Frame"), QString::number(expected));
    QCOMPARE(child<QSlider>("hs_frame")->value(), expected);
    QCOMPARE(child<QPushButton>("pb_play_pause")->text(), QStringLiteral("Play"));
}

void MainWindowTest::playStopsAtTheUsableEnd()
{
    selectRow(rowOf(QStringLiteral("plain")));
    window->hs_frame_moved(122);
    tick();
    window->play_pause_video();
    QCOMPARE(child<QPushButton>("pb_play_pause")->text(), QStringLiteral("Pause"));
    for (int i = 0; i < 6; ++i)
        tick();
    QCOMPARE(text("la_Num_Frame"), QStringLiteral("125"));
    QCOMPARE(child<QPushButton>("pb_play_pause")->text(), QStringLiteral("Pause"));
    window->play_pause_video();
    QCOMPARE(child<QPushButton>("pb_play_pause")->text(), QStringLiteral("Play"));
}

void MainWindowTest::setAllControls(bool on)
{
    for (const char* name : transport)
        child(name)->setEnabled(on);
    for (const char* name : regionButtons)
        child(name)->setEnabled(on);
    for (const char* name : shiftButtons)
        child(name)->setEnabled(on);
    for (const char* name : fileControls)
        child(name)->setEnabled(on);
    for (const char* name : {"cb_process_conf", "pb_algo", "tv_result"})
        child(name)->setEnabled(on);
}

// Expected states: 1 on, 0 off, -1 unchanged from what the controls held before.
void MainWindowTest::modeVideoEnableTable_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("regions");
    QTest::addColumn<bool>("before");
    QTest::addColumn<QVector<int>>(
        "expected"); // transport, region, shift, combo, algo, result, file
    const QVector<int> table[5][2] = {
        {{0, 0, 0, 0, 0, 0, -1}, {0, 0, 0, 0, 0, 0, -1}},
        {{1, 1, 0, -1, -1, 1, -1}, {1, 1, 1, 1, 1, 1, -1}},
        {{0, 0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 1, 0, 0}},
        {{1, 1, 1, 0, 0, 1, 1}, {1, 1, 1, 1, 1, 1, 1}},
        {{1, 1, 1, 0, 0, 1, 1}, {1, 1, 1, 1, 1, 1, 1}},
    };
    const char* names[] = {"NoVideo", "VideoReady", "Processing", "ProcessingDone",
                           "ProcessingCancelled"};
    for (int state = 0; state < 5; ++state) {
        for (bool regions : {false, true}) {
            for (bool before : {false, true}) {
                QTest::addRow("%s %s, controls %s before", names[state],
                              regions ? "with regions" : "without regions", before ? "on" : "off")
                    << state << regions << before << table[state][regions];
            }
        }
    }
}

void MainWindowTest::modeVideoEnableTable()
{
    QFETCH(int, state);
    QFETCH(bool, regions);
    QFETCH(bool, before);
    QFETCH(QVector<int>, expected);
    selectRow(rowOf(regions ? QStringLiteral("plain") : QStringLiteral("video_20150612_1430_01")));
    setAllControls(before);
    window->ModeVideo(static_cast<MainWindow::statemode>(state));

    const auto check = [&](const char* name, int want) {
        const bool on = want < 0 ? before : want == 1;
        QVERIFY2(enabled(name) == on, name);
    };
    for (const char* name : transport)
        check(name, expected[0]);
    for (const char* name : regionButtons)
        check(name, expected[1]);
    for (const char* name : shiftButtons)
        check(name, expected[2]);
    check("cb_process_conf", expected[3]);
    check("pb_algo", expected[4]);
    check("tv_result", expected[5]);
    for (const char* name : fileControls)
        check(name, expected[6]);
}

void MainWindowTest::missingFileKeepsThePreviousVideo()
{
    QTemporaryDir dir;
    QVERIFY(makeVideo(dir.filePath(QStringLiteral("first.mp4"))));
    QVERIFY(makeVideo(dir.filePath(QStringLiteral("gone.mp4"))));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir.path());
    window = std::make_unique<MainWindow>();
    selectRow(rowOf(QStringLiteral("first")));
    window->slow_forward();
    tick();
    QCOMPARE(text("la_Num_Frame"), QStringLiteral("91"));

    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("gone.mp4"))));
    selectRow(rowOf(QStringLiteral("gone")));
    QCOMPARE(text("la_file_selected"), dir.filePath(QStringLiteral("first.mp4")));
    QCOMPARE(text("la_Num_Frame"), QStringLiteral("91"));
    QVERIFY(enabled("pb_play_pause"));
}

void MainWindowTest::unreadableFileLeavesNoVideoState()
{
    QTemporaryDir dir;
    QVERIFY(makeVideo(dir.filePath(QStringLiteral("good.mp4"))));
    QFile garbage(dir.filePath(QStringLiteral("garbage.mp4")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("this is not a video");
    garbage.close();
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir.path());
    window = std::make_unique<MainWindow>();
    selectRow(rowOf(QStringLiteral("good")));
    QCOMPARE(text("la_Num_Frame"), QStringLiteral("90"));

    selectRow(rowOf(QStringLiteral("garbage")));
    for (const char* name : transport)
        QVERIFY2(!enabled(name), name);
    QVERIFY(text("la_file_selected").isEmpty());
    QVERIFY(text("la_width").isEmpty());
    // Nothing of the previous video is drawn again.
    tick();
    QVERIFY(child<QGraphicsView>("gv_video")->scene()->items().isEmpty());
}

void MainWindowTest::pathWithSpacesAndNonAsciiOpens()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Fänge 2015 – Süd"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(makeVideo(folder + QStringLiteral("/trap ü é 1.mp4")));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), folder);
    window = std::make_unique<MainWindow>();
    selectRow(rowOf(QStringLiteral("trap ü é 1")));
    QCOMPARE(text("la_Num_Frame"), QStringLiteral("90"));
    QCOMPARE(text("la_file_selected"), folder + QStringLiteral("/trap ü é 1.mp4"));
    QVERIFY(enabled("pb_play_pause"));
}

// "all files" over a readable video of the regions' size, one of another size and one that is
// no video: the status bar says why each of the two is left out, and the run goes on.
void MainWindowTest::skippedVideosNameTheirReason()
{
    QTemporaryDir dir;
    QVERIFY(makeVideo(dir.filePath(QStringLiteral("good.mp4"))));
    QVERIFY(makeVideo(dir.filePath(QStringLiteral("small.mp4")), {160, 120}));
    QFile garbage(dir.filePath(QStringLiteral("garbage.mp4")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("this is not a video");
    garbage.close();
    QDir(dir.path()).mkdir(QStringLiteral("exportCSV"));
    touch(dir.filePath(QStringLiteral("exportCSV/good_area.adv")));
    touch(dir.filePath(QStringLiteral("exportCSV/good_mask.adv")));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir.path());
    window = std::make_unique<MainWindow>();
    selectRow(rowOf(QStringLiteral("good")));

    QStringList messages;
    connect(window->statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& m) { messages << m; });
    child<QComboBox>("cb_process_conf")->setCurrentIndex(2);
    window->algo();
    QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>("pb_algo")->text(), QStringLiteral("Process"),
                              60000);
    const QString all = messages.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QStringLiteral("Skipped small.mp4: frame size 160x120 differs from the "
                                         "regions' 320x240")),
             qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("Skipped garbage.mp4: the video cannot be opened")),
             qPrintable(all));
    // The reasons stay in the closing message, after the progress has overwritten them.
    QVERIFY2(window->statusBar()->currentMessage().contains(
                 QStringLiteral("skipped: garbage.mp4 (the video cannot be opened)")),
             qPrintable(window->statusBar()->currentMessage()));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("exportCSV/good.csv"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("exportCSV/small.csv"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("exportCSV/garbage.csv"))));
}

// While a run goes on, the file table, the result table and the transport change nothing; Cancel
// stops it within a few frames, leaving only the .part file of the video and the video paused
// where the analysis stopped.
void MainWindowTest::controlsIgnoredAndCancelDuringARun()
{
    QTemporaryDir dir;
    const QString video = dir.filePath(QStringLiteral("long.mp4"));
    QVERIFY(makeVideo(video, {320, 240}, 600));
    QVERIFY(makeVideo(dir.filePath(QStringLiteral("other.mp4"))));
    QDir(dir.path()).mkdir(QStringLiteral("exportCSV"));
    touch(dir.filePath(QStringLiteral("exportCSV/long_area.adv")));
    touch(dir.filePath(QStringLiteral("exportCSV/long_mask.adv")));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir.path());
    window = std::make_unique<MainWindow>();
    window->show();
    selectRow(rowOf(QStringLiteral("long")));
    child<QComboBox>("cb_process_conf")->setCurrentIndex(1);
    auto* process = child<QPushButton>("pb_algo");
    QTest::mouseClick(process, Qt::LeftButton);
    QCOMPARE(process->text(), QStringLiteral("Cancel"));
    QTRY_VERIFY_WITH_TIMEOUT(text("la_Num_Frame").toDouble() >= 100, 60000);

    selectRow(rowOf(QStringLiteral("other")));
    window->Result_Row_Changed(0);
    QTest::mouseClick(child("pb_slow_forward"), Qt::LeftButton);
    QTest::mouseClick(child("pb_play_pause"), Qt::LeftButton);
    QCOMPARE(window->playback().mode(), Playback::Pause);
    for (const char* name : transport)
        QVERIFY2(!enabled(name), name);
    QCOMPARE(process->text(), QStringLiteral("Cancel"));

    // Cancel stops the run at once; the window shows the outcome as soon as the worker has
    // reopened the video where the run stopped, never waiting for it.
    const double before = text("la_Num_Frame").toDouble();
    QTest::mouseClick(process, Qt::LeftButton);
    QVERIFY(!process->isEnabled()); // no second Cancel
    QTRY_COMPARE_WITH_TIMEOUT(process->text(), QStringLiteral("Process"), 10000);
    // The label lags the run by up to one refresh, so only the order and the end are certain.
    const double stopped = text("la_Num_Frame").toDouble();
    QVERIFY2(stopped >= before && stopped < 590, qPrintable(text("la_Num_Frame")));
    QCOMPARE(window->playback().position(), stopped);
    QVERIFY(
        window->statusBar()->currentMessage().contains(QStringLiteral("cancelled in long.mp4")));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("exportCSV/long.csv.part"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("exportCSV/long.csv"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("exportCSV/other.csv"))));
    for (const char* name : transport)
        QVERIFY2(enabled(name), name);
}

// Losing the focus while the window is destroyed ends the field's editing; that must not reach
// the file table, which is gone by then.
void MainWindowTest::destroyedWhileTheDirectoryFieldHasFocus()
{
    QApplication::setActiveWindow(window.get());
    auto* field = child<QLineEdit>("le_videofile");
    field->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTRY_VERIFY(field->hasFocus());
    window.reset();
}

// A folder without results starts with strict counting; the user's choice is stored, yet a
// folder whose results were made with one mode opens with that mode.
void MainWindowTest::countingModeFollowsTheFolderAndReachesTheRun()
{
    QTemporaryDir dir;
    const QString video = dir.filePath(QStringLiteral("line.mp4"));
    videogen::ClipRecipe recipe;
    recipe.size = {320, 240};
    recipe.frames = 150;
    recipe.blobs = {{{40, 120}, {4, 0}, 8, 95}}; // crosses x = 160 at frame 125
    QVERIFY(videogen::writeVideo(QFile::encodeName(video).toStdString(), recipe));
    AreaContour regions;
    regions.area = {{160, 20}, {160, 220}};
    regions.mask = {{4, 4}, {315, 4}, {315, 235}, {4, 235}, {4, 4}};
    QVERIFY(ExportPath::ensureFolder(video) && regions.save_area(video) &&
            regions.save_mask(video));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir.path());
    window = std::make_unique<MainWindow>();
    selectRow(rowOf(QStringLiteral("line")));

    auto* counting = child<QComboBox>("cb_counting");
    QCOMPARE(counting->count(), 2);
    QCOMPARE(counting->currentText(), QStringLiteral("strict counting"));
    const auto stored = [] {
        return QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
            .value(QStringLiteral("countingMode"))
            .toString();
    };
    QVERIFY(stored().isEmpty()); // the folder's mode is not the user's choice
    counting->setCurrentIndex(0);
    QCOMPARE(stored(), QStringLiteral("classic"));
    counting->setCurrentIndex(1);
    QCOMPARE(stored(), QStringLiteral("strict"));
    child<QComboBox>("cb_process_conf")->setCurrentIndex(1);
    window->algo();
    tick();
    tick();
    QVERIFY(!counting->isEnabled()); // a run keeps its mode
    QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>("pb_algo")->text(), QStringLiteral("Process"),
                              60000);
    QVERIFY(counting->isEnabled());
    // Strict counting gives the crossing's direction: In only, where classic gives both.
    QFile result(ExportPath::file(video, QStringLiteral(".csv")));
    QVERIFY(result.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = result.readAll().split('\n');
    QCOMPARE(lines.size(), 3); // header, one event, end of file
    QVERIFY2(lines[1].contains(";1;0;"), lines[1].constData());
    QCOMPARE(ResultRecord::readMode(VideoFiles(video).record()), CountingMode::Strict);

    // The folder's results were counted strictly: it stays strict whatever was chosen last.
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("countingMode"), QStringLiteral("classic"));
    window = std::make_unique<MainWindow>();
    QCOMPARE(child<QComboBox>("cb_counting")->currentIndex(), 1);
    // The selected video tells how its result was made.
    selectRow(rowOf(QStringLiteral("line")));
    QVERIFY2(window->statusBar()->currentMessage().contains(QStringLiteral("strict counting")),
             qPrintable(window->statusBar()->currentMessage()));
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .remove(QStringLiteral("countingMode"));
}

// Right steps, Page Down jumps, Space plays; each key is named in its button's tooltip.
void MainWindowTest::keysDriveTheTransportAndAreNamedInTooltips()
{
    selectRow(rowOf(QStringLiteral("plain")));
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    child("tv_file")->setFocus();
    QTest::keyClick(child("tv_file"), Qt::Key_Right);
    QTRY_COMPARE(text("la_Num_Frame"), QStringLiteral("91"));
    QTest::keyClick(child("tv_file"), Qt::Key_PageDown);
    QTRY_COMPARE(text("la_Num_Frame"), QStringLiteral("101"));
    QTest::keyClick(child("tv_file"), Qt::Key_Space);
    QTRY_COMPARE(window->playback().mode(), Playback::Play);
    for (const char* name : {"pb_play_pause", "pb_slow_forward", "pb_fast_forward",
                             "pb_slow_reverse", "pb_fast_reverse", "pb_videofile"})
        QVERIFY2(child(name)->toolTip().contains(QLatin1Char('(')), name);
    QVERIFY(child("pb_play_pause")->toolTip().contains(QStringLiteral("Space")));
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
