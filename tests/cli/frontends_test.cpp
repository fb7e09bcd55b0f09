// The window's "Process" and orvane-count drive the same analysis run, so for the same videos
// and regions they must leave the very same files behind.
#include "countcommand.h"
#include "mainwindow.h"
#include "testclips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

using namespace testclips;

namespace
{

const cv::Size clipSize{320, 240};
const int clipFrames = 130;
const char* const outputSuffixes[] = {ExportPath::resultSuffix, ExportPath::densityImageSuffix,
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

private:
    void resetOutputs();
    QMap<QString, QByteArray> outputs() const;
    void runWindow(int selection, bool trajectories);
    void runCommand(bool onlyUnprocessed);

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

void FrontendsTest::runWindow(int selection, bool trajectories)
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
    QVERIFY(regionsRow >= 0);
    table->setCurrentIndex(model->index(regionsRow, 0));
    window.findChild<QCheckBox*>(QStringLiteral("cb_vorlview"))->setChecked(trajectories);
    window.findChild<QComboBox*>(QStringLiteral("cb_process_conf"))->setCurrentIndex(selection);
    auto* process = window.findChild<QPushButton*>(QStringLiteral("pb_algo"));
    QCOMPARE(process->text(), QStringLiteral("Process"));
    window.algo();
    QTRY_COMPARE_WITH_TIMEOUT(process->text(), QStringLiteral("Process"), 120000);
}

void FrontendsTest::runCommand(bool onlyUnprocessed)
{
    CountOptions options;
    options.onlyUnprocessed = onlyUnprocessed;
    options.quiet = true;
    options.paths = QStringList{dir.path()};
    std::ostringstream out, err;
    QCOMPARE(runCount(options, {out, err, false}), int(ExitAnalysed));
}

void FrontendsTest::sameFilesFromBothFrontEnds_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<bool>("trajectories"); // shown in the window; nothing written may change
    QTest::newRow("all files") << 2 << false;
    QTest::newRow("only unprocessed files") << 0 << false;
    QTest::newRow("all files, trajectories shown") << 2 << true;
}

void FrontendsTest::sameFilesFromBothFrontEnds()
{
    QFETCH(int, selection);
    QFETCH(bool, trajectories);
    const bool onlyUnprocessed = selection == 0;

    resetOutputs();
    runWindow(selection, trajectories);
    const QMap<QString, QByteArray> fromWindow = outputs();
    resetOutputs();
    runCommand(onlyUnprocessed);
    const QMap<QString, QByteArray> fromCommand = outputs();

    QCOMPARE(fromCommand.keys(), fromWindow.keys());
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

QTEST_MAIN(FrontendsTest)
#include "frontends_test.moc"
