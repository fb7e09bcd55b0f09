#include "runpictures.h"

#include "areacontour.h"

#include <opencv2/imgproc.hpp>
#include <utility>

RunPictures::RunPictures(AnalysisSession& session) : session(session)
{
    session.callbacks.videoStarted = [this](const RunProgress& p, const VideoProperties&,
                                            const cv::Mat& first) { videoStarted(p, first); };
    session.callbacks.frameAnalysed = [this](const RunProgress& p, const FrameSource::Frame& frame,
                                             const std::vector<Result>&) {
        frameAnalysed(p, frame);
    };
    session.afterRun = [this] { openReturnedVideo(); };
}

RunPictures::~RunPictures()
{
    stop();
    session.callbacks = RunCallbacks{};
    session.afterRun = nullptr;
}

void RunPictures::setRefreshInterval(DisplayPacing::Clock::duration interval)
{
    pacing = DisplayPacing(interval);
}

void RunPictures::setView(const View& next)
{
    std::lock_guard<std::mutex> lock(mutex);
    view = next;
}

void RunPictures::start(const QString& videoToReturnTo)
{
    session.wait();
    shared = Update{};
    pacing.restart();
    abandoned.store(false);
    returnTo = videoToReturnTo;
    returnedVideo.close();
    returnedFrameRead = false;
    lastProgress = RunProgress{};
    session.startInBackground();
}

void RunPictures::stop()
{
    abandoned.store(true);
    session.stop();
}

void RunPictures::openReturnedVideo()
{
    if (abandoned.load())
        return;
    if (session.stopWasRequested() && !lastProgress.path.isEmpty()) {
        returnedFrameRead =
            returnedVideo.open(lastProgress.path, static_cast<int>(lastProgress.frame));
    } else if (!returnTo.isEmpty()) {
        returnedFrameRead = returnedVideo.open(returnTo);
    }
}

void RunPictures::take(Update& update)
{
    std::lock_guard<std::mutex> lock(mutex);
    update.newPicture = shared.newPicture;
    if (shared.newPicture) {
        std::swap(update.picture, shared.picture);
        std::swap(update.density, shared.density);
        update.densityFrame = shared.densityFrame;
        shared.newPicture = false;
    }
}

// Every video shows its first frame, with the regions only: nothing is tracked yet.
void RunPictures::videoStarted(const RunProgress& progress, const cv::Mat& first)
{
    lastProgress = progress;
    pacing.restart();
    pacing.due();
    prepare(first, false);
    publish();
}

void RunPictures::frameAnalysed(const RunProgress& progress, const FrameSource::Frame& frame)
{
    lastProgress = progress;
    if (!pacing.due())
        return;
    prepare(frame.wholeColour(), true);
    publish();
}

// The overlay goes on the worker's copy, drawn from the tracker's state after this very frame,
// at full resolution as on a paused frame; the picture is then rendered at the size it is shown.
void RunPictures::prepare(const cv::Mat& frame, bool withTargets)
{
    View wanted;
    {
        std::lock_guard<std::mutex> lock(mutex);
        wanted = view;
    }
    frame.copyTo(overlaid);
    if (withTargets) {
        QList<Target*> targets = session.analysis().trackedTargets();
        draw_targets(overlaid, targets);
    }
    if (!overlaid.empty())
        session.regions().draw(overlaid);
    VideoView::render(overlaid, wanted.zoom, preparing);
    prepareDensity(wanted);
}

// Converted straight into the layout of the GUI's pixmaps, so that the GUI thread only copies it.
void RunPictures::prepareDensity(const View& wanted)
{
    const cv::Mat& map = wanted.density ? session.analysis().densityPreview() : cv::Mat();
    if (map.empty()) {
        preparingDensity.release();
        densityShrunk.renew();
        return;
    }
    preparedDensityFrame = map.size();
    const int factor = ShrunkPicture::factorToFit(map.size(), wanted.densityArea);
    const cv::Mat& shown =
        factor == 1 ? map
                    : densityShrunk.update(map, factor, session.analysis().densityPreviewChanges());
    cv::cvtColor(shown, preparingDensity, cv::COLOR_BGR2BGRA);
}

void RunPictures::publish()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::swap(shared.picture, preparing);
    std::swap(shared.density, preparingDensity);
    shared.densityFrame = preparedDensityFrame;
    shared.newPicture = true;
}
