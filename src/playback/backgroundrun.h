#pragma once

#include "displaypacing.h"
#include "result.h"
#include "runcontroller.h"

#include <atomic>
#include <mutex>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

class AreaContour;

// A run of the window: the RunController steps on a thread of its own, so decoding and analysis
// never hold up the GUI thread, while the GUI thread takes what it shows whenever it refreshes.
// The worker prepares a picture (the frame with its own tracked targets and the regions drawn,
// and, when asked for, the density map) only when its DisplayPacing says a refresh is due; every
// event, start and end of a video is handed over in order, whatever is shown.
//
//   BackgroundRun background(controller, engine, regions);
//   if (controller.start(queue, size).isEmpty()) background.start();
//   on each GUI tick:
//       background.take(update);                 // notes in order, the latest picture
//       for (const auto& note : update.notes) ...;
//       if (update.finished) background.wait();
//   Cancel: background.stop();                   // returns once the run has ended
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
        cv::Mat picture; // BGR, with the overlay
        cv::Mat density; // RGB, empty unless the density map was asked for
        RunProgress progress;
        bool finished = false;
    };

    BackgroundRun(RunController& controller, AnalysisRun& engine, const AreaContour& regions);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Shorter or longer than the display rate, for tests: nothing written may depend on it.
    void setRefreshInterval(DisplayPacing::Clock::duration interval);
    // Whether the pictures carry the density map ("Display trajectories"); any thread.
    void showDensity(bool on) { densityWanted.store(on); }

    // Runs the started controller to its end on the worker thread.
    void start();
    bool isActive() const { return worker.joinable(); }
    // Asks the run to stop after the current frame and waits for it.
    void stop();
    // Waits for a finished run's thread.
    void wait();

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
    void publish(const RunProgress& progress);

    RunController& controller;
    AnalysisRun& engine;
    const AreaContour& regions;
    DisplayPacing pacing;
    std::atomic<bool> densityWanted{false};
    std::thread worker;

    // The worker's own buffers, filled outside the lock.
    cv::Mat preparing;
    cv::Mat preparingDensity;

    std::mutex mutex; // guards what follows
    Update shared;
};
