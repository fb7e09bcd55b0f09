// The result table controller and the main window's result list: caps, totals, selection, and
// the events loaded from a video's result file.
#include "tableviewresult.h"
#include "windowfixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTextEdit>
#include <QtTest>
#include <limits>
#include <opencv2/videoio.hpp>

using namespace testing_window;

namespace
{
Result sampleEvent(int i)
{
    Result r;
    r.frame = 100 + i;
    r.x = i % 320;
    r.y = i % 240;
    r.in = i % 2;
    r.out = i % 3 == 0 ? 1 : 0;
    r.timestamp = QStringLiteral("2015-06-12_14:03:27");
    return r;
}

QVector<Result> events(int count)
{
    QVector<Result> list;
    for (int i = 0; i < count; ++i)
        list.append(sampleEvent(i));
    return list;
}

// The totals box shows its carriage return as a paragraph break.
QString plain(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString resultFile(const QVector<Result>& list)
{
    QString text = QStringLiteral("Frame;X;Y;In;Out;Timestamp\n");
    for (const Result& r : list)
        text += QStringLiteral("%1;%2;%3;%4;%5;%6\n")
                    .arg(r.frame)
                    .arg(r.x)
                    .arg(r.y)
                    .arg(r.in)
                    .arg(r.out)
                    .arg(r.timestamp);
    return text;
}
} // namespace

class ResultTableTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controllerStartsEmpty();
    void capsAndTotals_data();
    void capsAndTotals();
    void appendingGivesTheTableShownAtOnce();
    void replacedModelIsReleased();
    void selectingARowAnnouncesIt();
    void addResultKeepsAtMost2001();
    void rowOutsideTheListDoesNothing_data();
    void rowOutsideTheListDoesNothing();
    void openingAVideoLoadsItsEvents();
    void selectingAnEventShowsItsFrame();
    void loadingStopsAt2001Events();

private:
    QTableView* resultView() const
    {
        return window->findChild<QTableView*>(QStringLiteral("tv_result"));
    }
    QString totals() const
    {
        return window->findChild<QTextEdit*>(QStringLiteral("te_error"))->toPlainText();
    }
    void startWindow();

    std::unique_ptr<WorkingDirectory> dir;
    std::unique_ptr<MainWindow> window;
    QVector<Result> clipEvents;
};

void ResultTableTest::initTestCase()
{
    dir = std::make_unique<WorkingDirectory>();
    QVERIFY(makeVideo(dir->video(QStringLiteral("clip")), {320, 240}, 130));
    QVERIFY(makeVideo(dir->video(QStringLiteral("busy")), {320, 240}));
    QVERIFY(makeVideo(dir->video(QStringLiteral("quiet")), {320, 240}));
    clipEvents = {sampleEvent(0), sampleEvent(5), sampleEvent(17), sampleEvent(3)};
    QVERIFY(writeText(dir->exported(QStringLiteral("clip"), ".csv"), resultFile(clipEvents)));
    QVERIFY(writeText(dir->exported(QStringLiteral("busy"), ".csv"), resultFile(events(2500))));
    dir->makeCurrent();
}

void ResultTableTest::startWindow()
{
    window = std::make_unique<MainWindow>();
    window->show();
}

void ResultTableTest::controllerStartsEmpty()
{
    QTableView view;
    QTextEdit edit;
    TableViewResult table(&view, &edit);
    QCOMPARE(edit.toPlainText(), plain(QStringLiteral("Int Detected : 0 \rOut Detected : 0")));
    QCOMPARE(view.model()->rowCount(), 0);
    const QStringList headers{"Frame", "X", "Y", "In", "Out"};
    QCOMPARE(view.model()->columnCount(), headers.size());
    const int widths[] = {50, 40, 40, 30, 30};
    for (int c = 0; c < headers.size(); ++c) {
        QCOMPARE(view.model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
        QCOMPARE(view.columnWidth(c), widths[c]);
    }
}

void ResultTableTest::capsAndTotals_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rows");
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("seven") << 7 << 7;
    QTest::newRow("2001") << 2001 << 2001;
    QTest::newRow("2003") << 2003 << 2001;
}

