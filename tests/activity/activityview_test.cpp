#include "activitycharts.h"
#include "activityexport.h"
#include "activityfolder.h"
#include "activityview.h"
#include "actogramcells.h"
#include "mainwindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtTest>

using namespace QtCharts;
using namespace activityfolder;

namespace
{

QBarSet* barSet(QChartView* view, const char* name)
{
    for (QAbstractSeries* s : view->chart()->series()) {
        if (auto* bars = qobject_cast<QBarSeries*>(s)) {
            for (QBarSet* set : bars->barSets()) {
                if (set->label() == QLatin1String(name))
                    return set;
            }
        }
    }
    return nullptr;
}

QAreaSeries* area(QChartView* view, const QString& name)
{
    for (QAbstractSeries* s : view->chart()->series()) {
        if (s->name() == name)
            return qobject_cast<QAreaSeries*>(s);
    }
    return nullptr;
}

} // namespace

class ActivityViewTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void barsEqualTheModulesBins();
    void unrecordedBinsAreShadedNotZero();
    void actogramCellsEqualTheBins();
    void doublePlottedRowsShowTheNextDay();
    void profileBarsArePerRecordedHour();
    void csvExportAndImage();
    void windowButtonOpensTheView();
    void savedImageIsTheShownActogramAndTheViewFollowsTheFolder();
    void choicesAreRememberedAndAnEmptyFolderGetsAHint();

private:
    QTemporaryDir dir;
    QString d;
};

// Two days: the 12th recorded 10:00-12:00 with events, the 13th 10:00-11:00 without any; the
// 14th has a line crossing at 09:05 in a ten-minute recording.
void ActivityViewTest::init()
{
    QVERIFY(dir.isValid());
    QSettings("Brellico", "Orvane").remove("activity");
    d = dir.path();
    if (QFile::exists(d + "/video_20150612_0959_01.mp4"))
        return;
    QByteArray rows;
    for (int i = 0; i < 7; ++i)
        rows += row(QStringLiteral("2015-06-12_10:%1:00").arg(i * 5 + 1, 2, 10, QChar('0')), 1, 0);
    rows += row("2015-06-12_11:30:00", 0, 1);
    QVERIFY(addRecording(d, "20150612_0959", 7200, rows));
    QVERIFY(addRecording(d, "20150613_0959", 3600, ""));
    QVERIFY(addRecording(d, "20150614_0904", 600, row("2015-06-14_09:05:30", 1, 1)));
}

void ActivityViewTest::barsEqualTheModulesBins()
{
    ActivityView view({d});
    for (int width : {int(BinWidth::hour), int(BinWidth::tenMinutes), int(BinWidth::day)}) {
        view.setBinSeconds(width);
        const ActivityTable& table = view.views().table;
        QCOMPARE(table.binSeconds, width);
        QCOMPARE(table.days(), 3);
        QBarSet* in = barSet(view.timeSeriesView(), ActivityCharts::inName);
        QBarSet* out = barSet(view.timeSeriesView(), ActivityCharts::outName);
        QBarSet* crossings = barSet(view.timeSeriesView(), ActivityCharts::crossingsName);
        QVERIFY(in && out && crossings);
        QCOMPARE(in->count(), table.bins.size());
        int total = 0;
        for (int i = 0; i < table.bins.size(); ++i) {
            QCOMPARE(in->at(i), double(table.bins[i].in));
            QCOMPARE(out->at(i), double(table.bins[i].out));
            QCOMPARE(crossings->at(i), double(table.bins[i].crossings));
            total += table.bins[i].events();
        }
        QCOMPARE(total, 9);
    }
}

void ActivityViewTest::unrecordedBinsAreShadedNotZero()
{
    ActivityView view({d});
    const ActivityTable& table = view.views().table;
    QAreaSeries* shade = area(view.timeSeriesView(), ActivityCharts::unrecordedName);
    QVERIFY(shade);
    // Four points per shaded bin, at its centre plus and minus half a bin.
    QSet<int> shaded;
    const QVector<QPointF> points = shade->upperSeries()->pointsVector();
    for (int i = 0; i < points.size(); i += 4)
        shaded.insert(qRound(points[i].x() + 0.5));
    for (int i = 0; i < table.bins.size(); ++i)
        QCOMPARE(shaded.contains(i), !table.bins[i].recorded());
    QVERIFY(!shaded.contains(10 + 24)); // recorded, no events: a bar of 0, not shaded
    QVERIFY(shaded.contains(11 + 24));
}

