#pragma once

#include <QString>
#include <QStringList>

// The settings of one orvane-count run, as given on its command line.
struct CountOptions {
    bool onlyUnprocessed = false;
    bool quiet = false;
    bool help = false;
    QString regionsVideo; // empty: the first listed video with both region files
    QStringList paths;    // videos and directories of videos

    // An empty text when the options can be run, otherwise what is wrong with them.
    QString check() const;
};

// Fills `options` from the arguments that follow the program name; returns an empty text, or
// the usage error.
QString parseCountArguments(const QStringList& arguments, CountOptions& options);

QString countUsage();

enum CountExit {
    ExitAnalysed = 0,
    ExitFailed = 1,
    ExitSkipped = 2,
    ExitUsage = 64,
    ExitSignal = 128
};
