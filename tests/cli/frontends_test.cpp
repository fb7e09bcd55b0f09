// The window's "Process" and orvane-count drive the same analysis run, so for the same videos,
// regions and counting mode they must leave the very same files behind.
#include "countcommand.h"
#include "mainwindow.h"
#include "resultrecord.h"
#include "runlock.h"
#include "testclips.h"
#include "videofiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

using namespace testclips;

Q_DECLARE_METATYPE(CountingMode)

namespace
{

const cv::Size clipSize{320, 240};
const int clipFrames = 130;
const char* const outputSuffixes[] = {ExportPath::resultSuffix, ExportPath::partialResultSuffix,
                                      ExportPath::densityImageSuffix,
                                      ExportPath::densityTextSuffix};
const QByteArray earlierResult = "Frame;X;Y;In;Out;Timestamp\n7;1;2;1;0;2015-06-12_16:00:00\n";

} // namespace

class FrontendsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sameFilesFromBothFrontEnds_data();
    void sameFilesFromBothFrontEnds();
    void sameOutcomesForSkippedAndFailedVideos();
    void lockedFolderIsRefusedByBoth();

private:
    void resetOutputs();
    QMap<QString, QByteArray> outputs() const;
    // The records of the results, without what tells the runs apart (program, times, host).
    QMap<QString, QByteArray> records(const QString& program) const;
    // The status bar's message at the end of the run.
    QString runWindow(int selection, bool trajectories = false,
                      CountingMode mode = CountingMode::Classic);
    QVector<VideoOutcome> runCommand(bool onlyUnprocessed, int status = ExitAnalysed,
                                     CountingMode mode = CountingMode::Classic);

    QTemporaryDir config;
    QTemporaryDir dir;
    QStringList videos; // the first one carries the regions; the last one was analysed before
};

void FrontendsTest::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const std::vector<std::vector<videogen::Blob>> insects = {
        {movingAlongRow(64, 120, 5, 95)},
        {movingAlongRow(256, 60, -5, 97), movingAlongRow(40, 190, 4, 100)},
        {movingAlongRow(70, 100, 6, 96)}};
    for (size_t i = 0; i < insects.size(); ++i) {
        const QString name = QStringLiteral("video_20150612_14%1_0%2.mp4").arg(i * 10 + 10).arg(i);
        videos << writeClip(dir.path(), name, clipSize, clipFrames, insects[i]);
        QVERIFY(!videos.last().isEmpty());
    }
    QVERIFY(saveRegions(videos.first(), {{160, 20}, {160, 220}}, box(5, 5, 315, 235)));
}

// Back to the state before any run: no outputs, and the last video analysed earlier.
void FrontendsTest::resetOutputs()
{
    for (const QString& video : videos) {
        for (const char* suffix : outputSuffixes)
            QFile::remove(exported(video, suffix));
        QFile::remove(VideoFiles(video).record());
    }
    QFile done(exported(videos.last(), ExportPath::resultSuffix));
    QVERIFY(done.open(QIODevice::WriteOnly));
    done.write(earlierResult);
}

QMap<QString, QByteArray> FrontendsTest::outputs() const
{
    QMap<QString, QByteArray> files;
    for (const QString& video : videos) {
        for (const char* suffix : outputSuffixes) {
            const QString path = exported(video, suffix);
            if (QFileInfo::exists(path))
                files.insert(path, contents(path));
        }
    }
    return files;
}

QMap<QString, QByteArray> FrontendsTest::records(const QString& program) const
{
    QMap<QString, QByteArray> found;
    for (const QString& video : videos) {
        ResultRecord record;
        if (!ResultRecord::read(VideoFiles(video).record(), record))
            continue;
        if (record.program != program || !record.started.isValid() ||
            record.ended < record.started) {
            found.insert(video, "made by " + record.program.toUtf8() + " or at the wrong times");
            continue;
        }
        record.program.clear();
        record.started = record.ended = QDateTime();
        record.host.clear();
        found.insert(video, record.toJson());
    }
    return found;
}

