// The video-file table: listing rules, statuses, row announcements and the context menu.
#include "tableviewfile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace
{
void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}
} // namespace

class TableViewFileTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void listingRules();
    void pathAtOutsideTheList();
    void rowChangeAnnouncedOnceAfterManyListings();
    void refreshReannouncesTheCurrentRow();
    void deleteFromTheContextMenu_data();
    void deleteFromTheContextMenu();
    void deleteBelowTheLastRowDoesNothing();

private:
    QString video(const QString& name) const { return dir->filePath(name); }
    QString exported(const QString& base, const QString& suffix) const
    {
        return dir->filePath(QStringLiteral("exportCSV/") + base + suffix);
    }
    int rowOf(const QString& base) const;
    QString cell(int row, int column) const
    {
        return view->model()->index(row, column).data().toString();
    }
    QAction* menuAction(const QString& text) const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QWidget> window;
    QTableView* view = nullptr;
    TableViewFile* table = nullptr;
};

void TableViewFileTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QDir(dir->path()).mkdir(QStringLiteral("exportCSV"));
    for (const char* name : {"a.mp4", "b.mp4", "clip.MP4", "notes.txt"})
        touch(video(QLatin1String(name)));
    QDir(dir->path()).mkdir(QStringLiteral("x.mp4"));
    QFile::link(video(QStringLiteral("a.mp4")), video(QStringLiteral("link.mp4")));
    touch(exported("a", "_area.adv")); // only one region file: no regions
    touch(exported("b", "_area.adv")); // both, even empty: regions
    touch(exported("b", "_mask.adv"));
    touch(exported("clip", ".csv")); // result file: done

    window = std::make_unique<QWidget>();
    view = new QTableView(window.get());
    view->resize(400, 300);
    table = new TableViewFile(view, window.get(), window.get());
    window->show();
    table->setDirectory(dir->path());
}

void TableViewFileTest::cleanup()
{
    window.reset();
    dir.reset();
}

int TableViewFileTest::rowOf(const QString& base) const
{
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (cell(row, 0) == base)
            return row;
    }
    return -1;
}

QAction* TableViewFileTest::menuAction(const QString& text) const
{
    const auto menus = window->findChildren<QMenu*>();
    if (menus.size() != 1)
        return nullptr;
    for (QAction* action : menus.first()->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void TableViewFileTest::listingRules()
{
    QCOMPARE(view->model()->rowCount(), 3);
    QCOMPARE(view->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("File"));
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("mask"));
    QCOMPARE(view->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("done"));
    QCOMPARE(view->columnWidth(0), 160);
    QCOMPARE(view->columnWidth(1), 40);

    struct Expected {
        const char* base;
        const char* mask;
        const char* done;
    };
    for (const Expected& e :
         {Expected{"a", "N", "N"}, Expected{"b", "Y", "N"}, Expected{"clip", "N", "Y"}}) {
        const int row = rowOf(QLatin1String(e.base));
        QVERIFY2(row >= 0, e.base);
        QCOMPARE(cell(row, 1), QLatin1String(e.mask));
        QCOMPARE(cell(row, 2), QLatin1String(e.done));
        QCOMPARE(table->doneStatuses().at(row), QLatin1String(e.done));
    }
    const QString b = video(QStringLiteral("b.mp4"));
    QCOMPARE(table->paths().at(rowOf("b")), b);
    QVERIFY(table->hasRegions(b));
    QVERIFY(!table->hasRegions(video(QStringLiteral("a.mp4"))));
    QVERIFY(!table->hasRegions(dir->path() + QStringLiteral("//b.mp4")));

    // A missing directory gives an empty table.
    table->setDirectory(dir->filePath(QStringLiteral("absent")));
    QCOMPARE(view->model()->rowCount(), 0);
    QVERIFY(table->paths().isEmpty());
}

void TableViewFileTest::pathAtOutsideTheList()
{
    QVERIFY(table->pathAt(-1).isEmpty());
    QVERIFY(table->pathAt(3).isEmpty());
    QVERIFY(!table->pathAt(2).isEmpty());
}

void TableViewFileTest::rowChangeAnnouncedOnceAfterManyListings()
{
    table->setDirectory(dir->path());
    table->refresh();
    table->setDirectory(dir->path());
    QVERIFY(!view->currentIndex().isValid());
    QSignalSpy rows(table, &TableViewFile::File_Row_Changed);
    view->setCurrentIndex(view->model()->index(1, 0));
    QCOMPARE(rows.count(), 1);
    QCOMPARE(rows.at(0).at(0).toInt(), 1);
}

void TableViewFileTest::refreshReannouncesTheCurrentRow()
{
    view->setCurrentIndex(view->model()->index(2, 0));
    QSignalSpy rows(table, &TableViewFile::File_Row_Changed);
    table->refresh();
    QCOMPARE(rows.count(), 1);
    QCOMPARE(rows.at(0).at(0).toInt(), 2);
    QCOMPARE(view->currentIndex().row(), 2);

    // setDirectory leaves no row current and announces nothing.
    table->setDirectory(dir->path());
    QCOMPARE(rows.count(), 1);
}

void TableViewFileTest::deleteFromTheContextMenu_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("result from the done cell") << "clip" << 2 << "Delete Result"
                                               << ".csv"
                                               << "";
    QTest::newRow("mask from the mask cell") << "b" << 1 << "Delete Mask"
                                             << "_mask.adv"
                                             << "_area.adv";
    QTest::newRow("mask from the name cell") << "b" << 0 << "Delete Mask"
                                             << "_mask.adv"
                                             << "_area.adv";
}

