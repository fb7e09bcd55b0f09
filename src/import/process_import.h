#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QThread>
#include <atomic>

class QFile;
class QProcess;

// What became of one recording.
struct ImportOutcome {
    enum Kind { Copied, Converted, Skipped, Failed };
    Kind kind = Skipped;
    QString target; // the file in the destination that was written or found, if any
    QString reason; // why the file was skipped or failed
};

// The summary's word for an outcome: "copied", "converted", "skipped" or "failed".
QString importResultWord(ImportOutcome::Kind kind);
// What became of a file, e.g. "copied as rec.mp4", "skipped: already in the destination".
QString importOutcomeText(const ImportOutcome& outcome);

// Brings one recording into the working directory on its own thread: an .mp4 is copied, an .avi
// is copied under the suffix .mp4, and a raw .h264 stream is copied and then wrapped into an MP4
// file by the mp4box tool. Progress and the end are reported through signals, all emitted from
// the worker thread, so queued receivers get them in the order they were emitted.
//
// Everything is written under a hidden temporary name first and renamed at the end, so a failed
// or stopped import leaves no partial target; a different file already holding the target name
// is never replaced.
//
//     auto* worker = new Process_Import(workingDirectory, "/card/rec_0612.h264");
//     connect(worker, &Process_Import::end_thread, dialog, &ImportWindow::end_thread);
//     worker->start();
//     ... after end_thread: worker->outcome()
class Process_Import : public QThread
{
    Q_OBJECT
public:
    Process_Import(const QString& destination, const QString& source, QObject* parent = nullptr);
    // Waits for the thread, so a worker never outlives its object.
    ~Process_Import() override;

    // Copies `from` to the new file `to` in 1024-byte chunks, emitting copy_pos once per chunk.
    // Returns false when nothing or only part could be copied, or the source changed meanwhile
    // (copyError() says why); a partial target is removed.
    bool copyFile(const QString& from, const QString& to);
    QString copyError() const { return copyProblem; }

    // Feeds newly arrived tool output to the progress parser.
    void parseOutput(const QByteArray& text);

    // Asks a running import to stop as soon as it can; safe from any thread. A stopped import
    // fails with nothing left behind.
    void requestStop() { stopping = true; }

    // The result of the import; valid once end_thread has been emitted.
    ImportOutcome outcome() const { return result; }

    // The hidden names of an import's temporary files, for removing those a killed import left.
    static QRegularExpression temporaryNames();

    // The wrapping tool to start: the one beside the application first, then the first on PATH;
    // in each folder its installed name orvane-mp4wrap before its build name mp4box.
    static QString toolProgram();

    // A raw stream carries no frame rate: it is wrapped at the one chosen, by default 90.
    static constexpr int DefaultStreamFrameRate = 90;
    static constexpr int MaxStreamFrameRate = 1000;
    // Before start(); a rate outside 1 to MaxStreamFrameRate keeps the default.
    void setStreamFrameRate(int fps);

signals:
    void end_thread();
    void copy_pos(int value);
    void save_pos(int value);
    void encode_pos(int value);

public slots:
    void readyReadStandardOutput();

protected:
    void run() override;

private:
    ImportOutcome importFile();
    ImportOutcome importCopy(const QString& target);
    ImportOutcome importStream(const QString& target);
    qint64 copyContent(QFile& in, QFile& out, qint64 expected);
    // Returns an empty text when the tool wrote `target`, otherwise what went wrong.
    QString convert(const QString& rawCopy, const QString& target);
    void stopTool();
    QString toolProblem() const;
    void emitPhase(const QString& phase, void (Process_Import::*signal)(int));

    QString destination;
    QString source;
    // The running tool; it lives on the worker thread for the duration of convert().
    QProcess* process = nullptr;
    QString output;
    // The tail of everything the tool printed, for the reason of a failure.
    QString toolLog;
    QString copyProblem;
    std::atomic<bool> stopping{false};
    ImportOutcome result;
    int streamFrameRate = DefaultStreamFrameRate;
};
