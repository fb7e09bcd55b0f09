// The window never loses work and says what it does: region files of a folder left behind, closing
// during a run, questions before results go, the table after a cancel, "Save image", the import
// entry and the first start. Driven through the real widgets.
#include "windowfixture.h"

#include "activityview.h"
#include "exportpath.h"
#include "importwindow.h"
#include "runlock.h"
#include "startup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

using namespace testing_window;

namespace
{
const char* const regionAndShiftButtons[] = {"pb_clearmask", "pb_savemask", "pb_cancelmask",
                                             "pb_cleararea", "pb_savearea", "pb_cancelarea",
                                             "pb_movebox",   "pb_savebox",  "pb_cancelbox"};
const QString someArea = QStringLiteral("40,30\n250,30\n250,200\n40,200\n40,30\n");
const QString someMask = QStringLiteral("20,20\n300,20\n300,220\n20,220\n20,20\n");
// A result file as a finished run leaves it: two events.
const QString someResult = QStringLiteral("Frame;X;Y;In;Out;Timestamp\n"
                                          "100;50;60;1;0;2015-06-12 14:30:04\n"
                                          "120;70;80;0;1;2015-06-12 14:30:04\n");
constexpr int runTimeout = 60000;

// Answers the next modal message box with `answer`, keeping its text in `text`.
void answerNextQuestion(QMessageBox::StandardButton answer, QString* text = nullptr)
{
    QTimer::singleShot(0, [answer, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        if (text)
            *text = box->text();
        box->button(answer)->click();
    });
}

// Answers the next modal file chooser with `path` (a folder or a file to save).
void answerChooser(const QString& path, bool folder)
{
    QTimer::singleShot(0, [path, folder] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        if (folder)
            chooser->setDirectory(path);
        chooser->selectFile(path);
        QMetaObject::invokeMethod(chooser, "accept");
    });
}
} // namespace

class WindowWorkTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Startup::quietDebugOutputUnlessAsked(); }
    void init();
    void cleanup();
    void leavingAFolderDropsTheEditAndWritesNothing();
    void closingDuringARunAsksThenStopsIt();
    void deletingAndReplacingResultsAskFirst();
    void afterCancelTheTableShowsTheFile();
    void saveImageIsAToggleWritingNewPicturesOnly();
    void importButtonOpensTheDialog();
    void firstStartOffersTheDemoFolder();

private:
    template <typename T = QWidget> T* child(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    void startWindow();
    void tick() { QMetaObject::invokeMethod(window.get(), "timeframe"); }
    // Shortcuts reach only the active window.
    void activate()
    {
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        child("tv_file")->setFocus();
    }
    void writeRegions(const QString& base);
    void startLongRun(const QString& base);

    std::unique_ptr<WorkingDirectory> dir;
    std::unique_ptr<MainWindow> window;
};

void WindowWorkTest::init()
{
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane")).clear();
    dir = std::make_unique<WorkingDirectory>();
}

void WindowWorkTest::cleanup()
{
    window.reset();
    dir.reset();
}

void WindowWorkTest::startWindow()
{
    dir->makeCurrent();
    window = std::make_unique<MainWindow>();
    window->show();
}

void WindowWorkTest::writeRegions(const QString& base)
{
    QVERIFY(writeText(dir->exported(base, "_area.adv"), someArea));
    QVERIFY(writeText(dir->exported(base, "_mask.adv"), someMask));
}

// A run of "only one file" over a video long enough to be stopped half-way.
void WindowWorkTest::startLongRun(const QString& base)
{
    openVideo(*window, base);
    child<QComboBox>("cb_process_conf")->setCurrentIndex(1);
    button("pb_algo")->click();
    QCOMPARE(button("pb_algo")->text(), QStringLiteral("Cancel"));
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("la_Num_Frame")->text().toDouble() >= 100, runTimeout);
}

