#include "countcommand.h"

#include "analysissession.h"
#include "countprogress.h"
#include "countsignals.h"
#include "csvfile.h"
#include "eachfolder.h"
#include "exportpath.h"
#include "foldermode.h"
#include "folderrecords.h"
#include "runlock.h"
#include "videodecoder.h"
#include "videofiles.h"
#include "videolisting.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>
#include <algorithm>
#include <memory>
#include <optional>

namespace
{

const char* const program = "orvane-count: ";

// Absolute paths, so that the file-name rules see the same path as in the window. A video
// given by name is taken like a listed one, whatever its extension. Videos that cannot be
// listed (their names are not valid in the system's encoding) are returned in `unlisted`.
QVector<ListedVideo> collectVideos(const QStringList& paths, QStringList& unlisted)
{
    QVector<ListedVideo> videos;
    QSet<QString> seen;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            unlisted << unreadableVideoPaths(QDir(path).absolutePath());
        const QVector<ListedVideo> found =
            info.isDir() ? listVideos(QDir(path).absolutePath())
                         : QVector<ListedVideo>{describeVideo(info.absoluteFilePath())};
        for (const ListedVideo& v : found) {
            const QString key = QFileInfo(v.path).canonicalFilePath();
            if (seen.contains(key))
                continue;
            seen.insert(key);
            videos.append(v);
        }
    }
    return videos;
}

// The progress of a child of an --each-folder run, for the run that started it: a record at
// the start of each video and then at most one every quarter second.
class ProgressRecords
{
public:
    explicit ProgressRecords(std::ostream& out) : out(out) { clock.start(); }

    void report(const RunProgress& p, bool now)
    {
        if (!now && clock.elapsed() - lastReport < interval)
            return;
        lastReport = clock.elapsed();
        const FolderRecords::Progress record{p.video,           p.videos,
                                             p.frame - 1,       p.frameCount,
                                             p.framesPerSecond, ExportPath::baseName(p.path)};
        out << FolderRecords::progressLine(record).constData() << std::flush;
    }

private:
    static constexpr qint64 interval = 250; // ms
    std::ostream& out;
    QElapsedTimer clock;
    qint64 lastReport = -interval;
};

FolderRecords::Video videoRecord(const VideoOutcome& o)
{
    FolderRecords::Video v{o.name,    o.status(), o.kind == VideoOutcome::Analysed,
                           o.frames,  o.in,       o.out,
                           o.density, o.seconds};
    if (o.kind == VideoOutcome::Interrupted)
        v.status = QStringLiteral("interrupted after %1 frames: not complete").arg(o.frames);
    return v;
}

class CountRun
{
public:
    CountRun(CountStreams streams, bool quiet, bool records, CountingMode counting)
        : streams(streams), progress(streams.err, quiet || records        ? CountProgress::Quiet
                                                  : streams.errIsTerminal ? CountProgress::Terminal
                                                                          : CountProgress::Plain),
          session(QStringLiteral("orvane-count")), counting(counting)
    {
        if (records)
            progressRecords = std::make_unique<ProgressRecords>(streams.out);
        session.callbacks.videoStarted = [this](const RunProgress& p, const VideoProperties& props,
                                                const cv::Mat&) {
            progress.beginVideo(p.video, p.videos, ExportPath::baseName(p.path),
                                props.containerFrames, props.fps);
            if (progressRecords)
                progressRecords->report(p, true);
        };
        session.callbacks.frameAnalysed = [this](const RunProgress& p, const FrameSource::Frame&,
                                                 const std::vector<Result>&) {
            progress.frame(p.frame - 1);
            if (progressRecords)
                progressRecords->report(p, false);
        };
        session.callbacks.videoEnded = [this](const VideoOutcome& o) { reportEnd(o); };
    }

    bool loadRegions(const QString& video);
    // False when another run holds one of the folders.
    bool analyse(const QVector<ListedVideo>& queue);
    const QVector<VideoOutcome>& outcomes() const { return session.outcomes(); }

private:
    void error(const QString& text) { streams.err << program << text.toStdString() << std::endl; }
    void reportEnd(const VideoOutcome& o);

    CountStreams streams;
    CountProgress progress;
    std::unique_ptr<ProgressRecords> progressRecords;
    AnalysisSession session;
    cv::Size frameSize;
    CountingMode counting;
};

