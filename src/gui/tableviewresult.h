#pragma once

#include "result.h"
#include "resultlist.h"

#include <QModelIndex>
#include <QObject>
#include <QString>
#include <QVector>

class QStandardItemModel;
class QTableView;
class QTextEdit;

// Controller of the result table: shows the events of the video on screen with running totals
// of "In" and "Out", and announces the selected row. Each refresh builds a new model and
// releases the one it replaces; at most the first ResultList::Capacity events are shown, while
// the totals count every event of the list.
class TableViewResult : public QObject
{
    Q_OBJECT
public:
    TableViewResult(QTableView* view, QTextEdit* edit, QObject* parent = nullptr);

    void ShowResults(QVector<Result> results);
    // The same table for a list that only grew since it was last shown: the new rows are
    // appended to the model in place, so that a run refreshing a long table many times a second
    // does not build it anew each time. A list that shrank is shown anew.
    void appendResults(const QVector<Result>& results);

    // The totals box's text for the given totals.
    static QString totalsText(int in, int out);

signals:
    void Result_Row_Changed(int row);

public slots:
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);

private:
    void installModel(QStandardItemModel* newModel);
    void fillRows(QStandardItemModel* target, const QVector<Result>& results, int from);
    void showTotals(const QVector<Result>& results);

    QTableView* view;
    QTextEdit* edit;
    QStandardItemModel* model = nullptr;
};
