#pragma once

#include <QModelIndex>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <initializer_list>

class QMenu;
class QStandardItemModel;
class QTableView;
class QWidget;

// Controller of the video-file table: lists the "*.mp4" videos of the working directory with
// their "mask" and "done" statuses, announces the current row, and offers a context menu that
// deletes a video's result files (asking first) or mask file. The four lists are parallel to the
// rows.
class TableViewFile : public QObject
{
    Q_OBJECT
public:
    TableViewFile(QTableView* view, QWidget* menuParent, QObject* parent = nullptr);

    // Lists `directory`; afterwards no row is current.
    void setDirectory(const QString& directory);
    // Lists the directory again and makes the same row number current again, which announces it.
    void refresh();

    QString pathAt(int row) const;
    bool hasRegions(const QString& path) const;
    QStringList paths() const { return videoPaths; }
    QStringList doneStatuses() const { return doneList; }

signals:
    void File_Row_Changed(int row);
    // After a listing that had to leave videos out, naming them (e.g. names not valid in the
    // system's encoding); one text for all of them.
    void listingWarning(const QString& text);

public slots:
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);
    void customMenuRequested(QPoint pos);
    void DeleteResult();
    void DeleteMask();
    // Asks first, naming the files and the counting mode they were made with where known.
    void deleteResultOf(int row);

private:
    void list();
    void setHeaders();
    void deleteFilesOfContextRow(std::initializer_list<const char*> suffixes);

    QTableView* view;
    QStandardItemModel* model;
    QModelIndex contextIndex;
    QMenu* contextMenu = nullptr;
    QWidget* menuParent;
    QStringList videoPaths;
    QStringList maskStatuses;
    QStringList doneList;
    QStringList baseNames;
    QString workingDirectory;
};