QString FrontendsTest::runWindow(int selection, bool trajectories, CountingMode mode)
{
    QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
        .setValue(QStringLiteral("currentPath"), dir.path());
    MainWindow window;
    window.show();
    auto* table = window.findChild<QTableView*>(QStringLiteral("tv_file"));
    const QAbstractItemModel* model = table->model();
    int regionsRow = -1;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == ExportPath::baseName(videos.first()))
            regionsRow = row;
    }
    if (regionsRow < 0)
        return QString();
    table->setCurrentIndex(model->index(regionsRow, 0));
    window.findChild<QCheckBox*>(QStringLiteral("cb_vorlview"))->setChecked(trajectories);
    window.findChild<QComboBox*>(QStringLiteral("cb_process_conf"))->setCurrentIndex(selection);
    auto* counting = window.findChild<QComboBox*>(QStringLiteral("cb_counting"));
    // The folder holds a result made before records were kept, so it opens classic.
    if (counting->currentIndex() != static_cast<int>(CountingMode::Classic))
        return QStringLiteral("the folder opened with %1").arg(counting->currentText());
    counting->setCurrentIndex(static_cast<int>(mode));
    auto* process = window.findChild<QPushButton*>(QStringLiteral("pb_algo"));
    // A run that replaces the earlier result asks first; the user agrees.
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    window.algo();
    // The run goes on on a thread of its own; the window's timer shows it until it has ended.
    QElapsedTimer waited;
    waited.start();
    while (process->text() != QLatin1String("Process") && waited.elapsed() < 120000)
        QTest::qWait(10);
    return process->text() == QLatin1String("Process") ? window.statusBar()->currentMessage()
                                                       : QString();
}

QVector<VideoOutcome> FrontendsTest::runCommand(bool onlyUnprocessed, int status, CountingMode mode)
{
    CountOptions options;
    options.onlyUnprocessed = onlyUnprocessed;
    options.counting = mode;
    options.countingGiven = true;
    options.quiet = true;
    options.paths = QStringList{dir.path()};
    std::ostringstream out, err;
    QVector<VideoOutcome> outcomes;
    const int exitStatus = runCount(options, {out, err, false}, &outcomes);
    if (exitStatus != status)
        qWarning() << "orvane-count exited with" << exitStatus << err.str().c_str();
    return exitStatus == status ? outcomes : QVector<VideoOutcome>();
}

void FrontendsTest::sameFilesFromBothFrontEnds_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<bool>("trajectories"); // shown in the window; nothing written may change
    QTest::addColumn<CountingMode>("mode");
    QTest::newRow("all files") << 2 << false << CountingMode::Classic;
    QTest::newRow("only unprocessed files") << 0 << false << CountingMode::Classic;
    QTest::newRow("all files, trajectories shown") << 2 << true << CountingMode::Classic;
    QTest::newRow("all files, strict") << 2 << false << CountingMode::Strict;
    QTest::newRow("only unprocessed files, strict") << 0 << true << CountingMode::Strict;
}

