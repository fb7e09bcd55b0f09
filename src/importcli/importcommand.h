#pragma once

#include "importoptions.h"
#include "process_import.h"

#include <QString>
#include <QVector>
#include <atomic>
#include <ostream>

// One row of the summary: a file of the source folder and what became of it.
struct ImportRow {
    QString name; // the file name in the source folder
    ImportOutcome outcome;
};

struct ImportStreams {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    // Set (e.g. by a signal handler) to stop the run: the current file is abandoned cleanly and
    // the others are not started.
    const std::atomic<bool>* stop = nullptr;
};

// Runs orvane-import with checked options: the dialog's worker over every recording of the
// source folder, one after another. Returns the exit status (ImportExit). `rows`, when given,
// receives the summary's rows in name order.
int runImport(const ImportOptions& options, ImportStreams streams,
              QVector<ImportRow>* rows = nullptr);

// The whole command: parses the arguments that follow the program name, then runs.
int importMain(const QStringList& arguments, ImportStreams streams);

// The summary's word for an outcome: "copied", "converted", "skipped" or "failed".
QString resultWord(ImportOutcome::Kind kind);
