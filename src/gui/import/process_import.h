#pragma once

#include <QByteArray>
#include <QString>
#include <QThread>

class QProcess;

// Brings one recording into the working directory on its own thread: an .mp4 is copied, an .avi
// is copied under the suffix .mp4, and a raw .h264 stream is copied and then wrapped into an MP4
// file by the mp4box tool. Progress and the end are reported through signals, all emitted from
// the worker thread, so queued receivers get them in the order they were emitted.
//
//     auto* worker = new Process_Import(workingDirectory, "/card/rec_0612.h264");
//     connect(worker, &Process_Import::end_thread, dialog, &ImportWindow::end_thread);
//     worker->start();
class Process_Import : public QThread
{
    Q_OBJECT
public:
    Process_Import(const QString& destination, const QString& source, QObject* parent = nullptr);
    // Waits for the thread, so a worker never outlives its object.
    ~Process_Import() override;

    // Copies `from` to `to` in 1024-byte chunks, emitting copy_pos once per chunk. Returns false
    // when nothing or only part could be copied; a partial target is removed.
    bool copyFile(const QString& from, const QString& to);

    // Feeds newly arrived tool output to the progress parser.
    void parseOutput(const QByteArray& text);

    // The mp4box program to start: the one beside the application first, then the one on PATH.
    static QString toolProgram();

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
    void importStream(const QString& rawCopy, const QString& target, bool keepRawCopy);
    void convert(const QString& rawCopy, const QString& target);
    void emitPhase(const QString& phase, void (Process_Import::*signal)(int));

    QString destination;
    QString source;
    // The running tool; it lives on the worker thread for the duration of convert().
    QProcess* process = nullptr;
    QString output;
};