// At most 2001 rows are shown; the totals count every entry of the list.
void ResultTableTest::capsAndTotals()
{
    QFETCH(int, count);
    QFETCH(int, rows);
    QTableView view;
    QTextEdit edit;
    TableViewResult table(&view, &edit);
    const QVector<Result> list = events(count);
    table.ShowResults(list);

    const QAbstractItemModel* model = view.model();
    QCOMPARE(model->rowCount(), rows);
    QCOMPARE(model->columnCount(), 5);
    int in = 0;
    int out = 0;
    for (const Result& r : list) {
        in += r.in;
        out += r.out;
    }
    QCOMPARE(edit.toPlainText(),
             plain(QStringLiteral("In Detected :%1\rOut Detected : %2").arg(in).arg(out)));
    if (rows == 0)
        return;
    const int last = rows - 1;
    const Result& r = list[last];
    QCOMPARE(model->index(last, 0).data(Qt::EditRole), QVariant(r.frame));
    QCOMPARE(model->index(last, 1).data(Qt::EditRole), QVariant(r.x));
    QCOMPARE(model->index(last, 2).data(Qt::EditRole), QVariant(r.y));
    QCOMPARE(model->index(last, 3).data(Qt::EditRole), QVariant(r.in));
    QCOMPARE(model->index(last, 4).data(Qt::EditRole), QVariant(r.out));
    QCOMPARE(view.columnWidth(0), 50);
}

// A run appends its events a refresh at a time, past the cap; the table ends as if the whole list
// had been shown at once, and a list that shrank (the next video) is shown anew.
void ResultTableTest::appendingGivesTheTableShownAtOnce()
{
    QTableView appendedView, wholeView;
    QTextEdit appendedEdit, wholeEdit;
    TableViewResult appended(&appendedView, &appendedEdit);
    TableViewResult whole(&wholeView, &wholeEdit);
    const QVector<Result> list = events(2010);
    for (int size : {0, 1, 5, 5, 1000, 2000, 2001, 2004, 2010})
        appended.appendResults(list.mid(0, size));
    whole.ShowResults(list);
    const QAbstractItemModel* a = appendedView.model();
    const QAbstractItemModel* b = wholeView.model();
    QCOMPARE(a->rowCount(), b->rowCount());
    for (int row = 0; row < a->rowCount(); ++row)
        for (int column = 0; column < a->columnCount(); ++column)
            QCOMPARE(a->index(row, column).data(), b->index(row, column).data());
    QCOMPARE(appendedEdit.toPlainText(), wholeEdit.toPlainText());

    appended.appendResults(events(3));
    QCOMPARE(appendedView.model()->rowCount(), 3);
}

void ResultTableTest::replacedModelIsReleased()
{
    QTableView view;
    QTextEdit edit;
    TableViewResult table(&view, &edit);
    for (int i = 0; i < 5; ++i)
        table.ShowResults(events(3));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto models = table.findChildren<QStandardItemModel*>();
    QCOMPARE(models.size(), 1);
    QCOMPARE(static_cast<QAbstractItemModel*>(models.first()), view.model());
    QCOMPARE(view.findChildren<QItemSelectionModel*>(QString(), Qt::FindDirectChildrenOnly).size(),
             1);
}

void ResultTableTest::selectingARowAnnouncesIt()
{
    QTableView view;
    QTextEdit edit;
    TableViewResult table(&view, &edit);
    table.ShowResults(events(10));
    QSignalSpy spy(&table, &TableViewResult::Result_Row_Changed);
    view.setCurrentIndex(view.model()->index(4, 2));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 4);
    QCOMPARE(view.selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);

    // After a refresh the new model's selection is announced, no row being current at first.
    table.ShowResults(events(10));
    QVERIFY(!view.currentIndex().isValid());
    view.setCurrentIndex(view.model()->index(7, 0));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toInt(), 7);
}

