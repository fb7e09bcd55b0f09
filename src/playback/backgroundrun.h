#pragma once

#include "displaypacing.h"
#include "playback.h"
#include "result.h"
#include "runcontroller.h"
#include "shrunkpicture.h"
#include "videoview.h"

#include <atomic>
#include <mutex>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

class AreaContour;

// A run of the window: the RunController steps on a thread of its own, so decoding and analysis
// never hold up the GUI thread, while the GUI thread takes what it shows whenever it refreshes.
// The worker prepares a picture only when its DisplayPacing says a refresh is due, ready to be
// put on screen: the frame with its own tracked targets and the regions drawn, rendered as the
// video view shows it, and, when asked for, the density map fitted to the area it is shown in.
// Every event, start and end of a video is handed over in order, whatever is shown.
//
//   BackgroundRun background(controller, engine, regions);
//   if (controller.start(queue, size).isEmpty()) background.start(videoToReturnTo);
//   on each GUI tick:
//       background.take(update);                 // notes in order, the latest picture
//       for (const auto& note : update.notes) ...;
//       if (update.finished) { background.wait(); show(background.returned()); }
//   Cancel: background.cancel();                 // the run stops after the current frame
//   Closing: background.stop();                  // returns once the run has ended
//
// The window returns to a video when the run ends: to the given one at its start frame, or,
// after a cancel, to the video analysed at the frame where the run stopped. Opening it decodes
// up to that frame, which takes long on a large video, so the worker opens it before it reports
// the run finished and the GUI thread never waits for the decoder.
//
// The engine objects (tracker, regions, density map) belong to the worker until the run ends;
// the GUI thread must not touch them in between.
class BackgroundRun
{
public:
    struct Note {
        enum Kind { VideoStarted, FrameEvents, VideoEnded };
        Kind kind = FrameEvents;
        RunProgress progress;       // VideoStarted
        VideoProperties props;      // VideoStarted
        std::vector<Result> events; // FrameEvents: those of one analysed frame
        VideoOutcome outcome;       // VideoEnded
    };

    struct Update {
        std::vector<Note> notes;
        bool newPicture = false;
        cv::Mat picture;       // BGR, with the overlay, as the video view shows it
        cv::Mat density;       // B, G, R, 255 per pixel; empty unless the map was asked for
        cv::Size densityFrame; // the size of the map itself, before fitting
        RunProgress progress;
        bool finished = false;
    };

    // How the GUI shows what the run hands over; any thread.
    struct Display {
        ViewZoom zoom;
        bool density = false; // "Display trajectories"
        cv::Size densityArea; // the map is shrunk by a whole factor to fit; empty: any size
    };

    BackgroundRun(RunController& controller, AnalysisRun& engine, const AreaContour& regions);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Shorter or longer than the display rate, for tests: nothing written may depend on it.
    void setRefreshInterval(DisplayPacing::Clock::duration interval);
    void setDisplay(const Display& display);

    // Runs the started controller to its end on the worker thread, then opens the video to
    // return to.
    void start(const QString& returnTo = QString());
    bool isActive() const { return worker.joinable(); }
    // Asks the run to stop after the current frame; it then finishes as usual. Any thread.
    void cancel() { controller.requestStop(); }
    // Asks the run to stop after the current frame and waits for it, opening nothing.
    void stop();
    // Waits for a finished run's thread.
    void wait();

    // The video returned to, opened once the run has finished; read tells whether its frame
    // could be read. Take it over with std::swap.
    Playback& returned() { return returnedVideo; }
    bool returnedRead() const { return returnedFrameRead; }

    // Everything handed over since the last call. The update's buffers are reused: its picture
    // is swapped with the worker's, so keep it between calls.
    void take(Update& update);

private:
    void videoStarted(const RunProgress& progress, const VideoProperties& props,
                      const cv::Mat& first);
    void frameAnalysed(const RunProgress& progress, const cv::Mat& frame,
                       const std::vector<Result>& events);
    void videoEnded(const VideoOutcome& outcome);
    void prepare(const cv::Mat& frame, bool withTargets);
    void prepareDensity(const Display& display);
    void publish(const RunProgress& progress);
    void openReturnedVideo();

    RunController& controller;
    AnalysisRun& engine;
    const AreaContour& regions;
    DisplayPacing pacing;
    std::thread worker;
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
    Display display;
};