bool CountRun::loadRegions(const QString& video)
{
    const VideoFiles files(video);
    const QString area = files.area();
    const QString mask = files.mask();
    if (!QFileInfo::exists(area) || !QFileInfo::exists(mask)) {
        error(QStringLiteral("%1 has no region files (%2 and %3)").arg(video, area, mask));
        return false;
    }
    // Problems name their file; warnings (coordinates read as 0) do not stop the run.
    AreaContour& regions = session.regions();
    const auto load = [&](bool loaded) {
        if (!regions.load_problem().isEmpty())
            error(regions.load_problem());
        return loaded;
    };
    if (!load(regions.load_area(video)) || !load(regions.load_mask(video)))
        return false;
    // The run's frame size is that of the regions' video, as in the window. Its stream's header
    // tells it without decoding up to the first analysed frame, a fifth of a second of 1080p
    // footage; the run reads that frame of every video it analyses.
    frameSize = analysedFrameSize(video, VideoFiles::firstAnalysedFrame);
    if (frameSize.empty()) {
        error(QStringLiteral("cannot read frame %1 of the regions' video %2")
                  .arg(VideoFiles::firstAnalysedFrame)
                  .arg(video));
        return false;
    }
    return true;
}

bool CountRun::analyse(const QVector<ListedVideo>& queue)
{
    QStringList paths;
    for (const ListedVideo& v : queue)
        paths << v.path;
    const QString refused = session.start(paths, frameSize, counting);
    if (!refused.isEmpty()) {
        error(refused);
        return false;
    }
    session.run([] { return stopSignal() != 0; });
    return true;
}

void CountRun::reportEnd(const VideoOutcome& o)
{
    if (o.kind == VideoOutcome::Analysed || o.kind == VideoOutcome::Interrupted)
        progress.endVideo(o.frames, o.seconds);
    switch (o.kind) {
    case VideoOutcome::Skipped:
        error(QStringLiteral("skipped %1: %2").arg(o.path, o.reason));
        break;
    case VideoOutcome::Failed:
        error(QStringLiteral("failed %1: %2").arg(o.path, o.reason));
        break;
    case VideoOutcome::Interrupted:
        error(QStringLiteral("interrupted %1 after %2 frames").arg(o.path).arg(o.frames));
        break;
    case VideoOutcome::Analysed:
        break;
    }
    if (o.unreadableFrames > 0)
        error(
            QStringLiteral("%1: %2 frames could not be read").arg(o.path).arg(o.unreadableFrames));
    if (!o.shortEnd().isEmpty())
        error(QStringLiteral("%1 %2").arg(o.path, o.shortEnd()));
}

// Debug messages of the engine (one per frame and target) would drown the progress; they are
// kept out unless the user asks for them with logging rules of their own.
QtMessageHandler previousHandler = nullptr;

void countMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (previousHandler)
        previousHandler(type, context, text);
}

// Turning the levels off in the categories too spares the engine formatting messages that the
// handler would drop anyway.
QLoggingCategory::CategoryFilter previousFilter = nullptr;

void countCategoryFilter(QLoggingCategory* category)
{
    if (previousFilter)
        previousFilter(category);
    category->setEnabled(QtDebugMsg, false);
    category->setEnabled(QtInfoMsg, false);
}

class QuietDebug
{
public:
    QuietDebug()
    {
        previousHandler = qInstallMessageHandler(countMessageHandler);
        previousFilter = QLoggingCategory::installFilter(countCategoryFilter);
    }
    ~QuietDebug()
    {
        QLoggingCategory::installFilter(previousFilter);
        qInstallMessageHandler(previousHandler);
    }
};

QString padLeft(const QString& s, int width)
{
    return s.rightJustified(width, QLatin1Char(' '));
}

QString outcomeColumns(const VideoOutcome& o)
{
    return padLeft(QString::number(o.frames), 9) + padLeft(QString::number(o.in), 9) +
           padLeft(QString::number(o.out), 9) + padLeft(o.density, 9) +
           padLeft(QString::number(o.seconds, 'f', 1), 9);
}

QString outcomeNote(const VideoOutcome& o)
{
    switch (o.kind) {
    case VideoOutcome::Analysed: {
        // What status() adds to "analysed": unreadable frames, a file cut short.
        const QString notes = o.status().mid(qstrlen("analysed"));
        return notes.isEmpty() ? QString() : QStringLiteral(" ") + notes;
    }
    case VideoOutcome::Interrupted:
        return QStringLiteral("  interrupted: not complete, its events are in %1")
            .arg(VideoFiles(o.path).partialResult());
    default:
        return QStringLiteral("  ") + o.status();
    }
}