void ResultTableTest::addResultKeepsAtMost2001()
{
    startWindow();
    for (int i = 0; i < 2003; ++i)
        QVERIFY(
            QMetaObject::invokeMethod(window.get(), "AddResult", Q_ARG(Result, sampleEvent(i))));
    const QVector<Result>& list = window->results().all();
    QCOMPARE(list.size(), 2001);
    QCOMPARE(list.last(), sampleEvent(2000));
    // AddResult leaves the refresh to its caller.
    QCOMPARE(resultView()->model()->rowCount(), 0);

    QVERIFY(QMetaObject::invokeMethod(window.get(), "ClearResult"));
    QVERIFY(window->results().all().isEmpty());
    QCOMPARE(totals(), plain(QStringLiteral("In Detected :0\rOut Detected : 0")));
}

void ResultTableTest::rowOutsideTheListDoesNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("frame"); // of the first event
    const double first = sampleEvent(0).frame;
    QTest::newRow("-1") << -1 << first;
    QTest::newRow("size") << 4 << first;
    // Frame numbers that a result file edited by hand can hold, but no frame has.
    QTest::newRow("negative frame") << 0 << -3.0;
    QTest::newRow("infinite frame") << 0 << std::numeric_limits<double>::infinity();
    QTest::newRow("frame beyond int") << 0 << 1e12;
}

void ResultTableTest::rowOutsideTheListDoesNothing()
{
    QFETCH(int, row);
    QFETCH(double, frame);
    startWindow();
    openVideo(*window, QStringLiteral("clip"));
    QCOMPARE(window->results().size(), 4);
    QVector<Result> edited = clipEvents;
    edited[0].frame = frame;
    window->ClearResult();
    for (const Result& event : edited)
        window->AddResult(event);
    window->Result_Row_Changed(row);
    QCOMPARE(window->playback().position(), 90.0);
    QCOMPARE(window->playback().mode(), Playback::Pause);
}

void ResultTableTest::openingAVideoLoadsItsEvents()
{
    startWindow();
    openVideo(*window, QStringLiteral("clip"));
    QCOMPARE(window->results().all(), clipEvents);
    QCOMPARE(resultView()->model()->rowCount(), 4);
    QCOMPARE(resultView()->model()->index(2, 0).data().toDouble(), 117.0);
    QCOMPARE(totals(), plain(QStringLiteral("In Detected :3\rOut Detected : 2")));

    // A video without a result file empties the table.
    openVideo(*window, QStringLiteral("quiet"));
    QVERIFY(window->results().all().isEmpty());
    QCOMPARE(resultView()->model()->rowCount(), 0);
    QCOMPARE(totals(), plain(QStringLiteral("In Detected :0\rOut Detected : 0")));
}

// The frame shown is the one whose index is the event's frame number.
void ResultTableTest::selectingAnEventShowsItsFrame()
{
    startWindow();
    openVideo(*window, QStringLiteral("clip"));
    resultView()->setCurrentIndex(resultView()->model()->index(2, 0));
    QCOMPARE(window->playback().mode(), Playback::ShowOne);
    window->timeframe();
    QCOMPARE(window->playback().mode(), Playback::Pause);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("la_Num_Frame"))->text(),
             QStringLiteral("117"));

    cv::VideoCapture capture(QFile::encodeName(dir->video(QStringLiteral("clip"))).toStdString());
    capture.set(cv::CAP_PROP_POS_FRAMES, 117);
    cv::Mat expected;
    QVERIFY(capture.read(expected));
    QCOMPARE(cv::norm(window->playback().frame(), expected, cv::NORM_INF), 0.0);
}

void ResultTableTest::loadingStopsAt2001Events()
{
    startWindow();
    openVideo(*window, QStringLiteral("busy"));
    const QVector<Result> loaded = events(2001);
    QCOMPARE(window->results().all(), loaded);
    QCOMPARE(resultView()->model()->rowCount(), 2001);
    int in = 0;
    int out = 0;
    for (const Result& r : loaded) {
        in += r.in;
        out += r.out;
    }
    QCOMPARE(totals(),
             plain(QStringLiteral("In Detected :%1\rOut Detected : %2").arg(in).arg(out)));
}

QTEST_MAIN(ResultTableTest)
#include "resulttable_test.moc"
