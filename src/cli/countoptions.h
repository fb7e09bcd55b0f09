#pragma once

#include "countingmode.h"

#include <QString>
#include <QStringList>

// The settings of one orvane-count run, as given on its command line.
struct CountOptions {
    bool onlyUnprocessed = false;
    bool quiet = false;
    bool help = false;
    QString regionsVideo; // empty: the first listed video with both region files
    QStringList paths;    // videos and directories of videos
    CountingMode counting = CountingMode::Classic;
    bool breakLock = false; // remove the run locks of the FOLDERs in `paths` instead
    // Without --counting a run takes its folders' mode (FolderMode).
    bool countingGiven = false;
    bool eachFolder = false; // each directory of `paths` is a run of its own, in a child
    int jobs = 0;            // folders analysed at once with eachFolder; 0 when not given
    // A child of an --each-folder run: records instead of progress and summary (folderrecords.h)
    bool folderRecords = false;
    QString childProgram; // the orvane-count the folders run in; empty: this program

    // An empty text when the options can be run, otherwise what is wrong with them.
    QString check() const;
};

// Fills `options` from the arguments that follow the program name; returns an empty text, or
// the usage error.
QString parseCountArguments(const QStringList& arguments, CountOptions& options);

QString countUsage();

// The most folders an --each-folder run analyses at once.
constexpr int maxJobs = 256;

enum CountExit {
    ExitAnalysed = 0,
    ExitFailed = 1,
    ExitSkipped = 2,
    ExitUsage = 64,
    ExitSignal = 128
};
