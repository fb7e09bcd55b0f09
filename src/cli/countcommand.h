#pragma once

#include "countoptions.h"
#include "runcontroller.h"

#include <QString>
#include <QVector>
#include <ostream>

struct CountStreams {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
};

// Runs orvane-count with parsed options: the same analysis as the window's "Process" over the
// listed videos. Returns the exit status (CountExit). `counts`, when given, receives the outcome
// of each video. A stop signal caught by installStopSignals() ends the run after the current
// frame.
int runCount(const CountOptions& options, CountStreams streams,
             QVector<VideoOutcome>* counts = nullptr);

// The whole command: parses the arguments that follow the program name, then runs.
int countMain(const QStringList& arguments, CountStreams streams);