void TableViewFileTest::deleteFromTheContextMenu()
{
    QFETCH(QString, base);
    QFETCH(int, column);
    QFETCH(QString, action);
    QFETCH(QString, removed);
    QFETCH(QString, kept);
    const int row = rowOf(base);
    view->setCurrentIndex(view->model()->index(row, 0));
    QSignalSpy rows(table, &TableViewFile::File_Row_Changed);

    const QRect cellRect = view->visualRect(view->model()->index(row, column));
    emit view->customContextMenuRequested(cellRect.center());
    QAction* item = menuAction(action);
    QVERIFY(item);
    if (action == QLatin1String("Delete Result")) {
        // Results go only after a question.
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->button(QMessageBox::Yes)->click();
        });
    }
    item->trigger();

    QVERIFY(!QFile::exists(exported(base, removed)));
    if (!kept.isEmpty())
        QVERIFY(QFile::exists(exported(base, kept)));
    const int after = rowOf(base);
    QCOMPARE(cell(after, removed == ".csv" ? 2 : 1), QStringLiteral("N"));
    QCOMPARE(rows.count(), 1); // listed again, the current row announced again
    QCOMPARE(rows.at(0).at(0).toInt(), row);
}

void TableViewFileTest::deleteBelowTheLastRowDoesNothing()
{
    view->setCurrentIndex(view->model()->index(0, 0));
    QSignalSpy rows(table, &TableViewFile::File_Row_Changed);
    const QRect last = view->visualRect(view->model()->index(2, 0));
    const QPoint below(last.center().x(), last.bottom() + 30);
    QVERIFY(!view->indexAt(below).isValid());
    for (const char* action : {"Delete Result", "Delete Mask"}) {
        emit view->customContextMenuRequested(below);
        QAction* item = menuAction(QLatin1String(action));
        QVERIFY(item);
        item->trigger();
    }
    QVERIFY(QFile::exists(exported("clip", ".csv")));
    QVERIFY(QFile::exists(exported("b", "_mask.adv")));
    QCOMPARE(rows.count(), 0); // not listed again
}

QTEST_MAIN(TableViewFileTest)
#include "tableviewfile_test.moc"
