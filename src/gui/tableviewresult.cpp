#include "tableviewresult.h"

#include <QTableView>
#include <QTextEdit>

TableViewResult::TableViewResult(QTableView* view, QTextEdit* edit, QObject* parent)
    : QObject(parent), view(view), edit(edit)
{
}

void TableViewResult::ShowResults(QVector<Result> results)
{
    Q_UNUSED(results);
}

void TableViewResult::currentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    Q_UNUSED(previous);
    emit Result_Row_Changed(current.row());
}
