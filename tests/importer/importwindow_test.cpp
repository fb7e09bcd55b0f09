#include "importtestsupport.h"
#include "importwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <opencv2/videoio.hpp>

namespace
{

// Generous: the whole sequence of a few tiny files takes well under a second.
constexpr int sequenceTimeout = 120000;

QSettings settings()
{
    return QSettings("Brellico", "Orvane");
}

QStringList listed(ImportWindow& dialog)
{
    QStringList items;
    const auto* list = dialog.findChild<QListWidget*>("lw_filevideo");
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QStringList fileNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// Answers the next modal folder chooser: with `folder`, or cancels it when `folder` is empty.
void answerChooser(const QString& folder)
{
    QTimer::singleShot(0, [folder] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        if (folder.isEmpty()) {
            chooser->reject();
            return;
        }
        chooser->setDirectory(folder);
        QMetaObject::invokeMethod(chooser, "accept");
    });
}

} // namespace

class ImportWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        putToolOnPath();
        QVERIFY(source.isValid() && destination.isValid());
    }

    void init()
    {
        settings().remove("PathImport");
        for (const QString& dir : {source.path(), destination.path()}) {
            for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::System))
                QFile::remove(dir + "/" + name);
        }
    }

    void startsWithoutFolderAndEmptyList()
    {
        ImportWindow dialog(destination.path());
        QCOMPARE(dialog.windowTitle(), QString("Import"));
        QCOMPARE(dialog.minimumSize(), QSize(560, 500));
        QCOMPARE(dialog.maximumSize(), QSize(560, 500));
        QVERIFY(dialog.findChild<QLineEdit*>("le_videofile")->text().isEmpty());
        QVERIFY(listed(dialog).isEmpty());
    }

    void listsImportableFilesOfTheRememberedFolder()
    {
        for (const char* name : {"a.mp4", "VIDEO.MP4", "b.Avi", "c.h264", "notes.txt"})
            QVERIFY(writeFile(source.filePath(name), "x"));
        QVERIFY(QDir(source.path()).mkpath("folder.mp4"));
        QVERIFY(QFile::link(source.filePath("a.mp4"), source.filePath("link.mp4")));
        settings().setValue("PathImport", source.path());

        ImportWindow dialog(destination.path());

        QCOMPARE(dialog.findChild<QLineEdit*>("le_videofile")->text(), source.path());
        QStringList names;
        for (const QString& path : listed(dialog)) {
            QCOMPARE(QFileInfo(path).absolutePath(), source.path());
            names << QFileInfo(path).fileName();
        }
        names.sort();
        QCOMPARE(names, (QStringList{"VIDEO.MP4", "a.mp4", "b.Avi", "c.h264"}));
        QDir(source.path()).rmdir("folder.mp4");
    }

    // The whole road: three recordings imported in listing order, the overall bar counting
    // them, each row then saying what became of its file (the raw stream wrapped at the rate
    // chosen), the other files named as not imported, and three playable MP4 files.
    void importsEachFileInListOrderAndShowsOutcomes()
    {
        QVERIFY(makeVideo(source.filePath("a.mp4"), 10, {"-c:v", "libx264"}));
        QVERIFY(makeVideo(source.filePath("b.avi"), 10, {"-c:v", "mpeg4"}));
        QVERIFY(makeRawH264(source.filePath("c.h264"), 10));
        QVERIFY(writeFile(source.filePath("notes.txt"), "x"));
        settings().setValue("PathImport", source.path());
        ImportWindow dialog(destination.path());
        auto* overall = dialog.findChild<QProgressBar*>("pb_file");
        auto* current = dialog.findChild<QLabel*>("la_currentfile");
        dialog.findChild<QSpinBox*>("sb_fps")->setValue(30);
        QStringList finished;
        connect(overall, &QProgressBar::valueChanged, this,
                [&](int value) { finished << QString::number(value) + " " + current->text(); });
        dialog.show();
        const QStringList order = listed(dialog);
        QCOMPARE(order.size(), 3);

        dialog.Import();
        dialog.Import(); // ignored: a sequence is running
        QCOMPARE(overall->maximum(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(listed(dialog).size(), 4, sequenceTimeout);

        QVERIFY(dialog.isVisible());
        QCOMPARE(finished, (QStringList{"1 " + order[0], "2 " + order[1], "3 " + order[2]}));
        const QStringList outcomes = listed(dialog);
        QVERIFY(outcomes.contains(QString::fromUtf8("a.mp4 \u2014 copied as a.mp4")));
        QVERIFY(outcomes.contains(QString::fromUtf8("b.avi \u2014 copied as b.mp4")));
        QVERIFY(outcomes.contains(QString::fromUtf8("c.h264 \u2014 converted as c.mp4")));
        QCOMPARE(outcomes.last(), QString::fromUtf8("notes.txt \u2014 skipped: not a recording"));
        QCOMPARE(fileNames(destination.path()), (QStringList{"a.mp4", "b.mp4", "c.mp4"}));
        for (const QString& name : fileNames(destination.path())) {
            cv::VideoCapture video(destination.filePath(name).toStdString());
            QVERIFY2(video.isOpened(), qPrintable(name));
            QCOMPARE(video.get(cv::CAP_PROP_FRAME_COUNT), 10.0);
            if (name == "c.mp4")
                QCOMPARE(video.get(cv::CAP_PROP_FPS), 30.0);
        }
        QCOMPARE(settings().value("importStreamFps").toInt(), 30);
        settings().remove("importStreamFps");
    }

    void folderWithoutFilesStartsNothing()
    {
        settings().setValue("PathImport", source.path());
        ImportWindow dialog(destination.path());
        dialog.show();
        dialog.Import();
        QCOMPARE(dialog.findChild<QProgressBar*>("pb_file")->maximum(), 0);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.findChild<QLabel*>("la_currentfile")->text().isEmpty());
    }

    void cancellingTheChooserChangesNothing()
    {
        settings().setValue("PathImport", destination.path());
        ImportWindow dialog(destination.path());
        answerChooser(QString());
        dialog.set_filename_videofile();
        QCOMPARE(dialog.findChild<QLineEdit*>("le_videofile")->text(), destination.path());
        QCOMPARE(settings().value("PathImport").toString(), destination.path());
    }

    void choosingAFolderListsAndRemembersIt()
    {
        QVERIFY(writeFile(source.filePath("a.mp4"), "x"));
        ImportWindow dialog(destination.path());
        answerChooser(source.path());
        dialog.set_filename_videofile();
        QCOMPARE(dialog.findChild<QLineEdit*>("le_videofile")->text(), source.path());
        QCOMPARE(listed(dialog), QStringList{source.filePath("a.mp4")});
        QCOMPARE(settings().value("PathImport").toString(), source.path());
    }

    // Closing the dialog early only hides it: the remaining files are still imported and the
    // dialog releases itself after the last one.
    void closedEarlyFinishesTheSequenceThenReleasesItself()
    {
        for (const char* name : {"a.mp4", "b.mp4", "c.avi"})
            QVERIFY(writeFile(source.filePath(name), patternBytes(200000)));
        settings().setValue("PathImport", source.path());
        QPointer<ImportWindow> shown;
        QTimer::singleShot(0, [&shown] {
            shown = qobject_cast<ImportWindow*>(QApplication::activeModalWidget());
            QVERIFY(shown);
            shown->Import();
            shown->Close();
        });

        ImportWindow::runModal(destination.path());

        QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), sequenceTimeout);
        QCOMPARE(fileNames(destination.path()), (QStringList{"a.mp4", "b.mp4", "c.mp4"}));
    }

private:
    QTemporaryDir source;
    QTemporaryDir destination;
};

QTEST_MAIN(ImportWindowTest)
#include "importwindow_test.moc"
