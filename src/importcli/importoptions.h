#pragma once

#include <QString>
#include <QStringList>

#include "process_import.h"

// The settings of one orvane-import run, as given on its command line.
struct ImportOptions {
    bool quiet = false;
    bool help = false;
    QString source;      // the folder of recordings, e.g. a camera's card
    QString destination; // the working folder; created when missing
    int streamFrameRate = Process_Import::DefaultStreamFrameRate; // of raw .h264 streams

    // An empty text when the options can be run, otherwise what is wrong with them.
    QString check() const;
};

// Fills `options` from the arguments that follow the program name; returns an empty text, or
// the usage error.
QString parseImportArguments(const QStringList& arguments, ImportOptions& options);

QString importUsage();

enum ImportExit {
    ImportAllDone = 0,
    ImportOutputFailed = 1,
    ImportSomeFailed = 2,
    ImportUsageError = 64
};
