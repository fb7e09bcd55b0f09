#pragma once

#include "result.h"

#include <QModelIndex>
#include <QObject>
#include <QVector>

class QStandardItemModel;
class QTableView;
class QTextEdit;

// Controller of the result table: shows the events of the video on screen with running totals
// of "In" and "Out", and announces the selected row.
class TableViewResult : public QObject
{
    Q_OBJECT
public:
    TableViewResult(QTableView* view, QTextEdit* edit, QObject* parent = nullptr);

    void ShowResults(QVector<Result> results);

signals:
    void Result_Row_Changed(int row);

public slots:
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);

private:
    QTableView* view;
    QTextEdit* edit;
};