// False when standard output could not take the summary.
bool printSummary(std::ostream& out, const QVector<VideoOutcome>& rows, int queued,
                  CountingMode mode)
{
    int nameWidth = 5;
    for (const VideoOutcome& r : rows)
        nameWidth = qMax(nameWidth, r.name.size());
    const auto line = [&](const QString& name, const QString& rest) {
        out << name.leftJustified(nameWidth).toStdString() << rest.toStdString() << '\n';
    };
    line(QStringLiteral("Video"), QStringLiteral("   Frames       In      Out  Density  Seconds"));
    VideoOutcome total;
    for (const VideoOutcome& r : rows) {
        const bool counted = r.kind == VideoOutcome::Analysed;
        line(r.name,
             (counted || r.kind == VideoOutcome::Interrupted ? outcomeColumns(r) : QString()) +
                 outcomeNote(r));
        if (!counted)
            continue;
        total.frames += r.frames;
        total.in += r.in;
        total.out += r.out;
        total.seconds += r.seconds;
    }
    int analysed = 0;
    for (const VideoOutcome& r : rows)
        analysed += r.kind == VideoOutcome::Analysed ? 1 : 0;
    line(QStringLiteral("Total"),
         outcomeColumns(total) +
             QStringLiteral("   %1 of %2 videos analysed").arg(analysed).arg(queued));
    out << "Counting mode: " << countingModeName(mode).toStdString() << '\n';
    out.flush();
    return static_cast<bool>(out);
}

// A child's summary: one record per video.
bool printRecords(std::ostream& out, const QVector<VideoOutcome>& rows)
{
    for (const VideoOutcome& r : rows)
        out << FolderRecords::videoLine(videoRecord(r)).constData();
    out.flush();
    return static_cast<bool>(out);
}

// After an --each-folder summary: the mode of the results of each folder, as their records say.
void printFolderModes(std::ostream& out, const QStringList& folders)
{
    QStringList modes;
    QSet<QString> distinct;
    for (const QString& folder : folders) {
        const FolderMode results = FolderMode::of({folder});
        if (results.results() == 0)
            continue;
        const QString mode =
            results.mixed() ? QStringLiteral("mixed") : countingModeName(results.mode());
        modes << QStringLiteral("%1 %2").arg(folder, mode);
        distinct.insert(mode);
    }
    if (distinct.size() == 1)
        out << "Counting mode: " << distinct.begin()->toStdString() << '\n';
    else if (!modes.isEmpty())
        out << "Counting modes: " << modes.join(QStringLiteral(", ")).toStdString() << '\n';
    out.flush();
}

// Each folder in a child orvane-count of its own; a folder named twice runs once, since its
// second run would only meet the first one's lock.
int runFolders(const CountOptions& options, CountStreams streams)
{
    EachFolderOptions each;
    each.program = options.childProgram.isEmpty() ? QCoreApplication::applicationFilePath()
                                                  : options.childProgram;
    if (options.onlyUnprocessed)
        each.childArguments << QStringLiteral("--only-unprocessed");
    // Without --counting each folder keeps its own mode.
    if (options.countingGiven)
        each.childArguments << QStringLiteral("--counting") << countingModeName(options.counting);
    QSet<QString> seen;
    for (const QString& folder : options.paths) {
        const QString key = QFileInfo(folder).canonicalFilePath();
        if (!seen.contains(key))
            each.folders << folder;
        seen.insert(key);
    }
    each.jobs = qMax(1, options.jobs);
    each.quiet = options.quiet;
    each.errIsTerminal = streams.errIsTerminal;
    const int status = runEachFolder(each, streams.out, streams.err, stopSignal);
    printFolderModes(streams.out, each.folders);
    return streams.out.good() ? status : std::max(status, int(ExitFailed));
}

