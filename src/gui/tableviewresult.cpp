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
    const int shown = std::min(results.size(), ResultList::Capacity);
    newModel->insertRows(0, shown);
    int in = 0;
    int out = 0;
    for (int i = 0; i < results.size(); ++i) {
        const Result& r = results.at(i);
        if (i < shown) {
            newModel->setData(newModel->index(i, 0), r.frame);
            newModel->setData(newModel->index(i, 1), r.x);
            newModel->setData(newModel->index(i, 2), r.y);
            newModel->setData(newModel->index(i, 3), r.in);
            newModel->setData(newModel->index(i, 4), r.out);
        }
        in += r.in;
        out += r.out;
    }
    installModel(newModel);
    edit->setText(totalsText(in, out));
}

void TableViewResult::currentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    Q_UNUSED(previous);
    emit Result_Row_Changed(current.row());
}
