#pragma once

#include "folderrecords.h"

#include <QElapsedTimer>
#include <QString>
#include <QVector>
#include <ostream>

// Progress of an --each-folder run on standard error: on a terminal one line per running
// folder, redrawn in place below the messages; otherwise a plain line per running folder every
// few seconds, and a line when a folder starts and ends. Quiet shows only the messages.
class FolderProgress
{
public:
    enum Mode { Quiet, Terminal, Plain };

    struct Running {
        QString folder;
        const FolderRecords::Progress* progress = nullptr; // null until the child reports
    };

    FolderProgress(std::ostream& err, Mode mode) : err(err), mode(mode) { clock.start(); }

    // A message of a child, always shown.
    void message(const QString& folder, const QString& text);
    void started(const QString& folder);
    void finished(const QString& folder, const QString& result);
    // Called often; shows the running folders when it is time to.
    void show(const QVector<Running>& running);
    // Takes the live lines away before the summary.
    void clear();

    // "trap-1: [2/5] video_20260601_0900_01 frame 1200/9000 (13%), 480.0 fps"
    static QString line(const Running& folder);

private:
    void print(const QString& text);

    std::ostream& err;
    Mode mode;
    QElapsedTimer clock;
    qint64 lastShown = -1;
    int drawn = 0; // live lines on the terminal below the messages
};
