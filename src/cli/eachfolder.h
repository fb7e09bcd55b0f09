#pragma once

// orvane-count --each-folder: one run per camera folder, each in a child orvane-count of its
// own (its own regions, engine state and folder lock), up to `jobs` of them at once. Shows one
// progress line per running folder, passes the children's messages on with their folder
// named, and ends with one summary of every folder's videos.
//
//   EachFolderOptions options;
//   options.program = "/usr/bin/orvane-count";
//   options.folders = {"trap-1", "trap-2", "trap-3"};
//   options.jobs = 2;
//   const int status = runEachFolder(options, streams, stopSignal);   // the worst child's

#include "folderrecords.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <ostream>

struct EachFolderOptions {
    QString program;            // the orvane-count each child runs
    QStringList childArguments; // given to every child before its folder
    QStringList folders;
    int jobs = 1;
    bool quiet = false;         // no progress lines; messages still pass
    bool errIsTerminal = false; // progress lines redrawn in place
};

struct FolderOutcome {
    QString folder;
    QVector<FolderRecords::Video> videos;
    bool started = false;
    int exitStatus = 0; // as a shell gives it: 128 + N after signal N
    QString message;    // the child's last message, shown for a folder without any video
};

// The summary: the orvane-count run's status of the worst folder (0, 1, 2, or 128 plus the
// signal). Once `stopRequested` returns a signal number, no further folder starts and every
// running child gets that signal (so each stops after its current frame), and the status is at
// least 128 plus that number.
int runEachFolder(const EachFolderOptions& options, std::ostream& out, std::ostream& err,
                  const std::function<int()>& stopRequested,
                  QVector<FolderOutcome>* outcomes = nullptr);
