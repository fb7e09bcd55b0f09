#include "eachfolder.h"

#include "childprocess.h"
#include "folderprogress.h"

#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <poll.h>
#include <vector>

namespace
{

constexpr int pollMilliseconds = 100; // longest wait for the children between checks
const char* const childRecordsOption = "--folder-records";
const QLatin1String commandPrefix("orvane-count: "); // a child's messages start with it

struct RunningFolder {
    int index = 0; // in the outcomes
    std::unique_ptr<ChildProcess> child;
    FolderRecords::Progress progress;
    bool reported = false; // progress holds a report
};

class EachFolderRun
{
public:
    EachFolderRun(const EachFolderOptions& options, std::ostream& err)
        : options(options), progress(err, options.quiet           ? FolderProgress::Quiet
                                          : options.errIsTerminal ? FolderProgress::Terminal
                                                                  : FolderProgress::Plain)
    {
        for (const QString& folder : options.folders)
            outcomes.append(FolderOutcome{folder, {}, false, 0, {}});
    }

    // The worst status of the folders.
    int run(const std::function<int()>& stopRequested);
    const QVector<FolderOutcome>& results() const { return outcomes; }

private:
    void startNext();
    void stopAll(int signal);
    void waitForOutput();
    void takeLines(RunningFolder& folder);
    void finish(RunningFolder& folder);
    void showProgress();

    const EachFolderOptions& options;
    FolderProgress progress;
    QVector<FolderOutcome> outcomes;
    std::vector<RunningFolder> running;
    int next = 0;
    int stoppedBy = 0;
};

int EachFolderRun::run(const std::function<int()>& stopRequested)
{
    for (;;) {
        const int signal = stopRequested ? stopRequested() : 0;
        if (signal != 0 && stoppedBy == 0)
            stopAll(signal);
        while (stoppedBy == 0 && int(running.size()) < options.jobs && next < outcomes.size())
            startNext();
        if (running.empty())
            break;
        waitForOutput();
        for (auto it = running.begin(); it != running.end();) {
            takeLines(*it);
            if (it->child->reap()) {
                finish(*it);
                it = running.erase(it);
            } else {
                ++it;
            }
        }
        showProgress();
    }
    progress.clear();
    int worst = stoppedBy != 0 ? 128 + stoppedBy : 0;
    for (const FolderOutcome& o : outcomes)
        worst = std::max(worst, o.exitStatus);
    return worst;
}

void EachFolderRun::startNext()
{
    FolderOutcome& outcome = outcomes[next];
    RunningFolder folder;
    folder.index = next++;
    folder.child = std::make_unique<ChildProcess>();
    const QStringList arguments =
        options.childArguments +
        QStringList{QLatin1String(childRecordsOption), QStringLiteral("--"), outcome.folder};
    QString error;
    outcome.started = true;
    if (!folder.child->start(options.program, arguments, &error)) {
        outcome.exitStatus = 1;
        outcome.message = error;
        progress.message(outcome.folder, error);
        return;
    }
    progress.started(outcome.folder);
    running.push_back(std::move(folder));
}

// Each child stops after its current frame and reports what it did; the folders not started
// stay so, and a later --only-unprocessed run takes them.
void EachFolderRun::stopAll(int signal)
{
    stoppedBy = signal;
    for (RunningFolder& folder : running)
        folder.child->signal(signal);
}

void EachFolderRun::waitForOutput()
{
    std::vector<pollfd> fds;
    for (const RunningFolder& folder : running) {
        for (int fd : {folder.child->outputFd(), folder.child->errorFd()}) {
            if (fd >= 0)
                fds.push_back({fd, POLLIN, 0});
        }
    }
    // Without a pipe left, the wait only gives the ending children time to exit.
    if (poll(fds.data(), fds.size(), pollMilliseconds) <= 0)
        return;
    for (RunningFolder& folder : running) {
        for (const pollfd& p : fds) {
            if (p.revents == 0)
                continue;
            if (p.fd == folder.child->outputFd())
                folder.child->readOutput();
            else if (p.fd == folder.child->errorFd())
                folder.child->readError();
        }
    }
}

void EachFolderRun::takeLines(RunningFolder& folder)
{
    FolderOutcome& outcome = outcomes[folder.index];
    for (const QByteArray& line : folder.child->takeOutputLines()) {
        FolderRecords::Video video;
        switch (FolderRecords::parse(line, &folder.progress, &video)) {
        case FolderRecords::ProgressRecord:
            folder.reported = true;
            break;
        case FolderRecords::VideoRecord:
            outcome.videos.append(video);
            break;
        case FolderRecords::NoRecord:
            progress.message(outcome.folder, QString::fromLocal8Bit(line));
            break;
        }
    }
    for (const QByteArray& line : folder.child->takeErrorLines()) {
        QString text = QString::fromLocal8Bit(line);
        if (text.startsWith(commandPrefix))
            text.remove(0, commandPrefix.size());
        if (text.trimmed().isEmpty())
            continue;
        outcome.message = text;
        progress.message(outcome.folder, text);
    }
}

// What the summary says of a folder that gave no video line.
QString folderWithoutVideos(const FolderOutcome& outcome)
{
    if (!outcome.started)
        return QStringLiteral("not started");
    if (outcome.exitStatus > 128 && outcome.message.isEmpty())
        return QStringLiteral("stopped by signal %1").arg(outcome.exitStatus - 128);
    if (outcome.exitStatus == 0)
        return QStringLiteral("nothing to analyse");
    return (outcome.exitStatus == 2 ? QStringLiteral("not analysed: ")
                                    : QStringLiteral("failed: ")) +
           (outcome.message.isEmpty() ? QStringLiteral("exit status %1").arg(outcome.exitStatus)
                                      : outcome.message);
}

QString folderResult(const FolderOutcome& outcome)
{
    if (outcome.videos.isEmpty())
        return folderWithoutVideos(outcome) +
               QStringLiteral(" (exit status %1)").arg(outcome.exitStatus);
    const auto analysed = std::count_if(outcome.videos.begin(), outcome.videos.end(),
                                        [](const FolderRecords::Video& v) { return v.analysed; });
    QString text =
        QStringLiteral("done, %1 of %2 videos analysed").arg(analysed).arg(outcome.videos.size());
    if (outcome.exitStatus > 128)
        text = QStringLiteral("stopped by signal %1 after %2 of %3 videos")
                   .arg(outcome.exitStatus - 128)
                   .arg(analysed)
                   .arg(outcome.videos.size());
    return text + QStringLiteral(" (exit status %1)").arg(outcome.exitStatus);
}

void EachFolderRun::finish(RunningFolder& folder)
{
    FolderOutcome& outcome = outcomes[folder.index];
    outcome.exitStatus = folder.child->exitStatus();
    progress.finished(outcome.folder, folderResult(outcome));
}

void EachFolderRun::showProgress()
{
    QVector<FolderProgress::Running> lines;
    for (const RunningFolder& folder : running)
        lines.append({outcomes[folder.index].folder, folder.reported ? &folder.progress : nullptr});
    progress.show(lines);
}

QString padLeft(const QString& s, int width)
{
    return s.rightJustified(width, QLatin1Char(' '));
}

QString columns(long frames, long in, long out, const QString& density, double seconds)
{
    return padLeft(QString::number(frames), 9) + padLeft(QString::number(in), 9) +
           padLeft(QString::number(out), 9) + padLeft(density, 9) +
           padLeft(QString::number(seconds, 'f', 1), 9);
}

// The totals count the analysed videos only: a video not complete has no counts to add.
struct Totals {
    long frames = 0, in = 0, out = 0, analysed = 0, videos = 0;
    double seconds = 0;

