#include "tableviewfile.h"

#include "exportpath.h"
#include "videolisting.h"

#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>

TableViewFile::TableViewFile(QTableView* view, QWidget* menuParent, QObject* parent)
    : QObject(parent), view(view), model(new QStandardItemModel(0, 3, this)), menuParent(menuParent)
{
    setHeaders();
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    // Connected once here, so a request is handled once however often the directory is listed.
    connect(view, &QWidget::customContextMenuRequested, this, &TableViewFile::customMenuRequested);
}

void TableViewFile::setHeaders()
{
    model->setHorizontalHeaderLabels({tr("File"), tr("mask"), tr("done")});
    view->setModel(model);
    view->setColumnWidth(0, 160);
    view->setColumnWidth(1, 40);
    view->setColumnWidth(2, 40);
}

void TableViewFile::setDirectory(const QString& directory)
{
    workingDirectory = directory;
    list();
}

void TableViewFile::refresh()
{
    const int row = view->currentIndex().row();
    list();
    if (row >= 0 && row < model->rowCount())
        view->setCurrentIndex(model->index(row, 0));
}

void TableViewFile::list()
{
    videoPaths.clear();
    maskStatuses.clear();
    doneList.clear();
    baseNames.clear();
    for (const ListedVideo& video : listVideos(workingDirectory)) {
        videoPaths << video.path;
        maskStatuses << statusText(video.hasRegions);
        doneList << statusText(video.done);
        baseNames << video.baseName;
    }

    model->clear();
    setHeaders();
    for (int i = 0; i < videoPaths.size(); ++i) {
        model->insertRow(i);
        model->setItem(i, 0, new QStandardItem(baseNames[i]));
        model->setItem(i, 1, new QStandardItem(maskStatuses[i]));
        model->setItem(i, 2, new QStandardItem(doneList[i]));
    }

    const QStringList unreadable = unreadableVideoNames(workingDirectory);
    if (!unreadable.isEmpty())
        emit listingWarning(unreadable.join(QStringLiteral("; ")));

    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TableViewFile::currentRowChanged, Qt::UniqueConnection);
}

QString TableViewFile::pathAt(int row) const
{
    if (row < 0 || row >= videoPaths.size())
        return QString();
    return videoPaths[row];
}

bool TableViewFile::hasRegions(const QString& path) const
{
    for (int i = 0; i < videoPaths.size(); ++i) {
        if (videoPaths[i] == path && maskStatuses[i] == QLatin1String("Y"))
            return true;
    }
    return false;
}

void TableViewFile::currentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    Q_UNUSED(previous);
    emit File_Row_Changed(current.row());
}

void TableViewFile::customMenuRequested(QPoint pos)
{
    contextIndex = view->indexAt(pos);
    delete contextMenu;
    contextMenu = new QMenu(menuParent);
    contextMenu->addAction(tr("Delete Result"), this, &TableViewFile::DeleteResult);
    contextMenu->addAction(tr("Delete Mask"), this, &TableViewFile::DeleteMask);
    contextMenu->popup(view->viewport()->mapToGlobal(pos));
}

void TableViewFile::DeleteResult()
{
    // An interrupted analysis left its events in the .part file: they go with the result, and so
    // does the record of how the result was made.
    deleteFilesOfContextRow(
        {ExportPath::resultSuffix, ExportPath::partialResultSuffix, ExportPath::recordSuffix});
}

void TableViewFile::DeleteMask()
{
    deleteFilesOfContextRow({ExportPath::maskSuffix});
}

void TableViewFile::deleteFilesOfContextRow(std::initializer_list<const char*> suffixes)
{
    if (contextIndex.row() < 0 || contextIndex.column() < 0)
        return;
    const QString name =
        model->item(contextIndex.row(), 0) ? model->item(contextIndex.row(), 0)->text() : QString();
    for (int i = 0; i < baseNames.size(); ++i) {
        if (baseNames[i] != name)
            continue;
        for (const char* suffix : suffixes)
            QFile::remove(ExportPath::file(videoPaths[i], QLatin1String(suffix)));
    }
    refresh();
}
