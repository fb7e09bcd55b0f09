#include "runcontroller.h"

#include "csvfile.h"
#include "exportpath.h"
#include "videostart.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

QString VideoOutcome::status() const
{
    QString text;
    switch (kind) {
    case Analysed:
        text = QStringLiteral("analysed");
        break;
    case Skipped:
        text = QStringLiteral("skipped: ") + reason;
        break;
    case Failed:
        text = QStringLiteral("failed: ") + reason;
        break;
    case Interrupted:
        text = QStringLiteral("interrupted");
        break;
    }
    if (unreadableFrames > 0)
        text += QStringLiteral(" (%1 frames could not be read)").arg(unreadableFrames);
    if (declaredFrames > 0)
        text += QStringLiteral(" (%1)").arg(shortEnd());
    return text;
}

QString VideoOutcome::shortEnd() const
{
    if (declaredFrames <= 0)
        return {};
    return QStringLiteral("ends at frame %1 of %2: %3 frames missing")
        .arg(endedAt)
        .arg(declaredFrames)
        .arg(declaredFrames - endedAt - 1);
}

RunController::RunController(AnalysisRun& engine, FrameSource& source)
    : engine(engine), source(source)
{
}

RunController::~RunController()
{
    if (sourceOpen)
        source.close();
}

void RunController::describeRuns(const QString& program, const std::vector<cv::Point>& area,
                                 const std::vector<cv::Point>& mask)
{
    record.program = program;
    record.area = area;
    record.mask = mask;
}

QString RunController::start(const QStringList& videos, cv::Size frameSize, CountingMode mode)
{
    results.clear();
    queue = videos;
    nextInQueue = 0;
    stopRequested.store(false);
    if (!lock.acquire(queue)) {
        running = false;
        return lock.refusal();
    }
    findSharedResultFiles();
    record.mode = mode;
    record.frameSize = frameSize;
    record.host = QSysInfo::machineHostName();
    engine.start(frameSize, mode);
    source.analyseOnly(engine.analysedArea(), engine.analysedBrightness());
    running = true;
    return QString();
}

// trap.mp4 and trap.MP4, for one, would write into one result file, the second overwriting
// the first one's events.
void RunController::findSharedResultFiles()
{
    sharedResult.clear();
    QMap<QString, QStringList> byResult;
    for (const QString& video : queue)
        byResult[QFileInfo(CsvFile::resultPath(video)).absoluteFilePath()] << video;
    for (auto it = byResult.cbegin(); it != byResult.cend(); ++it) {
        if (it.value().size() < 2)
            continue;
        const QString why = QStringLiteral("%1 would share the result file %2")
                                .arg(it.value().join(QStringLiteral(" and ")), it.key());
        for (const QString& video : it.value())
            sharedResult.insert(video, why);
    }
}

int RunController::count(VideoOutcome::Kind kind) const
{
    int n = 0;
    for (const VideoOutcome& o : results)
        n += o.kind == kind ? 1 : 0;
    return n;
}

bool RunController::step()
{
    if (!running)
        return false;
    if (!currentPath.isEmpty()) {
        if (stopRequested.load())
            endVideo(VideoOutcome::Interrupted);
        else
            analysePending();
        return true;
    }
    if (stopRequested.load() || nextInQueue >= queue.size()) {
        finishRun();
        return false;
    }
    startVideo(queue.at(nextInQueue++));
    return true;
}

void RunController::run()
{
    while (step()) {
    }
}

RunProgress RunController::progress() const
{
    RunProgress p;
    p.video = nextInQueue;
    p.videos = queue.size();
    p.path = currentPath;
    p.frame = position;
    p.frameCount = frameCount;
    const double seconds = clock.isValid() ? clock.elapsed() / 1000.0 : 0;
    p.framesPerSecond = seconds > 0 ? outcome.frames / seconds : 0;
    return p;
}