void FrontendsTest::sameFilesFromBothFrontEnds()
{
    QFETCH(int, selection);
    QFETCH(bool, trajectories);
    QFETCH(CountingMode, mode);
    const bool onlyUnprocessed = selection == 0;

    resetOutputs();
    const QString message = runWindow(selection, trajectories, mode);
    QVERIFY2(message.startsWith(
                 QStringLiteral("Analysis finished: %1 video(s)").arg(onlyUnprocessed ? 2 : 3)),
             qPrintable(message));
    const QMap<QString, QByteArray> fromWindow = outputs();
    const QMap<QString, QByteArray> windowRecords = records(QStringLiteral("orvane"));
    resetOutputs();
    QCOMPARE(runCommand(onlyUnprocessed, ExitAnalysed, mode).size(), onlyUnprocessed ? 2 : 3);
    const QMap<QString, QByteArray> fromCommand = outputs();

    QCOMPARE(fromCommand.keys(), fromWindow.keys());
    // Each new result has its record, alike but for the program and the times; the result
    // made before keeps having none.
    QCOMPARE(records(QStringLiteral("orvane-count")), windowRecords);
    QCOMPARE(windowRecords.size(), onlyUnprocessed ? 2 : 3);
    for (const QByteArray& record : windowRecords)
        QVERIFY2(record.contains("\"countingMode\": \"" + countingModeName(mode).toUtf8() + '"'),
                 record.constData());
    // Every video has its three files; the one analysed before keeps its own with "only
    // unprocessed files".
    QCOMPARE(fromWindow.size(), onlyUnprocessed ? 7 : 9);
    if (onlyUnprocessed)
        QCOMPARE(fromWindow.value(exported(videos.last(), ExportPath::resultSuffix)),
                 earlierResult);
    for (auto it = fromWindow.cbegin(); it != fromWindow.cend(); ++it) {
        if (it.key().endsWith(QLatin1String(ExportPath::densityImageSuffix))) {
            const auto decode = [](const QByteArray& bytes) {
                return cv::imdecode(std::vector<uchar>(bytes.begin(), bytes.end()),
                                    cv::IMREAD_UNCHANGED);
            };
            const cv::Mat a = decode(it.value()), b = decode(fromCommand.value(it.key()));
            QVERIFY(!a.empty());
            QCOMPARE(a.size(), b.size());
            QCOMPARE(cv::norm(a, b, cv::NORM_INF), 0.0);
        } else {
            QCOMPARE(fromCommand.value(it.key()), it.value());
        }
    }
    // The line crossings were counted: the results are not trivially equal.
    QVERIFY(fromWindow.value(exported(videos.first(), ExportPath::resultSuffix)).count('\n') > 1);
}

// A video of another frame size is skipped, one whose density picture cannot be written fails:
// both front ends name the same videos with the same reasons, and leave the same files.
void FrontendsTest::sameOutcomesForSkippedAndFailedVideos()
{
    const QString small = writeClip(dir.path(), QStringLiteral("video_20150612_1500_09.mp4"),
                                    {160, 120}, clipFrames, {});
    QVERIFY(!small.isEmpty());
    const QString blocked = exported(videos.at(1), ExportPath::densityImageSuffix);

    resetOutputs();
    QVERIFY(QDir().mkpath(blocked));
    const QString message = runWindow(2);
    const QMap<QString, QByteArray> fromWindow = outputs();
    resetOutputs();
    const QVector<VideoOutcome> outcomes = runCommand(false, ExitFailed);
    const QMap<QString, QByteArray> fromCommand = outputs();
    QDir(blocked).removeRecursively();
    QFile::remove(small);

    QCOMPARE(outcomes.size(), 4);
    QVERIFY2(message.startsWith(QStringLiteral("Analysis finished: 2 video(s)")),
             qPrintable(message));
    for (const VideoOutcome& o : outcomes) {
        if (o.kind == VideoOutcome::Analysed)
            continue;
        const QString named = QStringLiteral("%1 (%2)").arg(QFileInfo(o.path).fileName(), o.reason);
        QVERIFY2(message.contains((o.kind == VideoOutcome::Skipped ? QStringLiteral("skipped: ")
                                                                   : QStringLiteral("failed: ")) +
                                  named),
                 qPrintable(message + QStringLiteral(" / ") + named));
    }
    QCOMPARE(fromCommand.keys(), fromWindow.keys());
    QVERIFY(fromWindow.contains(exported(videos.at(1), ExportPath::partialResultSuffix)));
    QVERIFY(!fromWindow.contains(exported(videos.at(1), ExportPath::resultSuffix)));
    QCOMPARE(fromCommand.value(exported(videos.at(1), ExportPath::partialResultSuffix)),
             fromWindow.value(exported(videos.at(1), ExportPath::partialResultSuffix)));
}

// Another run holds the folder: neither front end starts, and no file changes.
void FrontendsTest::lockedFolderIsRefusedByBoth()
{
    resetOutputs();
    const QMap<QString, QByteArray> before = outputs();
    RunLock other;
    QVERIFY(other.acquire({videos.first()}));

    const QString message = runWindow(2);
    QVERIFY2(message.startsWith(QStringLiteral("Analysis not started: another analysis run")),
             qPrintable(message));
    QVERIFY(runCommand(false, ExitSkipped).isEmpty());
    QCOMPARE(outputs(), before);
}

QTEST_MAIN(FrontendsTest)
#include "frontends_test.moc"
