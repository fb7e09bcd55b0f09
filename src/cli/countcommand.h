#pragma once

#include "countoptions.h"

#include <QString>
#include <QVector>
#include <ostream>

// One row of the summary: a video of the run, analysed or skipped.
struct VideoCount {
    QString path;
    QString name;
    bool analysed = false;
    QString problem; // why it was skipped, or what could not be written
    long frames = 0;
    int in = 0;
    int out = 0;
    QString density; // the figure of the density text, e.g. "0.0312"
    double seconds = 0;
};

struct CountStreams {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
};

// Runs orvane-count with parsed options: the same analysis as the window's "Process" over the
// listed videos. Returns the exit status (CountExit). `counts`, when given, receives the rows.
int runCount(const CountOptions& options, CountStreams streams,
             QVector<VideoCount>* counts = nullptr);

// The whole command: parses the arguments that follow the program name, then runs.
int countMain(const QStringList& arguments, CountStreams streams);