// Nothing is written for a video until it has shown a frame to analyse after frame 90.
void RunController::startVideo(const QString& path)
{
    currentPath = path;
    outcome = VideoOutcome();
    outcome.path = path;
    outcome.name = ExportPath::baseName(path);
    clock.start();
    record.started = QDateTime::currentDateTime();
    if (sharedResult.contains(path))
        return endVideo(VideoOutcome::Skipped, sharedResult.value(path));
    VideoProperties props;
    sourceOpen = true;
    if (!source.open(path, VideoFiles::firstAnalysedFrame, first, props))
        return endVideo(
            VideoOutcome::Skipped,
            props.opened
                ? QStringLiteral("frame %1 cannot be read").arg(VideoFiles::firstAnalysedFrame)
                : QStringLiteral("the video cannot be opened"));
    const QString misfit = engine.frameProblem(first);
    if (!misfit.isEmpty())
        return endVideo(VideoOutcome::Skipped, misfit);
    pending = source.next();
    if (!pending)
        return endVideo(VideoOutcome::Skipped, QStringLiteral("no frame after frame %1 can be read")
                                                   .arg(VideoFiles::firstAnalysedFrame));
    if (!checkOutputs(path))
        return;
    frameCount = props.containerFrames;
    position = VideoFiles::firstAnalysedFrame;
    record.fps = props.fps;
    engine.beginVideo(path, first, props.fps, startTimeFromFileName(path));
    if (callbacks.videoStarted)
        callbacks.videoStarted(progress(), props, first);
}

bool RunController::checkOutputs(const QString& path)
{
    if (!ExportPath::ensureFolder(path)) {
        endVideo(VideoOutcome::Failed,
                 QStringLiteral("cannot create the folder %1").arg(ExportPath::folder(path)));
        return false;
    }
    const QFileInfo earlier(CsvFile::resultPath(path));
    if (earlier.exists() && !earlier.isFile()) {
        endVideo(VideoOutcome::Failed,
                 QStringLiteral("%1 is in the way of the result file").arg(earlier.filePath()));
        return false;
    }
    if (!writer.begin(path)) {
        endVideo(VideoOutcome::Failed, writer.errorText());
        return false;
    }
    return true;
}

bool RunController::writeEvents(const std::vector<Result>& events)
{
    for (const Result& event : events) {
        if (!writer.append(event)) {
            endVideo(VideoOutcome::Failed, writer.errorText());
            return false;
        }
        outcome.in += event.in;
        outcome.out += event.out;
    }
    return true;
}

void RunController::analysePending()
{
    // Events carry the index of the frame before the one they were counted on.
    const std::vector<Result> events = engine.analyseFrame(*pending, pending->index - 1);
    if (!writeEvents(events))
        return;
    ++outcome.frames;
    position = pending->index;
    if (callbacks.frameAnalysed)
        callbacks.frameAnalysed(progress(), *pending, events);
    pending = source.next();
    if (!pending)
        finishVideo();
}

// Complete only once its density files and its record are written: then the .part file becomes
// NAME.csv. Should that rename fail, the new record goes too, since it describes no result.
void RunController::finishVideo()
{
    const VideoFiles files(currentPath);
    const std::vector<Result> settled = engine.finalEvents();
    if (!writeEvents(settled))
        return;
    if (!settled.empty() && callbacks.eventsAtEnd)
        callbacks.eventsAtEnd(progress(), settled);
    if (!engine.endVideo())
        return endVideo(
            VideoOutcome::Failed,
            QStringLiteral("cannot write the density files %1").arg(files.densityImage()));
    if (!writeRecord())
        return;
    if (!writer.commit()) {
        QFile::remove(files.record());
        return endVideo(VideoOutcome::Failed, writer.errorText());
    }
    outcome.density = engine.densityFigure();
    noteShortEnd();
    endVideo(VideoOutcome::Analysed);
}

// Containers may promise a few frames more than they hold; a file cut short lacks far more.
void RunController::noteShortEnd()
{
    constexpr double tolerance = 5; // frames
    if (frameCount > 0 && position + 1 + tolerance < frameCount) {
        outcome.endedAt = static_cast<long>(position);
        outcome.declaredFrames = static_cast<long>(frameCount);
    }
}

bool RunController::writeRecord()
{
    record.firstFrame = VideoFiles::firstAnalysedFrame;
    record.lastFrame = position;
    record.unreadableFrames = source.unreadableFrames();
    record.ended = QDateTime::currentDateTime();
    QString reason;
    if (record.write(VideoFiles(currentPath).record(), &reason))
        return true;
    endVideo(VideoOutcome::Failed, reason);
    return false;
}

void RunController::endVideo(VideoOutcome::Kind kind, const QString& reason)
{
    writer.abandon();
    if (sourceOpen)
        outcome.unreadableFrames = source.unreadableFrames();
    source.close();
    sourceOpen = false;
    pending = nullptr;
    outcome.kind = kind;
    outcome.reason = reason;
    outcome.seconds = clock.elapsed() / 1000.0;
    results.append(outcome);
    currentPath.clear();
    if (callbacks.videoEnded)
        callbacks.videoEnded(results.last());
}

void RunController::finishRun()
{
    running = false;
    lock.release();
}
