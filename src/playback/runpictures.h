#pragma once

#include "analysissession.h"
#include "displaypacing.h"
#include "playback.h"
#include "shrunkpicture.h"
#include "videoview.h"

#include <atomic>
#include <mutex>
#include <opencv2/core.hpp>

class AreaContour;

// What the window shows of a session running on its own thread. On that thread, whenever its
// DisplayPacing says a refresh is due, it prepares a picture ready to be put on screen: the
// frame with its own tracked targets and the regions drawn, rendered as the video view shows it,
// and, when asked for, the density map fitted to the area it is shown in. The GUI thread takes
// the latest picture whenever it refreshes, and the session's notes after it.
//
//   RunPictures pictures(session);
//   if (session.start(queue, size, mode).isEmpty()) pictures.start(videoToReturnTo);
//   on each GUI tick:
//       pictures.take(shown);                    // the latest picture, first
//       session.take(update);                    // then the notes, in order
//       if (update.finished) { session.wait(); show(pictures.returned()); }
//   Cancel: session.cancel();                    // the run stops after the current frame
//   Closing: pictures.stop();                    // returns once the run has ended
//
// The window returns to a video when the run ends: to the given one at its start frame, or,
// after a cancel, to the video analysed at the frame where the run stopped. Opening it decodes
// up to that frame, which takes long on a large video, so it is opened on the run's thread
// before the run reports finished, and the GUI thread never waits for the decoder.
class RunPictures
{
public:
    struct Update {
        bool newPicture = false;
        cv::Mat picture;       // BGR, with the overlay, as the video view shows it
        cv::Mat density;       // B, G, R, 255 per pixel; empty unless the map was asked for
        cv::Size densityFrame; // the size of the map itself, before fitting
    };

    // How the GUI shows what the run hands over; any thread.
    struct View {
        ViewZoom zoom;
        bool density = false; // "Display trajectories"
        cv::Size densityArea; // the map is shrunk by a whole factor to fit; empty: any size
    };

    // Hooks into the session's callbacks; the session must outlive it.
    explicit RunPictures(AnalysisSession& session);
    ~RunPictures();
    RunPictures(const RunPictures&) = delete;
    RunPictures& operator=(const RunPictures&) = delete;

    // Shorter or longer than the display rate, for tests: nothing written may depend on it.
    void setRefreshInterval(DisplayPacing::Clock::duration interval);
    void setView(const View& view);

    // Runs the started session on its thread, then opens the video to return to.
    void start(const QString& returnTo = QString());
    // Asks the run to stop after the current frame and waits for it, opening nothing.
    void stop();

    // The video returned to, opened once the run has finished; read tells whether its frame
    // could be read. Take it over with std::swap.
    Playback& returned() { return returnedVideo; }
    bool returnedRead() const { return returnedFrameRead; }

    // The latest picture, when there is a new one. The update's buffers are reused: its picture
    // is swapped with the worker's, so keep it between calls.
    void take(Update& update);

private:
    void videoStarted(const RunProgress& progress, const cv::Mat& first);
    void frameAnalysed(const RunProgress& progress, const FrameSource::Frame& frame);
    void prepare(const cv::Mat& frame, bool withTargets);
    void prepareDensity(const View& view);
    void publish();
    void openReturnedVideo();

    AnalysisSession& session;
    DisplayPacing pacing;
    std::atomic<bool> abandoned{false};
    QString returnTo;
    Playback returnedVideo;
    bool returnedFrameRead = false;
    RunProgress lastProgress; // of the frame last analysed

    // The worker's own buffers, filled outside the lock.
    cv::Mat overlaid;
    cv::Mat preparing;
    ShrunkPicture densityShrunk;
    cv::Mat preparingDensity;
    cv::Size preparedDensityFrame;

    std::mutex mutex; // guards what follows
    Update shared;
    View view;
};
