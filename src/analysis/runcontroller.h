#pragma once

#include "analysisrun.h"
#include "framesource.h"
#include "result.h"
#include "resultrecord.h"
#include "resultwriter.h"
#include "runlock.h"
#include "videofiles.h"

#include <QElapsedTimer>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

// One analysis run over a queue of videos, without any user interface, so that every front end
// and test gets the same files and the same outcome per video. AnalysisSession owns it with the
// engine and the frame source it works with; nothing else builds one.
//
//   RunController run(engine, source);         // inside AnalysisSession
//   run.callbacks.videoEnded = [](const VideoOutcome& o) { show(o.kind, o.reason); };
//   if (QString refused = run.start(queue, frame90.size()); !refused.isEmpty()) { show(refused); }
//   while (run.step()) {}                      // or one step per timer tick
//   run.outcomes();                            // one per video: analysed, skipped, failed, ...
//
// A step starts the next video or analyses one frame. requestStop() may be called from any
// thread; the step after it ends the current video as interrupted and the run with it.
// Callbacks are made on the thread that calls step(); none of them may call step() itself.
//
// Files of a video: its events go to exportCSV/NAME.csv.part as they are counted; after the
// last frame the density files and the record of how the result was made (NAME_run.json) are
// written, and then the .part file becomes NAME.csv. A video that fails or is interrupted keeps
// only its .part file, so it never looks done, and an earlier result keeps its own record.
struct VideoOutcome {
    enum Kind { Analysed, Skipped, Failed, Interrupted };

    QString path;
    QString name; // base name
    Kind kind = Skipped;
    QString reason; // why it was skipped or failed; empty otherwise
    long frames = 0;
    long unreadableFrames = 0; // passed over in damaged stretches
    // A video that ends well before the frame count its container declares (a file cut short):
    // the last frame read and that count; 0 for a video read to its end.
    long endedAt = 0;
    long declaredFrames = 0;
    int in = 0;
    int out = 0;
    QString density; // the figure of the density text, e.g. "0.0312"
    double seconds = 0;

    // "analysed", "skipped: REASON", "failed: REASON" or "interrupted", with the unreadable
    // frames when there were any.
    QString status() const;
    // E.g. "ends at frame 249 of 795", or an empty text for a video read to its end.
    QString shortEnd() const;
};

struct RunProgress {
    int video = 0;  // 1 for the first video of the queue
    int videos = 0; // length of the queue
    QString path;
    double frame = 0;      // position in the video of the frame last read
    double frameCount = 0; // the container's frame count
    double framesPerSecond = 0;
};

struct RunCallbacks {
    // A video passed its checks and is being analysed; `first` is its frame 90.
    std::function<void(const RunProgress&, const VideoProperties&, const cv::Mat& first)>
        videoStarted;
    // After each analysed frame: the frame as read (wholeColour() to show it) and its events
    // (already in the .part file).
    std::function<void(const RunProgress&, const FrameSource::Frame& frame,
                       const std::vector<Result>&)>
        frameAnalysed;
    // The events only the video's end settles (already in the .part file), before videoEnded.
    std::function<void(const RunProgress&, const std::vector<Result>&)> eventsAtEnd;
    std::function<void(const VideoOutcome&)> videoEnded;
};

class RunController
{
public:
    RunController(AnalysisRun& engine, FrameSource& source);

    // What every result's record of the next runs says about the program and the regions; the
    // run fills in the rest (mode, frames, times, host).
    void describeRuns(const QString& program, const std::vector<cv::Point>& area,
                      const std::vector<cv::Point>& mask);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Starts a run over `queue` with frames of `frameSize` (the regions' video's). Returns an
    // empty text, or why the run is refused (another run holds one of the folders); a refused
    // run writes nothing. Queued videos that would share one result file are all skipped.
    QString start(const QStringList& queue, cv::Size frameSize,
                  CountingMode mode = CountingMode::Classic);
    // False once the run is over (or was never started).
    bool step();
    // Steps until the end.
    void run();
    void requestStop() { stopRequested.store(true); }
    bool stopWasRequested() const { return stopRequested.load(); }

    bool isRunning() const { return running; }
    // The video being analysed; empty between videos.
    const QString& currentVideo() const { return currentPath; }
    const QVector<VideoOutcome>& outcomes() const { return results; }
    int queued() const { return static_cast<int>(queue.size()); }
    int count(VideoOutcome::Kind kind) const;

    RunCallbacks callbacks;

private:
    void findSharedResultFiles();
    void startVideo(const QString& path);
    bool checkOutputs(const QString& path);
    // False, the video having failed, when an event cannot be written.
    bool writeEvents(const std::vector<Result>& events);
    void analysePending();
    void finishVideo();
    void noteShortEnd();
    bool writeRecord();
    void endVideo(VideoOutcome::Kind kind, const QString& reason = QString());
    void finishRun();
    RunProgress progress() const;

    AnalysisRun& engine;
    FrameSource& source;
    RunLock lock;
    ResultWriter writer;
    QStringList queue;
    QMap<QString, QString> sharedResult; // video -> why it is skipped
    int nextInQueue = 0;
    bool running = false;
    std::atomic<bool> stopRequested{false};

    // The video being analysed.
    QString currentPath;
    bool sourceOpen = false;
    VideoOutcome outcome;
    const FrameSource::Frame* pending = nullptr; // read, not yet analysed
    double frameCount = 0;
    double position = 0;
    QElapsedTimer clock;
    cv::Mat first;
    ResultRecord record;

    QVector<VideoOutcome> results;
};