void ActivityViewTest::actogramCellsEqualTheBins()
{
    ActivityView view({d});
    const ActivityTable& table = view.views().withinDay;
    const Actogram gram = actogramOf(table, false);
    QCOMPARE(gram.rows, 3);
    QCOMPARE(gram.columns, 24);
    int recorded = 0;
    for (const ActivityBin& bin : table.bins)
        recorded += bin.recorded();
    QCOMPARE(gram.cells.size(), recorded);
    for (const ActogramCell& cell : gram.cells) {
        QCOMPARE(cell.bin, cell.row * 24 + cell.column);
        QCOMPARE(cell.count, table.bins[cell.bin].events());
        QVERIFY(cell.count >= levelStart(cell.level, gram.maxCount) || cell.level == 0);
    }
    // Every cell is one rectangle of its level's series: six points after the first.
    QCOMPARE(view.actogramView()->chart()->series().size(), actogramLevels + 1);
    int drawn = 0;
    for (QAbstractSeries* s : view.actogramView()->chart()->series()) {
        const int points = static_cast<QAreaSeries*>(s)->upperSeries()->count();
        drawn += points ? (points - 1) / 6 : 0;
    }
    QCOMPARE(drawn, gram.cells.size());
    // 10:00 on the 12th holds 7 events, the most of any hour: the top level.
    const auto busiest = std::find_if(gram.cells.begin(), gram.cells.end(),
                                      [](const ActogramCell& c) { return c.count == 7; });
    QVERIFY(busiest != gram.cells.end());
    QCOMPARE(busiest->level, actogramLevels);
}

void ActivityViewTest::doublePlottedRowsShowTheNextDay()
{
    ActivityView view({d});
    view.setDoublePlotted(true);
    const Actogram gram = actogramOf(view.views().withinDay, true);
    QCOMPARE(gram.columns, 48);
    // Row 0 shows the 13th's recorded 10:00 at column 24 + 10, row 1 at column 10.
    const auto has = [&](int row, int column) {
        return std::any_of(gram.cells.begin(), gram.cells.end(), [&](const ActogramCell& c) {
            return c.row == row && c.column == column;
        });
    };
    QVERIFY(has(0, 34));
    QVERIFY(has(1, 10));
    QVERIFY(!has(2, 24 + 9)); // no fourth day
    QVERIFY(view.actogramView()->chart()->title().contains("double"));
}

void ActivityViewTest::profileBarsArePerRecordedHour()
{
    ActivityView view({d});
    const QVector<ProfileSlot>& profile = view.views().profile;
    QCOMPARE(profile.size(), 24);
    QBarSet* in = barSet(view.profileView(), ActivityCharts::inName);
    QVERIFY(in);
    // 10:00 recorded on two days (2 h) with 7 In: 3.5 per recorded hour.
    QCOMPARE(in->at(10), 3.5);
    for (int i = 0; i < profile.size(); ++i)
        QCOMPARE(in->at(i), profile[i].perHour(profile[i].in));
    // Every third hour is labelled, from 00:00 to 21:00.
    auto* axis =
        qobject_cast<QCategoryAxis*>(view.profileView()->chart()->axes(Qt::Horizontal).first());
    QVERIFY(axis);
    QCOMPARE(axis->count(), 8);
    QCOMPARE(axis->endValue(axis->categoriesLabels().at(1)), 2.5);
}

void ActivityViewTest::csvExportAndImage()
{
    ActivityView view({d});
    view.setDays(QDate(2015, 6, 13), QDate(2015, 6, 14));
    QCOMPARE(view.views().table.days(), 2);
    const QString csv = d + "/view.csv";
    QCOMPARE(view.exportCsv(csv), QString());
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), ActivityExport::tableCsv(view.views().table));
    QCOMPARE(view.saveImage(d + "/view.png"), QString());
    QVERIFY(!QImage(d + "/view.png").isNull());
    QVERIFY(!view.saveImage(d + "/missing/folder/view.png").isEmpty());
}

