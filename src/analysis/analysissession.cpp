#include "analysissession.h"

#include "framereader.h"

#include <utility>

AnalysisSession::AnalysisSession(const QString& program)
    : AnalysisSession(program, nullptr, std::make_unique<FrameReader>())
{
}

AnalysisSession::AnalysisSession(const QString& program, FrameSource& source)
    : AnalysisSession(program, &source, nullptr)
{
}

AnalysisSession::AnalysisSession(const QString& program, FrameSource* borrowed,
                                 std::unique_ptr<FrameSource> owned)
    : program(program), engine(tracker, insectDetect, regionModel, density),
      ownSource(std::move(owned)), controller(engine, borrowed ? *borrowed : *ownSource)
{
    RunCallbacks& own = controller.callbacks;
    own.videoStarted = [this](const RunProgress& p, const VideoProperties& props,
                              const cv::Mat& first) { videoStarted(p, props, first); };
    own.frameAnalysed = [this](const RunProgress& p, const FrameSource::Frame& frame,
                               const std::vector<Result>& events) {
        frameAnalysed(p, frame, events);
    };
    own.eventsAtEnd = [this](const RunProgress& p, const std::vector<Result>& events) {
        eventsAtEnd(p, events);
    };
    own.videoEnded = [this](const VideoOutcome& o) { videoEnded(o); };
}

AnalysisSession::~AnalysisSession()
{
    stop();
}

QStringList AnalysisSession::select(Selection selection, const QVector<ListedVideo>& videos,
                                    const QString& current)
{
    QStringList queue;
    switch (selection) {
    case OnlyUnprocessed:
        for (const ListedVideo& v : videos) {
            if (!v.done)
                queue << v.path;
        }
        break;
    case OnlyOne:
        if (!current.isEmpty())
            queue << current;
        break;
    case All:
        for (const ListedVideo& v : videos)
            queue << v.path;
        break;
    }
    return queue;
}

void AnalysisSession::setRegions(const AreaContour& regions)
{
    regionModel.area = regions.area;
    regionModel.mask = regions.mask;
}

QString AnalysisSession::start(const QStringList& queue, cv::Size frameSize, CountingMode mode)
{
    wait();
    controller.describeRuns(program, regionModel.area, regionModel.mask);
    return controller.start(queue, frameSize, mode);
}

void AnalysisSession::run(const std::function<bool()>& stopWanted)
{
    while (controller.step()) {
        if (stopWanted && stopWanted())
            controller.requestStop();
    }
}

void AnalysisSession::startInBackground()
{
    wait();
    {
        std::lock_guard<std::mutex> lock(mutex);
        shared = Update{};
    }
    inBackground.store(true);
    worker = std::thread([this] {
        controller.run();
        if (afterRun)
            afterRun();
        std::lock_guard<std::mutex> lock(mutex);
        shared.finished = true;
    });
}

void AnalysisSession::take(Update& update)
{
    update.notes.clear();
    std::lock_guard<std::mutex> lock(mutex);
    std::swap(update.notes, shared.notes);
    update.progress = shared.progress;
    update.finished = shared.finished;
}

void AnalysisSession::stop()
{
    controller.requestStop();
    wait();
}

void AnalysisSession::wait()
{
    if (worker.joinable())
        worker.join();
    inBackground.store(false);
}

// Only a background run keeps notes: a run on the caller's thread has its callbacks. A note goes
// before the display renders the frame it belongs to, so that a display that takes its picture
// before the notes never shows what the notes have not told yet.
void AnalysisSession::videoStarted(const RunProgress& progress, const VideoProperties& props,
                                   const cv::Mat& first)
{
    if (inBackground.load()) {
        Note note;
        note.kind = Note::VideoStarted;
        note.progress = progress;
        note.props = props;
        hand(std::move(note), progress);
    }
    if (callbacks.videoStarted)
        callbacks.videoStarted(progress, props, first);
}

// Most frames count nothing: they only move the progress on, without a note.
void AnalysisSession::frameAnalysed(const RunProgress& progress, const FrameSource::Frame& frame,
                                    const std::vector<Result>& events)
{
    handEvents(progress, events);
    if (callbacks.frameAnalysed)
        callbacks.frameAnalysed(progress, frame, events);
}

// Shown like a frame's events, so that the window's table and counters match the file.
void AnalysisSession::eventsAtEnd(const RunProgress& progress, const std::vector<Result>& events)
{
    handEvents(progress, events);
    if (callbacks.eventsAtEnd)
        callbacks.eventsAtEnd(progress, events);
}

void AnalysisSession::videoEnded(const VideoOutcome& outcome)
{
    if (callbacks.videoEnded)
        callbacks.videoEnded(outcome);
    if (!inBackground.load())
        return;
    Note note;
    note.kind = Note::VideoEnded;
    note.outcome = outcome;
    std::lock_guard<std::mutex> lock(mutex);
    shared.notes.push_back(std::move(note));
}

// Running in the background, a front end reads the events and the progress from the notes.
void AnalysisSession::handEvents(const RunProgress& progress, const std::vector<Result>& events)
{
    if (!inBackground.load())
        return;
    if (events.empty()) {
        std::lock_guard<std::mutex> lock(mutex);
        shared.progress = progress;
        return;
    }
    Note note;
    note.kind = Note::FrameEvents;
    note.events = events;
    hand(std::move(note), progress);
}

void AnalysisSession::hand(Note note, const RunProgress& progress)
{
    std::lock_guard<std::mutex> lock(mutex);
    shared.notes.push_back(std::move(note));
    shared.progress = progress;
}