    void add(const FolderRecords::Video& v)
    {
        ++videos;
        if (!v.analysed)
            return;
        frames += v.frames;
        in += v.in;
        out += v.out;
        seconds += v.seconds;
        ++analysed;
    }
};

// The totals count the videos the children reported; a folder refused, not started or stopped
// before it reported them all has videos that no total shows, so the line says so.
QString unfinishedFolders(const QVector<FolderOutcome>& outcomes)
{
    const auto unfinished =
        std::count_if(outcomes.begin(), outcomes.end(), [](const FolderOutcome& o) {
            return (o.videos.isEmpty() && o.exitStatus != 0) || !o.started || o.exitStatus > 128;
        });
    if (unfinished == 0)
        return {};
    return QStringLiteral("; %1 of them refused, stopped or not started, their videos not "
                          "counted here")
        .arg(unfinished);
}

void printSummary(std::ostream& out, const QVector<FolderOutcome>& outcomes)
{
    int folderWidth = 8, videoWidth = 5;
    for (const FolderOutcome& o : outcomes) {
        folderWidth = std::max(folderWidth, int(o.folder.size()) + 2);
        for (const FolderRecords::Video& v : o.videos)
            videoWidth = std::max(videoWidth, int(v.name.size()));
    }
    const auto line = [&](const QString& folder, const QString& video, const QString& rest) {
        out << folder.leftJustified(folderWidth).toStdString()
            << video.leftJustified(videoWidth).toStdString() << rest.toStdString() << '\n';
    };
    line(QStringLiteral("Folder"), QStringLiteral("Video"),
         QStringLiteral("   Frames       In      Out  Density  Seconds"));
    Totals total;
    for (const FolderOutcome& o : outcomes) {
        if (o.videos.isEmpty())
            line(o.folder, QStringLiteral("-"), QStringLiteral("  ") + folderWithoutVideos(o));
        for (const FolderRecords::Video& v : o.videos) {
            total.add(v);
            line(o.folder, v.name,
                 v.analysed ? columns(v.frames, v.in, v.out, v.density, v.seconds)
                            : QStringLiteral("  ") + v.status);
        }
    }
    line(QStringLiteral("Total"), QString(),
         columns(total.frames, total.in, total.out, QString(), total.seconds) +
             QStringLiteral("   %1 of %2 videos analysed in %3 folders")
                 .arg(total.analysed)
                 .arg(total.videos)
                 .arg(outcomes.size()) +
             unfinishedFolders(outcomes));
    out.flush();
}

} // namespace

int runEachFolder(const EachFolderOptions& options, std::ostream& out, std::ostream& err,
                  const std::function<int()>& stopRequested, QVector<FolderOutcome>* outcomes)
{
    EachFolderRun run(options, err);
    int status = run.run(stopRequested);
    printSummary(out, run.results());
    if (!out.good()) {
        err << "orvane-count: cannot write the summary to standard output" << std::endl;
        status = std::max(status, 1); // a summary that could not be written is no success
    }
    if (outcomes)
        *outcomes = run.results();
    return status;
}
