#include "backgroundrun.h"

#include "analysisrun.h"
#include "areacontour.h"
#include "tracker.h"

#include <opencv2/imgproc.hpp>
#include <utility>

BackgroundRun::BackgroundRun(RunController& controller, AnalysisRun& engine,
                             const AreaContour& regions)
    : controller(controller), engine(engine), regions(regions)
{
}

BackgroundRun::~BackgroundRun()
{
    stop();
}

void BackgroundRun::setRefreshInterval(DisplayPacing::Clock::duration interval)
{
    pacing = DisplayPacing(interval);
}

void BackgroundRun::start()
{
    wait();
    shared = Update{};
    pacing.restart();
    RunCallbacks& callbacks = controller.callbacks;
    callbacks.videoStarted = [this](const RunProgress& p, const VideoProperties& props,
                                    const cv::Mat& first) { videoStarted(p, props, first); };
    callbacks.frameAnalysed = [this](const RunProgress& p, const cv::Mat& frame,
                                     const std::vector<Result>& events) {
        frameAnalysed(p, frame, events);
    };
    callbacks.videoEnded = [this](const VideoOutcome& o) { videoEnded(o); };
    worker = std::thread([this] {
        controller.run();
        std::lock_guard<std::mutex> lock(mutex);
        shared.finished = true;
    });
}

void BackgroundRun::stop()
{
    controller.requestStop();
    wait();
}

void BackgroundRun::wait()
{
    if (worker.joinable())
        worker.join();
}

void BackgroundRun::take(Update& update)
{
    update.notes.clear();
    std::lock_guard<std::mutex> lock(mutex);
    std::swap(update.notes, shared.notes);
    update.newPicture = shared.newPicture;
    if (shared.newPicture) {
        std::swap(update.picture, shared.picture);
        std::swap(update.density, shared.density);
        shared.newPicture = false;
    }
    update.progress = shared.progress;
    update.finished = shared.finished;
}

// Every video shows its first frame, with the regions only: nothing is tracked yet.
void BackgroundRun::videoStarted(const RunProgress& progress, const VideoProperties& props,
                                 const cv::Mat& first)
{
    Note note;
    note.kind = Note::VideoStarted;
    note.progress = progress;
    note.props = props;
    pacing.restart();
    pacing.due();
    prepare(first, false);
    std::lock_guard<std::mutex> lock(mutex);
    shared.notes.push_back(std::move(note));
    publish(progress);
}

void BackgroundRun::frameAnalysed(const RunProgress& progress, const cv::Mat& frame,
                                  const std::vector<Result>& events)
{
    const bool refresh = pacing.due();
    if (refresh)
        prepare(frame, true);
    std::lock_guard<std::mutex> lock(mutex);
    if (!events.empty()) {
        Note note;
        note.kind = Note::FrameEvents;
        note.events = events;
        shared.notes.push_back(std::move(note));
    }
    shared.progress = progress;
    if (refresh)
        publish(progress);
}

void BackgroundRun::videoEnded(const VideoOutcome& outcome)
{
    Note note;
    note.kind = Note::VideoEnded;
    note.outcome = outcome;
    std::lock_guard<std::mutex> lock(mutex);
    shared.notes.push_back(std::move(note));
}

// The overlay goes on the worker's copy, drawn from the tracker's state after this very frame.
void BackgroundRun::prepare(const cv::Mat& frame, bool withTargets)
{
    frame.copyTo(preparing);
    if (withTargets) {
        QList<Target*> targets = engine.trackedTargets();
        draw_targets(preparing, targets);
    }
    if (!preparing.empty())
        regions.draw(preparing);
    preparingDensity.release();
    if (!densityWanted.load())
        return;
    const cv::Mat map = engine.densitySnapshot();
    if (!map.empty())
        cv::cvtColor(map, preparingDensity, cv::COLOR_BGR2RGB);
}

// Called with the lock held, after prepare().
void BackgroundRun::publish(const RunProgress& progress)
{
    std::swap(shared.picture, preparing);
    std::swap(shared.density, preparingDensity);
    shared.newPicture = true;
    shared.progress = progress;
}