// A drawing half done in one folder, then another folder chosen: nothing of the first folder
// stays on screen or can be saved, and its region files keep what they held.
void WindowWorkTest::leavingAFolderDropsTheEditAndWritesNothing()
{
    QVERIFY(makeVideo(dir->video(QStringLiteral("first")), {320, 240}));
    writeRegions(QStringLiteral("first"));
    QFile garbage(dir->video(QStringLiteral("broken")));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("not a video") > 0);
    garbage.close();
    startWindow();
    openVideo(*window, QStringLiteral("first"));
    button("pb_clearmask")->click(); // a mask being drawn, not saved
    QVERIFY(window->regionEditor().mode() == RegionEditor::EditMask);
    window->statusBar()->showMessage(QStringLiteral("about the first folder"));

    QTemporaryDir other;
    answerChooser(other.path(), true);
    QTest::mouseClick(button("pb_videofile"), Qt::LeftButton);
    QCOMPARE(QDir(child<QLineEdit>("le_videofile")->text()), QDir(other.path()));

    for (const char* name : regionAndShiftButtons)
        QVERIFY2(!button(name)->isEnabled(), name);
    QCOMPARE(window->regionEditor().mode(), RegionEditor::NoEdit);
    QVERIFY(window->regionEditor().regions().area.empty());
    QVERIFY(window->regionEditor().regions().mask.empty());
    QVERIFY(child<QGraphicsView>("gv_video")->scene()->items().isEmpty());
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    for (const char* slot : {"savemask", "savearea", "on_pb_savebox_clicked"})
        QMetaObject::invokeMethod(window.get(), slot);
    tick();
    QVERIFY(child<QGraphicsView>("gv_video")->scene()->items().isEmpty());
    QCOMPARE(readText(dir->exported(QStringLiteral("first"), "_area.adv")), someArea);
    QCOMPARE(readText(dir->exported(QStringLiteral("first"), "_mask.adv")), someMask);

    // A file that cannot be opened: the previous video's frame and regions go too.
    dir->makeCurrent();
    window = std::make_unique<MainWindow>();
    openVideo(*window, QStringLiteral("first"));
    QVERIFY(!window->regionEditor().regions().area.empty());
    openVideo(*window, QStringLiteral("broken"));
    QVERIFY(child<QGraphicsView>("gv_video")->scene()->items().isEmpty());
    QVERIFY(window->regionEditor().regions().area.empty());
    QVERIFY(window->statusBar()->currentMessage().contains(QStringLiteral("broken.mp4")));
    for (const char* name : regionAndShiftButtons)
        QVERIFY2(!button(name)->isEnabled(), name);
}

// "No" keeps the run going; "Yes" stops it as a Cancel would (the .part file kept, the folder
// unlocked) before close() returns, and every other window of the program closes with it.
void WindowWorkTest::closingDuringARunAsksThenStopsIt()
{
    QVERIFY(makeVideo(dir->video(QStringLiteral("long")), {320, 240}, 1500));
    writeRegions(QStringLiteral("long"));
    startWindow();
    QPointer<ActivityView> activity = ActivityView::open(dir->path(), window.get());
    QVERIFY(activity->isVisible());
    startLongRun(QStringLiteral("long"));

    QString question;
    answerNextQuestion(QMessageBox::No, &question);
    QVERIFY(!window->close());
    QVERIFY(question.contains(QStringLiteral("Stop")));
    QVERIFY(window->isVisible());
    QCOMPARE(button("pb_algo")->text(), QStringLiteral("Cancel"));

    answerNextQuestion(QMessageBox::Yes);
    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    QVERIFY(activity.isNull() || !activity->isVisible());
    QVERIFY(QFileInfo::exists(dir->exported(QStringLiteral("long"), ".csv.part")));
    QVERIFY(!QFileInfo::exists(dir->exported(QStringLiteral("long"), ".csv")));
    QVERIFY(!QFileInfo::exists(dir->path() + QStringLiteral("/exportCSV/") +
                               QLatin1String(RunLock::fileName)));
}

// Both questions name the files and the mode the run record gives; "No" changes nothing.
void WindowWorkTest::deletingAndReplacingResultsAskFirst()
{
    QVERIFY(makeVideo(dir->video(QStringLiteral("done")), {320, 240}));
    writeRegions(QStringLiteral("done"));
    QVERIFY(writeText(dir->exported(QStringLiteral("done"), ".csv"), someResult));
    QVERIFY(writeText(dir->exported(QStringLiteral("done"), "_run.json"),
                      QStringLiteral("{\"program\": \"orvane\", \"countingMode\": \"strict\"}")));
    startWindow();
    openVideo(*window, QStringLiteral("done"));

    QString question;
    answerNextQuestion(QMessageBox::No, &question);
    child<QComboBox>("cb_process_conf")->setCurrentIndex(1);
    button("pb_algo")->click();
    QVERIFY2(question.contains(QStringLiteral("done.csv (made with strict counting)")),
             qPrintable(question));
    QCOMPARE(button("pb_algo")->text(), QStringLiteral("Process"));
    QCOMPARE(readText(dir->exported(QStringLiteral("done"), ".csv")), someResult);

    question.clear();
    activate();
    answerNextQuestion(QMessageBox::No, &question);
    QTest::keyClick(child("tv_file"), Qt::Key_Delete);
    QVERIFY2(question.contains(QStringLiteral("done.csv (made with strict counting)")),
             qPrintable(question));
    QCOMPARE(readText(dir->exported(QStringLiteral("done"), ".csv")), someResult);
    QCOMPARE(window->results().size(), 2);

    QVERIFY(writeText(dir->exported(QStringLiteral("done"), ".csv.part"), someResult));
    activate();
    answerNextQuestion(QMessageBox::Yes, &question);
    QTest::keyClick(child("tv_file"), Qt::Key_Delete);
    QVERIFY2(question.contains(QStringLiteral("done.csv.part")), qPrintable(question));
    QVERIFY(!QFileInfo::exists(dir->exported(QStringLiteral("done"), ".csv")));
    QVERIFY(!QFileInfo::exists(dir->exported(QStringLiteral("done"), ".csv.part")));
    QCOMPARE(window->results().size(), 0);
}

