#pragma once

#include "countingmode.h"
#include "result.h"
#include "target.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>
#include <vector>

class AreaContour;
class InsectDetect;
class Tracker;
class VorlDensity;

// The analysis of a queue of videos, without any user interface. A front end decodes the
// frames itself and hands them over one at a time; both the window (one frame per timer tick)
// and the headless command (in a loop) drive this same class, so their files are identical.
//
//   AnalysisRun run(tracker, insectDetect, regions, density);
//   run.start(firstFrame.size());                      // once per run
//   for (each queued video) {
//       read frame 90 into `frame`;
//       if (!run.beginVideo(path, frame, fps, startTime)) { skip it; continue; }
//       double pos = 90;
//       while (read next frame into `frame`)
//           events = run.analyseFrame(frame, pos++);   // events already in the result file
//       run.endVideo();                                // density picture and text
//   }
class AnalysisRun
{
public:
    enum Selection { OnlyUnprocessed = 0, OnlyOne = 1, All = 2 };

    AnalysisRun(Tracker& tracker, InsectDetect& insectDetect, AreaContour& regions,
                VorlDensity& density);

    // The videos a run takes, by the index of the selection box.
    static QStringList selectQueue(int selection, const QStringList& paths,
                                   const QStringList& doneStatuses, const QString& currentFile);

    // Start of a run: rasterises the regions into the detection mask and the counting points for
    // frames of `frameSize`, resets the tracker and gives it the mask. The counting mode holds
    // for the whole run.
    void start(cv::Size frameSize, CountingMode mode = CountingMode::Classic);

    // False when a frame of this size cannot be analysed with the run's mask.
    bool accepts(const cv::Mat& frame) const;
    // Why such a frame is not accepted (the text beginVideo refuses it with); empty when it is.
    QString frameProblem(const cv::Mat& frame) const;

    // Start of one video whose first frame (frame 90) has been read: recreates its result file
    // holding only the header, resets the counting engine and starts the density map. Returns
    // false, writing nothing, when the frame does not fit the run's mask.
    bool beginVideo(const QString& videoPath, const cv::Mat& firstFrame, double fps,
                    const QDateTime& startTime);
    // Why the last beginVideo returned false (a frame of another size, or an earlier result file
    // that could not be removed and would otherwise collect the new events behind the old ones).
    const QString& refusal() const { return refusalText; }
    // Whether the last beginVideo left the header-only result file on disk (false when its
    // exportCSV folder is missing or not writable; the events then reach no file).
    bool resultFileCreated() const { return resultCreated; }

    // One analysed colour frame; `framePos` is the index of the previous frame, which the events
    // carry. Returns the frame's events, each already appended to the result file. The engine
    // turns into grey only the pixels it analyses.
    std::vector<Result> analyseFrame(const cv::Mat& frame, double framePos);

    const QList<Target*>& trackedTargets() const;

    // End of the video: saves the density picture and text. False when they could not be written.
    bool endVideo();
    cv::Mat densitySnapshot();

private:
    static void logFrame(double framePos);
    // The counting and the density map for the frame the tracker has just processed.
    std::vector<Result> countAndMap(double framePos);

    Tracker& tracker;
    InsectDetect& insectDetect;
    AreaContour& regions;
    VorlDensity& density;
    cv::Mat mask;
    QString video;
    int fps = 0;
    QDateTime startTime;
    QString refusalText;
    bool resultCreated = false;
};
