#pragma once

#include "analysisrun.h"
#include "areacontour.h"
#include "countingmode.h"
#include "framesource.h"
#include "insectdetect.h"
#include "runcontroller.h"
#include "tracker.h"
#include "videolisting.h"
#include "vorldensity.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One analysis run with every object it needs: the tracker, the counting engine, the regions,
// the density map, the engine's run, the frame reader and the controller that keeps the files.
// Each front end builds one session and nothing more; tests build sessions too.
//
//   AnalysisSession session(QStringLiteral("orvane-count"));
//   session.regions().load_area(regionsVideo); session.regions().load_mask(regionsVideo);
//   const QStringList queue = AnalysisSession::select(AnalysisSession::All, listVideos(dir));
//   if (QString refused = session.start(queue, frameSize, mode); !refused.isEmpty()) fail(refused);
//   session.run();                        // the command line: on the caller's thread
//
// The window runs it on a thread of its own instead, so that decoding and analysis never hold
// up the GUI thread, and takes what happened whenever it refreshes:
//
//   session.startInBackground();
//   on each GUI tick: session.take(update); for (const auto& note : update.notes) ...;
//                     if (update.finished) { session.wait(); ... }
//   Cancel: session.cancel();             // the run stops after the current frame
//   Closing: session.stop();              // returns once the run has ended
//
// The callbacks are made on the thread that runs the session; a display hooks its rendering
// there. Between start and the end of a background run the GUI thread must not touch the
// session's objects.
class AnalysisSession
{
public:
    // The order of the window's selection box.
    enum Selection { OnlyUnprocessed = 0, OnlyOne = 1, All = 2 };

    struct Note {
        enum Kind { VideoStarted, FrameEvents, VideoEnded };
        Kind kind = FrameEvents;
        RunProgress progress;       // VideoStarted
        VideoProperties props;      // VideoStarted
        std::vector<Result> events; // FrameEvents: those of one analysed frame, or of the end
        VideoOutcome outcome;       // VideoEnded
    };

    // What a background run handed over since the last take().
    struct Update {
        std::vector<Note> notes;
        RunProgress progress; // of the frame last analysed
        bool finished = false;
    };

    // `program` names the front end in every result's record. The session reads through a
    // FrameReader of its own, or through `source` (frames of a test), which must outlive it.
    explicit AnalysisSession(const QString& program);
    AnalysisSession(const QString& program, FrameSource& source);
    ~AnalysisSession();
    AnalysisSession(const AnalysisSession&) = delete;
    AnalysisSession& operator=(const AnalysisSession&) = delete;

    // The videos a run takes: every listed one, only those without a result, or `current`.
    static QStringList select(Selection selection, const QVector<ListedVideo>& videos,
                              const QString& current = QString());

    // The counting area and mask of the next run.
    AreaContour& regions() { return regionModel; }
    const AreaContour& regions() const { return regionModel; }
    void setRegions(const AreaContour& regions);

    // Starts a run over `queue` with frames of `frameSize` (the regions' video's). Returns an
    // empty text, or why the run is refused; a refused run writes nothing.
    QString start(const QStringList& queue, cv::Size frameSize, CountingMode mode);
    // Runs the started run to its end on the caller's thread; `stopWanted` is asked after every
    // step.
    void run(const std::function<bool()>& stopWanted = {});
    // One step of the run (RunController::step); false once it is over.
    bool step() { return controller.step(); }

    // Runs the started run on the session's own thread.
    void startInBackground();
    bool isActive() const { return worker.joinable(); }
    void take(Update& update);
    // Asks the run to stop after the current frame; it then finishes as usual. Any thread.
    void cancel() { controller.requestStop(); }
    // Asks the run to stop and waits for its thread.
    void stop();
    // Waits for a finished background run's thread.
    void wait();

    bool stopWasRequested() const { return controller.stopWasRequested(); }
    const QVector<VideoOutcome>& outcomes() const { return controller.outcomes(); }
    int count(VideoOutcome::Kind kind) const { return controller.count(kind); }
    // The engine's state for a display; only on the thread that runs the session.
    AnalysisRun& analysis() { return engine; }

    // Made on the thread that runs the session, in order.
    RunCallbacks callbacks;
    // On a background run's thread after the last video, before the run reports finished.
    std::function<void()> afterRun;

private:
    AnalysisSession(const QString& program, FrameSource* borrowed,
                    std::unique_ptr<FrameSource> owned);
    void videoStarted(const RunProgress& progress, const VideoProperties& props,
                      const cv::Mat& first);
    void frameAnalysed(const RunProgress& progress, const FrameSource::Frame& frame,
                       const std::vector<Result>& events);
    void eventsAtEnd(const RunProgress& progress, const std::vector<Result>& events);
    void handEvents(const RunProgress& progress, const std::vector<Result>& events);
    void videoEnded(const VideoOutcome& outcome);
    void hand(Note note, const RunProgress& progress);

    QString program;
    Tracker tracker;
    InsectDetect insectDetect;
    AreaContour regionModel;
    VorlDensity density;
    AnalysisRun engine;
    std::unique_ptr<FrameSource> ownSource;
    RunController controller;

    std::thread worker;
    std::atomic<bool> inBackground{false};
    std::mutex mutex; // guards what follows
    Update shared;
};
