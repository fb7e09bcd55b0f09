#pragma once

// Shared by the window tests of this folder: generated videos in a temporary working directory,
// a main window listing it.
#include "areacontour.h"
#include "imagegraphicsview.h"
#include "mainwindow.h"
#include "videogen.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>

namespace testing_window
{
// 96 frames: the window opens every video at frame 90.
inline bool makeVideo(const QString& path, cv::Size size, int frames = 96)
{
    videogen::ClipRecipe recipe;
    recipe.size = size;
    recipe.frames = frames;
    recipe.fps = 25;
    recipe.blobs = {{{size.width / 4.0, size.height / 2.0}, {2, 1}, 10}};
    return videogen::writeVideo(QFile::encodeName(path).toStdString(), recipe);
}

inline bool writeText(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream(&file) << text;
    return true;
}

inline QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("<missing>");
    return QString::fromLatin1(file.readAll());
}

// A working directory of its own for each test run; the settings point the window at it.
class WorkingDirectory
{
public:
    WorkingDirectory() { QDir(dir.path()).mkdir(QStringLiteral("exportCSV")); }
    QString path() const { return dir.path(); }
    QString video(const QString& base) const { return dir.filePath(base + ".mp4"); }
    QString exported(const QString& base, const char* suffix) const
    {
        return dir.filePath(QStringLiteral("exportCSV/") + base + QLatin1String(suffix));
    }
    void makeCurrent() const
    {
        QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"))
            .setValue(QStringLiteral("currentPath"), dir.path());
    }

private:
    QTemporaryDir dir;
};

inline int rowOf(QTableView* table, const QString& base)
{
    const QAbstractItemModel* model = table->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == base)
            return row;
    }
    return -1;
}

// Makes the video's row current, which opens the video at frame 90.
inline void openVideo(MainWindow& window, const QString& base)
{
    auto* table = window.findChild<QTableView*>(QStringLiteral("tv_file"));
    table->setCurrentIndex(table->model()->index(rowOf(table, base), 0));
}
} // namespace testing_window