// The run replaced nothing, so the table shows the earlier complete result again, not the
// events of the stopped run.
void WindowWorkTest::afterCancelTheTableShowsTheFile()
{
    QVERIFY(makeVideo(dir->video(QStringLiteral("long")), {320, 240}, 1500));
    writeRegions(QStringLiteral("long"));
    QVERIFY(writeText(dir->exported(QStringLiteral("long"), ".csv"), someResult));
    startWindow();
    answerNextQuestion(QMessageBox::Yes);
    startLongRun(QStringLiteral("long"));

    button("pb_algo")->click();
    QTRY_COMPARE_WITH_TIMEOUT(button("pb_algo")->text(), QStringLiteral("Process"), runTimeout);
    QCOMPARE(readText(dir->exported(QStringLiteral("long"), ".csv")), someResult);
    QCOMPARE(window->results().size(), 2);
    QCOMPARE(window->results().at(0).frame, 100.0);
    QCOMPARE(window->results().at(1).frame, 120.0);
}

// Paused, nothing is written; each new frame is; ".jpg" is added; a second press stops it; a
// file that cannot be written is told once.
void WindowWorkTest::saveImageIsAToggleWritingNewPicturesOnly()
{
    QVERIFY(makeVideo(dir->video(QStringLiteral("clip")), {320, 240}, 130));
    startWindow();
    openVideo(*window, QStringLiteral("clip"));
    QTemporaryDir out;
    const QString chosen = out.filePath(QStringLiteral("shot"));
    const QString written = chosen + QStringLiteral(".jpg");
    auto* save = button("pushButton_2");

    answerChooser(chosen, false);
    save->click();
    QVERIFY(save->isChecked());
    QVERIFY(QFileInfo::exists(written)); // the picture on screen
    QVERIFY(QFile::remove(written));
    for (int i = 0; i < 3; ++i)
        tick();
    QVERIFY(!QFileInfo::exists(written)); // paused: no new picture
    window->slow_forward();
    tick();
    QVERIFY(QFileInfo::exists(written));
    QVERIFY(!cv::imread(QFile::encodeName(written).toStdString()).empty());

    save->click();
    QVERIFY(!save->isChecked());
    QVERIFY(QFile::remove(written));
    window->slow_forward();
    tick();
    QVERIFY(!QFileInfo::exists(written));

    // The folder disappears while saving: one message for any number of frames.
    QVERIFY(QDir(out.path()).mkdir(QStringLiteral("gone")));
    answerChooser(out.filePath(QStringLiteral("gone/shot.jpg")), false);
    save->click();
    QVERIFY(QDir(out.filePath(QStringLiteral("gone"))).removeRecursively());
    QStringList messages;
    connect(window->statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& m) { messages << m; });
    for (int i = 0; i < 3; ++i) {
        window->slow_forward();
        tick();
    }
    QCOMPARE(messages.filter(QStringLiteral("Cannot save the image")).size(), 1);
}

// The button opens the import dialog for the working directory, with the raw streams' frame rate
// to choose.
void WindowWorkTest::importButtonOpensTheDialog()
{
    startWindow();
    auto* import = button("pb_Import");
    QVERIFY(import->isVisible() && import->isEnabled());
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        auto* dialog = qobject_cast<ImportWindow*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QSpinBox*>(QStringLiteral("sb_fps"))->value(), 90);
        opened = true;
        dialog->Close();
    });
    import->click();
    QVERIFY(opened);
}

// No working directory: the panel offers the demo folder, which becomes the working directory
// with its video listed; the panel then goes.
void WindowWorkTest::firstStartOffersTheDemoFolder()
{
    window = std::make_unique<MainWindow>();
    window->show();
    auto* panel = child("w_firstStart");
    QVERIFY(panel->isVisible());
    QVERIFY(child<QPushButton>("pb_chooseFolder")->isVisible());
    button("pb_demo")->click();
    auto* files = child<QTableView>("tv_file");
    // Generous: the demo is a 400-frame 1280 x 720 video, made once per test folder.
    QTRY_COMPARE_WITH_TIMEOUT(files->model()->rowCount(), 1, 4 * runTimeout);
    const QString stored = QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
                               .value(QStringLiteral("currentPath"))
                               .toString();
    QCOMPARE(child<QLineEdit>("le_videofile")->text(), stored);
    QVERIFY(stored.endsWith(QStringLiteral("Orvane/demo")));
    QVERIFY(!panel->isVisible());
    openVideo(*window, files->model()->index(0, 0).data().toString());
    QVERIFY(button("pb_algo")->isEnabled()); // the demo comes with its regions
}

QTEST_MAIN(WindowWorkTest)
#include "windowwork_test.moc"
