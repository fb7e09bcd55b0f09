#include "importcommand.h"

#include "importlisting.h"
#include "importprogress.h"
#include "safefile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace
{

// How often the waiting command looks at its stop flag (ms).
constexpr unsigned long stopPollInterval = 50;
const QString notStartedReason = QStringLiteral("not started: the import was stopped");

bool stopRequested(const ImportStreams& streams)
{
    return streams.stop && streams.stop->load();
}

ImportProgress::Mode progressMode(const ImportOptions& options, const ImportStreams& streams)
{
    if (options.quiet)
        return ImportProgress::Quiet;
    return streams.errIsTerminal ? ImportProgress::Terminal : ImportProgress::Plain;
}

// Imports one recording with the worker on its own thread, relaying a stop request to it.
ImportOutcome importOne(const QString& file, const ImportOptions& options, ImportProgress& progress,
                        const ImportStreams& streams)
{
    Process_Import worker(options.destination, file);
    worker.setStreamFrameRate(options.streamFrameRate);
    QObject::connect(&worker, &Process_Import::copy_pos, [&](int v) { progress.copy(v); });
    QObject::connect(&worker, &Process_Import::encode_pos, [&](int v) { progress.convert(v); });
    QObject::connect(&worker, &Process_Import::save_pos, [&](int v) { progress.write(v); });
    worker.start();
    while (!worker.wait(stopPollInterval)) {
        if (stopRequested(streams))
            worker.requestStop();
    }
    ImportOutcome outcome = worker.outcome();
    // A terminal's Ctrl-C also reaches mp4box itself, which then ends before the worker sees
    // the request; the file was still stopped, not broken.
    if (outcome.kind == ImportOutcome::Failed && stopRequested(streams))
        outcome.reason = QStringLiteral("stopped");
    return outcome;
}

QString detail(const ImportOutcome& outcome)
{
    if (outcome.kind == ImportOutcome::Copied || outcome.kind == ImportOutcome::Converted)
        return QStringLiteral("as %1").arg(QFileInfo(outcome.target).fileName());
    return outcome.reason;
}

// A line break or other control character in a file name would start a line of its own in the
// summary: each is shown escaped instead.
QString printable(const QString& name)
{
    QString shown;
    for (const QChar c : name) {
        if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            shown += QStringLiteral("\\r");
        else if (c.category() == QChar::Other_Control)
            shown += QLatin1Char('?');
        else
            shown += c;
    }
    return shown;
}

void printSummary(std::ostream& out, const QVector<ImportRow>& rows)
{
    int width = int(qstrlen("FILE"));
    int counts[ImportOutcome::Failed + 1] = {};
    for (const ImportRow& row : rows) {
        width = std::max(width, int(printable(row.name).size()));
        ++counts[row.outcome.kind];
    }
    const auto line = [&](const QString& name, const QString& result, const QString& why) {
        out << name.leftJustified(width + 2).toStdString() << result.leftJustified(11).toStdString()
            << why.toStdString() << '\n';
    };
    line(QStringLiteral("FILE"), QStringLiteral("RESULT"), QStringLiteral("DETAIL"));
    for (const ImportRow& row : rows)
        line(printable(row.name), resultWord(row.outcome.kind), printable(detail(row.outcome)));
    out << QStringLiteral("%1 copied, %2 converted, %3 skipped, %4 failed\n")
               .arg(counts[ImportOutcome::Copied])
               .arg(counts[ImportOutcome::Converted])
               .arg(counts[ImportOutcome::Skipped])
               .arg(counts[ImportOutcome::Failed])
               .toStdString()
        << std::flush;
}

// The hidden temporary files that an import killed before it could clean up left in the folder
// (kill -9, a power cut); those of an import still running are in use and stay.
void cleanUpAfterKilledImports(const QString& destination, const ImportStreams& streams)
{
    const QStringList removed = removeLeftovers(destination, Process_Import::temporaryNames(),
                                                QDateTime::currentDateTime());
    for (const QString& name : removed)
        streams.err << "orvane-import: removed " << printable(name).toStdString()
                    << ", left by an interrupted import" << std::endl;
}

QVector<ImportRow> importRecordings(const ImportOptions& options, const ImportStreams& streams)
{
    const QStringList files = ImportListing::recordings(options.source);
    ImportProgress progress(streams.err, progressMode(options, streams));
    QVector<ImportRow> rows;
    for (int i = 0; i < files.size(); ++i) {
        const QString name = QFileInfo(files.at(i)).fileName();
        if (stopRequested(streams)) {
            rows.append({name, {ImportOutcome::Failed, {}, notStartedReason}});
            continue;
        }
        progress.beginFile(i + 1, int(files.size()), printable(name), name.endsWith(".h264"));
        rows.append({name, importOne(files.at(i), options, progress, streams)});
        progress.endFile(printable(importOutcomeText(rows.last().outcome)));
    }
    return rows;
}

} // namespace

QString resultWord(ImportOutcome::Kind kind)
{
    return importResultWord(kind);
}

int runImport(const ImportOptions& options, ImportStreams streams, QVector<ImportRow>* rowsOut)
{
    if (!QDir().mkpath(options.destination)) {
        streams.err << "orvane-import: cannot create " << options.destination.toStdString()
                    << std::endl;
        return ImportSomeFailed;
    }
    cleanUpAfterKilledImports(options.destination, streams);
    QVector<ImportRow> rows = importRecordings(options, streams);
    for (const QString& other : ImportListing::others(options.source))
        rows.append({QFileInfo(other).fileName(),
                     {ImportOutcome::Skipped, {}, QStringLiteral("not a recording")}});
    std::sort(rows.begin(), rows.end(),
              [](const ImportRow& a, const ImportRow& b) { return a.name < b.name; });
    printSummary(streams.out, rows);
    if (!streams.out.flush()) {
        streams.err << "orvane-import: cannot write the summary to standard output" << std::endl;
        return ImportOutputFailed;
    }
    if (stopRequested(streams))
        streams.err << "orvane-import: stopped; no partly imported file was left behind"
                    << std::endl;
    if (rowsOut)
        *rowsOut = rows;
    const bool anyFailed = std::any_of(rows.begin(), rows.end(), [](const ImportRow& row) {
        return row.outcome.kind == ImportOutcome::Failed;
    });
    return anyFailed ? ImportSomeFailed : ImportAllDone;
}

int importMain(const QStringList& arguments, ImportStreams streams)
{
    ImportOptions options;
    QString error = parseImportArguments(arguments, options);
    if (error.isEmpty())
        error = options.check();
    if (!error.isEmpty()) {
        streams.err << "orvane-import: " << error.toStdString() << "\n\n"
                    << importUsage().toStdString() << std::flush;
        return ImportUsageError;
    }
    if (options.help) {
        streams.out << importUsage().toStdString() << std::flush;
        return streams.out ? ImportAllDone : ImportOutputFailed;
    }
    return runImport(options, streams);
}