void ActivityViewTest::windowButtonOpensTheView()
{
    QSettings settings("Brellico", "Orvane");
    settings.setValue("currentPath", d);
    settings.sync();
    MainWindow window;
    auto* button = window.findChild<QPushButton*>("pb_activity");
    QVERIFY(button && button->isEnabled());
    button->click();
    auto* view = window.findChild<ActivityView*>();
    QVERIFY(view);
    QVERIFY(view->isWindow());
    QCOMPARE(view->activity().resultFiles, 3);
    view->close();
}

// "Save image" writes the actogram as shown (double-plotted here); the open view reads the folder
// again when the window's button is pressed and when a run ends, and confirms a save.
void ActivityViewTest::savedImageIsTheShownActogramAndTheViewFollowsTheFolder()
{
    QTemporaryDir out;
    ActivityView view({d});
    view.setDoublePlotted(true);
    QCOMPARE(view.saveImage(out.filePath("shown.png")), QString());
    QCOMPARE(ActivityCharts::saveImage(view.views(), out.filePath("double.png"), true), QString());
    QCOMPARE(ActivityCharts::saveImage(view.views(), out.filePath("single.png"), false), QString());
    const QImage shown(out.filePath("shown.png"));
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, QImage(out.filePath("double.png")));
    QVERIFY(shown != QImage(out.filePath("single.png")));

    QTemporaryDir folder;
    QVERIFY(addRecording(folder.path(), "20150612_0959", 3600, row("2015-06-12_10:01:00", 1, 0)));
    QSettings("Brellico", "Orvane").setValue("currentPath", folder.path());
    MainWindow window;
    auto* button = window.findChild<QPushButton*>("pb_activity");
    button->click();
    auto* opened = window.findChild<ActivityView*>();
    QCOMPARE(opened->activity().resultFiles, 1);
    QVERIFY(addRecording(folder.path(), "20150613_0959", 3600, row("2015-06-13_10:01:00", 1, 0)));
    button->click();
    QCOMPARE(window.findChildren<ActivityView*>().size(), 1);
    QCOMPARE(opened->activity().resultFiles, 2);
    QVERIFY(addRecording(folder.path(), "20150614_0959", 3600, row("2015-06-14_10:01:00", 1, 0)));
    window.ModeVideo(MainWindow::ProcessingDone); // how every run ends
    QCOMPARE(opened->activity().resultFiles, 3);

    QTimer::singleShot(0, [&out] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        chooser->selectFile(out.filePath("table"));
        QMetaObject::invokeMethod(chooser, "accept");
    });
    for (QPushButton* b : opened->findChildren<QPushButton*>()) {
        if (b->text().startsWith("Export CSV"))
            b->click();
    }
    QVERIFY(QFileInfo::exists(out.filePath("table.csv")));
    QVERIFY2(opened->statusText().contains("table.csv"), qPrintable(opened->statusText()));
    opened->close();
}

void ActivityViewTest::choicesAreRememberedAndAnEmptyFolderGetsAHint()
{
    {
        ActivityView view({d});
        view.setBinSeconds(int(BinWidth::tenMinutes));
        view.setDoublePlotted(true);
    }
    ActivityView again({d});
    QCOMPARE(again.views().table.binSeconds, int(BinWidth::tenMinutes));
    QVERIFY(again.actogramView()->chart()->title().contains("double-plotted"));

    QTemporaryDir empty;
    ActivityView none({empty.path()});
    none.show();
    QVERIFY(none.findChild<QLabel*>("la_activityEmpty")->isVisible());
    QVERIFY(none.findChild<QLabel*>("la_activityEmpty")->text().contains("Process"));
    QVERIFY(!none.timeSeriesView()->isVisible());
}

QTEST_MAIN(ActivityViewTest)
#include "activityview_test.moc"
