#include "countcommand.h"

#include "analysisrun.h"
#include "areacontour.h"
#include "countprogress.h"
#include "csvfile.h"
#include "exportpath.h"
#include "framereader.h"
#include "insectdetect.h"
#include "tracker.h"
#include "videoinput.h"
#include "videolisting.h"
#include "videostart.h"
#include "vorldensity.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>

namespace
{

const char* const program = "orvane-count: ";

// Absolute paths, so that the file-name rules see the same path as in the window. A video
// given by name is taken like a listed one, whatever its extension. Videos that cannot be
// listed are told in `warnings`.
QVector<ListedVideo> collectVideos(const QStringList& paths, QStringList& warnings)
{
    QVector<ListedVideo> videos;
    QSet<QString> seen;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            warnings << unreadableVideoNames(QDir(path).absolutePath());
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

class CountRun
{
public:
    explicit CountRun(CountStreams streams, bool quiet)
        : streams(streams), progress(streams.err, quiet                   ? CountProgress::Quiet
                                                  : streams.errIsTerminal ? CountProgress::Terminal
                                                                          : CountProgress::Plain),
          run(tracker, insectDetect, regions, density)
    {
    }

    bool loadRegions(const QString& video);
    void analyse(const QVector<ListedVideo>& queue, QVector<VideoCount>& rows);

private:
    void error(const QString& text) { streams.err << program << text.toStdString() << std::endl; }
    VideoCount analyseOne(const ListedVideo& video, int index, int total);
    bool skip(VideoCount& row, const QString& problem);

    CountStreams streams;
    CountProgress progress;
    Tracker tracker;
    InsectDetect insectDetect;
    AreaContour regions;
    VorlDensity density;
    AnalysisRun run;
    cv::VideoCapture capture;
    cv::Mat firstFrame;
    FrameReader reader;
};

bool CountRun::loadRegions(const QString& video)
{
    const QString area = ExportPath::file(video, QLatin1String(ExportPath::areaSuffix));
    const QString mask = ExportPath::file(video, QLatin1String(ExportPath::maskSuffix));
    if (!QFileInfo::exists(area) || !QFileInfo::exists(mask)) {
        error(QStringLiteral("%1 has no region files (%2 and %3)").arg(video, area, mask));
        return false;
    }
    // Problems name their file; warnings (coordinates read as 0) do not stop the run.
    const auto load = [&](bool loaded) {
        if (!regions.load_problem().isEmpty())
            error(regions.load_problem());
        return loaded;
    };
    if (!load(regions.load_area(video)) || !load(regions.load_mask(video)))
        return false;
    // The run's frame size is that of the regions' video, as in the window.
    if (!openVideoAt(capture, video, 90, firstFrame)) {
        error(QStringLiteral("cannot read frame 90 of the regions' video %1").arg(video));
        return false;
    }
    run.start(firstFrame.size());
    capture.release();
    return true;
}

void CountRun::analyse(const QVector<ListedVideo>& queue, QVector<VideoCount>& rows)
{
    for (int i = 0; i < queue.size(); ++i)
        rows.append(analyseOne(queue.at(i), i + 1, queue.size()));
}

bool CountRun::skip(VideoCount& row, const QString& problem)
{
    row.problem = problem;
    error(QStringLiteral("skipped %1: %2").arg(row.path, problem));
    return false;
}

VideoCount CountRun::analyseOne(const ListedVideo& video, int index, int total)
{
    VideoCount row;
    row.path = video.path;
    row.name = video.baseName;
    VideoProperties props;
    if (!openVideoAt(capture, video.path, 90, firstFrame, &props)) {
        skip(row, props.opened ? QStringLiteral("frame 90 cannot be read")
                               : QStringLiteral("the video cannot be opened"));
        return row;
    }
    // Checked before the exportCSV folder is made, so a misfit video leaves nothing behind.
    const QString misfit = run.frameProblem(firstFrame);
    if (!misfit.isEmpty()) {
        skip(row, misfit);
        return row;
    }
    if (!ExportPath::ensureFolder(video.path)) {
        skip(row,
             QStringLiteral("cannot create the folder %1").arg(ExportPath::folder(video.path)));
        return row;
    }
    if (!run.beginVideo(video.path, firstFrame, props.fps, startTimeFromFileName(video.path))) {
        skip(row, run.refusal());
        return row;
    }
    if (!run.resultFileCreated()) {
        skip(
            row,
            QStringLiteral("cannot write the result file %1").arg(CsvFile::resultPath(video.path)));
        return row;
    }

    QElapsedTimer clock;
    clock.start();
    progress.beginVideo(index, total, video.baseName, props.containerFrames, props.fps);
    double framePos = 90;
    reader.start(capture);
    while (FrameReader::Frame* frame = reader.next()) {
        for (const Result& event : run.analyseFrame(frame->colour, framePos)) {
            row.in += event.in;
            row.out += event.out;
        }
        reader.release();
        ++row.frames;
        progress.frame(framePos);
        framePos += 1;
    }
    reader.stop();
    capture.release();
    const bool saved = run.endVideo();
    row.seconds = clock.elapsed() / 1000.0;
    row.density = density.text().section(QLatin1Char(' '), -1);
    progress.endVideo(row.frames, row.seconds);
    row.analysed = saved;
    if (!saved)
        skip(row,
             QStringLiteral("cannot write the density files %1")
                 .arg(ExportPath::file(video.path, QLatin1String(ExportPath::densityImageSuffix))));
    return row;
}

// Debug messages of the engine (one per frame and target) would drown the progress.
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

void printSummary(std::ostream& out, const QVector<VideoCount>& rows)
{
    int nameWidth = 5;
    for (const VideoCount& r : rows)
        nameWidth = qMax(nameWidth, r.name.size());
    const auto line = [&](const QString& name, const QString& rest) {
        out << name.leftJustified(nameWidth).toStdString() << rest.toStdString() << '\n';
    };
    line(QStringLiteral("Video"), QStringLiteral("   Frames       In      Out  Density  Seconds"));
    long frames = 0, in = 0, outs = 0, analysed = 0;
    double seconds = 0;
    for (const VideoCount& r : rows) {
        if (r.frames == 0 && !r.analysed) {
            line(r.name, QStringLiteral("  skipped: ") + r.problem);
            continue;
        }
        line(r.name, padLeft(QString::number(r.frames), 9) + padLeft(QString::number(r.in), 9) +
                         padLeft(QString::number(r.out), 9) + padLeft(r.density, 9) +
                         padLeft(QString::number(r.seconds, 'f', 1), 9));
        frames += r.frames;
        in += r.in;
        outs += r.out;
        seconds += r.seconds;
        analysed += r.analysed ? 1 : 0;
    }
    line(QStringLiteral("Total"),
         padLeft(QString::number(frames), 9) + padLeft(QString::number(in), 9) +
             padLeft(QString::number(outs), 9) + padLeft(QString(), 9) +
             padLeft(QString::number(seconds, 'f', 1), 9) +
             QStringLiteral("   %1 of %2 videos analysed").arg(analysed).arg(rows.size()));
    out.flush();
}

} // namespace

int runCount(const CountOptions& options, CountStreams streams, QVector<VideoCount>* counts)
{
    if (options.help) {
        streams.out << countUsage().toStdString() << std::flush;
        return ExitAnalysed;
    }
    const QString problem = options.check();
    if (!problem.isEmpty()) {
        streams.err << program << problem.toStdString() << "\n"
                    << "Try 'orvane-count --help'." << std::endl;
        return ExitUsage;
    }
    QStringList listingWarnings;
    const QVector<ListedVideo> videos = collectVideos(options.paths, listingWarnings);
    for (const QString& warning : listingWarnings)
        streams.err << program << warning.toStdString() << std::endl;
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

    QVector<ListedVideo> queue;
    for (const ListedVideo& v : videos) {
        if (!options.onlyUnprocessed || !v.done)
            queue.append(v);
    }

    QuietDebug quietDebug;
    CountRun countRun(streams, options.quiet);
    if (!countRun.loadRegions(regionsVideo))
        return ExitSkipped;
    QVector<VideoCount> rows;
    countRun.analyse(queue, rows);
    printSummary(streams.out, rows);
    if (counts)
        *counts = rows;
    for (const VideoCount& r : rows) {
        if (!r.analysed)
            return ExitSkipped;
    }
    return ExitAnalysed;
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
