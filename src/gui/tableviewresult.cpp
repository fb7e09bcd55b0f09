#include "tableviewresult.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextEdit>

#include <algorithm>

namespace
{
struct Column {
    const char* header;
    int width;
};
const Column columns[] = {{"Frame", 50}, {"X", 40}, {"Y", 40}, {"In", 30}, {"Out", 30}};
constexpr int columnCount = 5;
} // namespace

TableViewResult::TableViewResult(QTableView* view, QTextEdit* edit, QObject* parent)
    : QObject(parent), view(view), edit(edit)
{
    installModel(new QStandardItemModel(0, columnCount, this));
    edit->setText(QStringLiteral("Int Detected : 0 \rOut Detected : 0"));
}

QString TableViewResult::totalsText(int in, int out)
{
    return QStringLiteral("In Detected :%1\rOut Detected : %2").arg(in).arg(out);
}

// The view gets the new model and its own new selection model; the old pair is released.
void TableViewResult::installModel(QStandardItemModel* newModel)
{
    for (int c = 0; c < columnCount; ++c)
        newModel->setHorizontalHeaderItem(c, new QStandardItem(QLatin1String(columns[c].header)));
    QItemSelectionModel* oldSelection = view->selectionModel();
    QStandardItemModel* oldModel = model;
    view->setModel(newModel);
    model = newModel;
    // The style's minimum section size would widen the narrow "In" and "Out" columns.
    view->horizontalHeader()->setMinimumSectionSize(
        std::min(view->horizontalHeader()->minimumSectionSize(), columns[columnCount - 1].width));
    for (int c = 0; c < columnCount; ++c)
        view->setColumnWidth(c, columns[c].width);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TableViewResult::currentRowChanged);
    // The old selection model may be the sender of the signal that led here.
    if (oldSelection) {
        disconnect(oldSelection, nullptr, this, nullptr);
        oldSelection->deleteLater();
    }
    delete oldModel;
}

void TableViewResult::ShowResults(QVector<Result> results)
{
    auto* newModel = new QStandardItemModel(0, columnCount, this);
    fillRows(newModel, results, 0);
    installModel(newModel);
    showTotals(results);
}

void TableViewResult::appendResults(const QVector<Result>& results)
{
    const int shown = model->rowCount();
    if (results.size() < shown) {
        ShowResults(results);
        return;
    }
    fillRows(model, results, shown);
    showTotals(results);
}

// Rows for the entries from `from` on, up to ResultList::Capacity rows.
void TableViewResult::fillRows(QStandardItemModel* target, const QVector<Result>& results, int from)
{
    const int shown = std::min(results.size(), ResultList::Capacity);
    if (shown <= from)
        return;
    target->insertRows(from, shown - from);
    for (int i = from; i < shown; ++i) {
        const Result& r = results.at(i);
        target->setData(target->index(i, 0), r.frame);
        target->setData(target->index(i, 1), r.x);
        target->setData(target->index(i, 2), r.y);
        target->setData(target->index(i, 3), r.in);
        target->setData(target->index(i, 4), r.out);
    }
}

void TableViewResult::showTotals(const QVector<Result>& results)
{
    int in = 0;
    int out = 0;
    for (const Result& r : results) {
        in += r.in;
        out += r.out;
    }
    edit->setText(totalsText(in, out));
}

void TableViewResult::currentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    Q_UNUSED(previous);
    emit Result_Row_Changed(current.row());
}
