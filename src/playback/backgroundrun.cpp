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

void BackgroundRun::setDisplay(const Display& next)
{
    std::lock_guard<std::mutex> lock(mutex);
    display = next;
}

void BackgroundRun::start(const QString& videoToReturnTo)
{
    wait();
    shared = Update{};
    pacing.restart();
    abandoned.store(false);
    returnTo = videoToReturnTo;
    returnedVideo.close();
    returnedFrameRead = false;
    lastProgress = RunProgress{};
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
        openReturnedVideo();
        std::lock_guard<std::mutex> lock(mutex);
        shared.finished = true;
    });
}

void BackgroundRun::stop()
{
    abandoned.store(true);
    controller.requestStop();
    wait();
}

void BackgroundRun::openReturnedVideo()
{
    if (abandoned.load())
        return;
    if (controller.stopWasRequested() && !lastProgress.path.isEmpty()) {
        returnedFrameRead =
            returnedVideo.open(lastProgress.path, static_cast<int>(lastProgress.frame));
    } else if (!returnTo.isEmpty()) {
        returnedFrameRead = returnedVideo.open(returnTo);
    }
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
        update.densityFrame = shared.densityFrame;
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
    lastProgress = progress;
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
    lastProgress = progress;
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

// The overlay goes on the worker's copy, drawn from the tracker's state after this very frame,
// at full resolution as on a paused frame; the picture is then rendered at the size it is shown.
void BackgroundRun::prepare(const cv::Mat& frame, bool withTargets)
{
    Display wanted;
    {
        std::lock_guard<std::mutex> lock(mutex);
        wanted = display;
    }
    frame.copyTo(overlaid);
    if (withTargets) {
        QList<Target*> targets = engine.trackedTargets();
        draw_targets(overlaid, targets);
    }
    if (!overlaid.empty())
        regions.draw(overlaid);
    VideoView::render(overlaid, wanted.zoom, preparing);
    prepareDensity(wanted);
}

// Converted straight into the layout of the GUI's pixmaps, so that the GUI thread only copies it.
void BackgroundRun::prepareDensity(const Display& wanted)
{
    const cv::Mat& map = wanted.density ? engine.densityPreview() : cv::Mat();
    if (map.empty()) {
        preparingDensity.release();
        densityShrunk.renew();
        return;
    }
    preparedDensityFrame = map.size();
    const int factor = ShrunkPicture::factorToFit(map.size(), wanted.densityArea);
    const cv::Mat& shown =
        factor == 1 ? map : densityShrunk.update(map, factor, engine.densityPreviewChanges());
    cv::cvtColor(shown, preparingDensity, cv::COLOR_BGR2BGRA);
}

// Called with the lock held, after prepare().
void BackgroundRun::publish(const RunProgress& progress)
{
    std::swap(shared.picture, preparing);
    std::swap(shared.density, preparingDensity);
    shared.densityFrame = preparedDensityFrame;
    shared.newPicture = true;
    shared.progress = progress;
}