// The folders of the listed videos, each once.
QStringList videoFolders(const QVector<ListedVideo>& videos)
{
    QStringList folders;
    for (const ListedVideo& v : videos) {
        const QString folder = QFileInfo(v.path).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}

// --break-lock: each folder's lock removed after saying whose it was.
int breakLocks(const QStringList& folders, CountStreams streams)
{
    int status = ExitAnalysed;
    for (const QString& folder : folders) {
        QString report;
        if (!RunLock::breakLock(folder, report))
            status = ExitSkipped;
        streams.err << program << report.toStdString() << std::endl;
    }
    return status;
}

// Videos that could not even be listed are skipped ones: they count in the summary and status.
QVector<VideoOutcome> unlistedOutcomes(const QStringList& unlisted)
{
    QVector<VideoOutcome> rows;
    for (const QString& path : unlisted) {
        VideoOutcome o;
        o.path = path;
        o.name = QFileInfo(path).completeBaseName();
        o.kind = VideoOutcome::Skipped;
        o.reason = QStringLiteral("its name is not valid in the system's encoding");
        rows.append(o);
    }
    return rows;
}

int exitStatus(const QVector<VideoOutcome>& rows)
{
    int status = ExitAnalysed;
    for (const VideoOutcome& r : rows) {
        if (r.kind == VideoOutcome::Failed)
            return ExitFailed;
        if (r.kind != VideoOutcome::Analysed || !r.shortEnd().isEmpty())
            status = ExitSkipped;
    }
    return status;
}

} // namespace

int runCount(const CountOptions& options, CountStreams streams, QVector<VideoOutcome>* counts)
{
    if (options.help) {
        streams.out << countUsage().toStdString() << std::flush;
        return streams.out ? ExitAnalysed : ExitFailed;
    }
    const QString problem = options.check();
    if (!problem.isEmpty()) {
        streams.err << program << problem.toStdString() << "\n"
                    << "Try 'orvane-count --help'." << std::endl;
        return ExitUsage;
    }
    if (options.breakLock)
        return breakLocks(options.paths, streams);
    if (options.eachFolder)
        return runFolders(options, streams);
    QStringList unlisted;
    const QVector<ListedVideo> videos = collectVideos(options.paths, unlisted);
    for (const QString& path : unlisted)
        streams.err << program << unreadableNameWarning(path).toStdString() << std::endl;
    if (videos.isEmpty()) {
        streams.err << program << "no video found in the given paths" << std::endl;
        return ExitSkipped;
    }
    QString regionsVideo = options.regionsVideo.isNull()
                               ? QString()
                               : QFileInfo(options.regionsVideo).absoluteFilePath();
    for (int i = 0; regionsVideo.isEmpty() && i < videos.size(); ++i) {
        if (videos.at(i).hasRegions)
            regionsVideo = videos.at(i).path;
    }
    if (regionsVideo.isEmpty()) {
        streams.err << program
                    << "no listed video has both region files (NAME_area.adv and NAME_mask.adv "
                       "in its exportCSV folder); draw them in the window, or name a video that "
                       "has them with --regions"
                    << std::endl;
        return ExitSkipped;
    }

    CountingMode counting = options.counting;
    if (!options.countingGiven) {
        const FolderMode folders = FolderMode::of(videoFolders(videos));
        if (folders.mixed()) {
            streams.err << program << folders.mixedText().toStdString()
                        << "; choose one with --counting classic or --counting strict" << std::endl;
            return ExitUsage;
        }
        counting = folders.mode();
    }

    QVector<ListedVideo> queue;
    for (const ListedVideo& v : videos) {
        if (!options.onlyUnprocessed || !v.done)
            queue.append(v);
    }

    std::optional<QuietDebug> quietDebug;
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        quietDebug.emplace();
    CountRun countRun(streams, options.quiet, options.folderRecords, counting);
    if (!countRun.loadRegions(regionsVideo))
        return ExitSkipped;
    if (!countRun.analyse(queue))
        return ExitSkipped;
    const QVector<VideoOutcome> rows = unlistedOutcomes(unlisted) + countRun.outcomes();
    if (counts)
        *counts = rows;
    const bool printed =
        options.folderRecords
            ? printRecords(streams.out, rows)
            : printSummary(streams.out, rows, queue.size() + unlisted.size(), counting);
    if (!printed)
        streams.err << program << "cannot write the summary to standard output" << std::endl;
    if (stopSignal() != 0)
        return ExitSignal + stopSignal();
    return printed ? exitStatus(rows) : ExitFailed;
}

int countMain(const QStringList& arguments, CountStreams streams)
{
    CountOptions options;
    const QString problem = parseCountArguments(arguments, options);
    if (!problem.isEmpty()) {
        streams.err << program << problem.toStdString() << "\n"
                    << "Try 'orvane-count --help'." << std::endl;
        return ExitUsage;
    }
    return runCount(options, streams);
}
