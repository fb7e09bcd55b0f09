#pragma once

#include <QByteArray>
#include <QStringList>
#include <sys/types.h>

// A child program whose standard output and error come back through pipes, read without
// blocking. The child runs in a process group of its own, so a Ctrl-C on the terminal reaches
// only the parent, which passes it on once; and it is killed when the parent dies, so no child
// outlives an orvane-count ended at once by a second signal.
//
//   ChildProcess child;
//   if (!child.start(program, arguments, &error)) ...
//   while (child.running()) { poll on child.outputFd() and child.errorFd(); child.readOutput(); ...
//   }
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const QString& program, const QStringList& arguments, QString* error);
    // Sends a signal to the child; nothing once it has ended.
    void signal(int number);

    // The pipes still open (-1 once the child closed them); for poll().
    int outputFd() const { return outFd; }
    int errorFd() const { return errFd; }
    // Reads what is there on one of the pipes into its buffer; closes the pipe at its end.
    void readOutput();
    void readError();
    // Complete lines received so far (without their ends), and a last line without an end
    // once the pipe has closed.
    QList<QByteArray> takeOutputLines() { return takeLines(outBuffer, outFd < 0); }
    QList<QByteArray> takeErrorLines() { return takeLines(errBuffer, errFd < 0); }

    // Collects the child's status once both pipes have closed and it has ended.
    bool reap();
    bool running() const { return pid > 0; }
    // The status as a shell gives it: the exit code, or 128 + N after signal N.
    int exitStatus() const { return status; }

private:
    static void readInto(int& fd, QByteArray& buffer);
    static QList<QByteArray> takeLines(QByteArray& buffer, bool ended);

    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    QByteArray outBuffer;
    QByteArray errBuffer;
    int status = 0;
};
